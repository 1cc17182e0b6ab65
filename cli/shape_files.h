#pragma once
#include <cstdio>
#include <string>
#include <string_view>

#include "shape/records.h"

// Holds one shape list and releases it with FreeSuf.
class TShapeList {
public:
    TShapeList() = default;
    explicit TShapeList(TVANE_Object* List) : List_(List) {}
    ~TShapeList();
    TShapeList(const TShapeList&) = delete;
    TShapeList& operator=(const TShapeList&) = delete;

    TVANE_Object* Get() const { return List_; }
    // Releases the held list and takes List instead.
    void Reset(TVANE_Object* List);
    // Gives up the held list without releasing it.
    void Release() { List_ = nullptr; }

private:
    TVANE_Object* List_ = nullptr;
};

// Reads FileName with LoadSuf into Out, or imports it when its extension
// names another mesh format (formats/import.h). On failure prints one line
// "FILE: MESSAGE" on stderr and returns false; MESSAGE is the reader's
// reported error, the text of the conversion, input/output or import error,
// or the statement that the file holds no shape.
bool LoadShapeFile(const std::string& FileName, TShapeList& Out);

// Reads StartName into Start and TargetName into Target, large files at
// once on two threads. Reports failures as LoadShapeFile of START and then
// of TARGET would: only START's when both fail.
bool LoadShapeFiles(const std::string& StartName, TShapeList& Start, const std::string& TargetName,
                    TShapeList& Target);

// Writes Shape with SaveSuf ("-" is standard output). On failure prints
// "FILE: MESSAGE" on stderr and returns false.
bool SaveShapeFile(const std::string& FileName, TVANE_Object* Shape);

// Writes Text as it stands, byte for byte (file names from the command line,
// so that a printed path names the same file again).
void PutBytes(std::string_view Text, std::FILE* Out);

// Writes a name read from a file (an object's, an attribute's) as the UTF-8
// text NameText makes of its bytes.
void PutName(std::string_view Bytes, std::FILE* Out);

// Prints "FILE: MESSAGE" on stderr, the one form of every file's failure.
void ReportFailure(const std::string& FileName, std::string_view Message);

// While it lives, ReportFailure on the calling thread adds its line to Text
// instead of printing it, for a caller that prints reports in an order of
// its own.
class TFailureCapture {
public:
    explicit TFailureCapture(std::string& Text);
    ~TFailureCapture();
    TFailureCapture(const TFailureCapture&) = delete;
    TFailureCapture& operator=(const TFailureCapture&) = delete;

private:
    std::string* outer_;
};

// The name the output layer writes for an output argument: "-" is standard
// output (flushed first, so that its earlier text comes first).
std::string OutputPath(const std::string& FileName);

// Writes Bytes as the whole of FileName ("-" is standard output) through
// the output layer. On failure prints "FILE: MESSAGE" on stderr, leaves what
// stood at FileName as it was and returns false.
bool WriteOutput(const std::string& FileName, std::string_view Bytes);
