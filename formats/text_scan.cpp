#include "formats/text_scan.h"

#include <cstdio>

#include "shape/errors.h"
#include "shape/number.h"

namespace {

bool IsSpace(char c) { return static_cast<unsigned char>(c) <= 32; }

constexpr std::size_t kQuotedBytes = 40;

}  // namespace

std::string_view TWordScanner::Next() {
    while (pos_ < bytes_.size() && IsSpace(bytes_[pos_])) {
        if (bytes_[pos_] == '\n' || (bytes_[pos_] == '\r' && (pos_ + 1 == bytes_.size() || bytes_[pos_ + 1] != '\n')))
            ++line_;
        ++pos_;
    }
    const std::size_t start = pos_;
    while (pos_ < bytes_.size() && !IsSpace(bytes_[pos_])) ++pos_;
    return bytes_.substr(start, pos_ - start);
}

std::string_view TWordScanner::Need(const char* What) {
    const std::string_view word = Next();
    if (word.empty()) throw TImportError(std::string("ends early, in ") + What);
    return word;
}

std::string_view TWordScanner::RestOfLine() {
    std::size_t end = pos_;
    while (end < bytes_.size() && bytes_[end] != '\n' && bytes_[end] != '\r') ++end;
    std::string_view rest = bytes_.substr(pos_, end - pos_);
    pos_ = end;
    while (!rest.empty() && IsSpace(rest.front())) rest.remove_prefix(1);
    while (!rest.empty() && IsSpace(rest.back())) rest.remove_suffix(1);
    return rest;
}

double TWordScanner::Number(const char* What) {
    const std::string_view word = Need(What);
    double value = 0;
    try {
        value = ToValue(word);
    } catch (const SufConvertError&) {
        Fail(Quoted(word) + " is not a number");
    }
    // The shape file writer rounds to 15 digits: what rounds past the
    // largest double could be read but never saved.
    if (!Writable(value)) Fail(Quoted(word) + " is too large for a shape file");
    return value;
}

void TWordScanner::Fail(const std::string& What) const {
    throw TImportError("line " + std::to_string(line_) + ": " + What);
}

std::string Quoted(std::string_view Word) {
    std::string out = "'";
    for (std::size_t i = 0; i < Word.size() && i < kQuotedBytes; ++i) {
        const auto c = static_cast<unsigned char>(Word[i]);
        if (c >= 32 && c < 127) {
            out += static_cast<char>(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    if (Word.size() > kQuotedBytes) out += "...";
    return out + "'";
}
