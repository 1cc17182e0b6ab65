#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "formats/builder.h"

// Words of a text file separated by bytes 0..32, with the line each stands on.
class TWordScanner {
public:
    explicit TWordScanner(std::string_view Bytes) : bytes_(Bytes) {}
    // Scans from Start of Bytes, which stands on line Line.
    TWordScanner(std::string_view Bytes, std::size_t Start, std::size_t Line)
        : bytes_(Bytes), pos_(Start), line_(Line) {}

    // The next word; "" at the end of the text.
    std::string_view Next();
    // The next word, which must be there: "" throws TImportError saying the
    // file ends early while reading What.
    std::string_view Need(const char* What);
    // The rest of the current line after the word read last, blanks trimmed;
    // the scanner goes on at the next line.
    std::string_view RestOfLine();
    // The next word read as a shape file reads a value; throws TImportError
    // naming the line for anything else, and for a value a shape file cannot
    // hold (see Writable).
    double Number(const char* What);
    // Throws TImportError: "line N: " + What.
    [[noreturn]] void Fail(const std::string& What) const;

    std::size_t Offset() const { return pos_; }
    std::size_t Line() const { return line_; }

private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
    std::size_t line_ = 1;  // of the word read last
};

// Word between single quotes as a message shows it: printable ASCII bytes as
// they are, every other byte as \xNN, so no raw binary reaches a message;
// cut after 40 bytes of Word, the cut marked "...".
std::string Quoted(std::string_view Word);
