#pragma once
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/export.h"
#include "formats/import.h"
#include "shape/owner.h"
#include "shape/placed.h"

// Reads FileName of any format into Out (LoadAnyShape). On failure prints
// one line "FILE: MESSAGE" on stderr and returns false. The file counts as
// an input of the command from then on: no output may replace it. With
// Source, notes where a shape file's lines stand (LoadAnyShape).
bool LoadShapeFile(const std::string& FileName, TShapePtr& Out, TSufSource* Source = nullptr);

// LoadShapeFile that also gives a glTF file's morph targets (as whole
// shapes when TargetShapes); Targets is empty for other formats.
bool LoadShapeFile(const std::string& FileName, TShapePtr& Out, std::vector<TImportedTarget>& Targets,
                   bool TargetShapes);

// Reads StartName into Start and TargetName into Target, large files at
// once on two threads. Reports failures as LoadShapeFile of START and then
// of TARGET would: only START's when both fail. With TargetSource, notes
// where TARGET's lines stand when it is a shape file (LoadAnyShape).
bool LoadShapeFiles(const std::string& StartName, TShapePtr& Start, const std::string& TargetName,
                    TShapePtr& Target, TSufSource* TargetSource = nullptr);

// Leaves Shape to the end of the process, which is near: the system takes
// the memory back at once, where freeing millions of records one by one
// takes a noticeable part of a command's time. The shape stays reachable,
// so leak checkers do not count it. Shape is empty afterwards.
void KeepToExit(TShapePtr& Shape);

// Writes Shape in the format FileName's extension names (SaveAnyShape; "-"
// is standard output, a shape file). On failure, and for a file that is
// one of the command's inputs, prints "FILE: MESSAGE" on stderr and returns
// false.
bool SaveShapeFile(const std::string& FileName, TVANE_Object* Shape);

// Writes the shape of Lines as a shape file whose lists hold Objects and
// Polygons in their order (SaveSufPlacedFile); FileName must be IsSufName.
// Failures as SaveShapeFile reports them.
bool SavePlacedShapeFile(const std::string& FileName, const TSufVertexLines& Lines,
                         std::span<const TPlacedObject> Objects, std::span<const TPlacedPolygon> Polygons);

// Writes Start with Targets and Animation as glTF or OBJ by FileName's
// extension (ExportShapes); failures as SaveShapeFile reports them.
bool ExportShapeFile(const std::string& FileName, const TVANE_Object* Start,
                     const std::vector<TGltfTarget>& Targets, const TGltfAnimation& Animation);

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
// the output layer. On failure, and for a file that is one of the command's
// inputs, prints "FILE: MESSAGE" on stderr, leaves what stood at FileName
// as it was and returns false.
bool WriteOutput(const std::string& FileName, std::string_view Bytes);
