#pragma once
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/export.h"
#include "formats/import.h"
#include "shape/owner.h"
#include "shape/placed.h"

// The one edge where programs load and save shapes of every format the
// project reads and writes. Failures come back as the text a user sees;
// nothing below raises through here but std::bad_alloc.

// What a load or a save came to: done, or why not.
class TFileOutcome {
public:
    TFileOutcome() = default;
    TFileOutcome(std::string File, std::string Message) : File_(std::move(File)), Message_(std::move(Message)) {}

    bool Ok() const { return Message_.empty(); }
    explicit operator bool() const { return Ok(); }
    // The file named and the cause, e.g. "line 12: 'x' is not a number".
    const std::string& File() const { return File_; }
    const std::string& Message() const { return Message_; }
    // "FILE: message", the one form of every file's failure.
    std::string Text() const { return File_ + ": " + Message_; }

private:
    std::string File_;
    std::string Message_;
};

struct TLoadedShape {
    TShapePtr Shape;  // nullptr when Outcome tells a failure
    TFileOutcome Outcome;
    // The text of the error the reader raised, as it raised it (a conversion
    // or input/output error of a shape file, "FILE: cause" of an import);
    // "" when the reader reported its failure by its result, or none. The
    // window shows a raised error in its error report and a reported one
    // as "error" in the name field.
    std::string Raised;
    // The morph targets of a glTF file (names and moving vertices; whole
    // shapes when asked for); empty for other formats.
    std::vector<TImportedTarget> Targets;
};

// Reads FileName as a shape file, or imports it when its extension names
// another mesh format (OBJ, glTF, PLY, STL). A failure's message is the
// reader's: its reported error with the line, the text of a conversion or
// input/output error, the importer's cause, or that the file holds no shape.
// With TargetShapes, a glTF file's morph targets come as whole shapes too.
// With Source, a shape file's reading notes where its lines stand
// (LoadSufKeepingSource); Source is left without them for other formats.
TLoadedShape LoadAnyShape(const std::string& FileName, bool TargetShapes = false, TSufSource* Source = nullptr);

// Writes Shape to FileName in the format its extension names: .obj as OBJ,
// .gltf and .glb as glTF (the shape alone, no morph targets), anything else
// as a shape file. .ply, .stl and .png name formats that are read or drawn
// here but not written as a shape, and are refused before anything is
// written.
TFileOutcome SaveAnyShape(const std::string& FileName, TVANE_Object* Shape);

// Whether SaveAnyShape writes FileName as a shape file: neither refused
// nor exported.
bool IsSufName(const std::string& FileName);

// Writes the shape of Lines to FileName as a shape file whose lists hold
// Objects and Polygons in their order (SaveSufPlaced), where IsSufName.
TFileOutcome SaveSufPlacedFile(const std::string& FileName, const TSufVertexLines& Lines,
                               std::span<const TPlacedObject> Objects, std::span<const TPlacedPolygon> Polygons);

// Whether SaveAnyShape exports FileName (OBJ, glTF), whose text is made
// whole before it is written, rather than writing a shape file as its text
// is made.
bool IsExportName(const std::string& FileName);

// Writes Start, with Targets as its morph targets and Animation, as glTF
// (.gltf JSON, .glb the binary container) or, for .obj and no targets, as
// OBJ; other extensions are refused.
TFileOutcome ExportShapes(const std::string& FileName, const TVANE_Object* Start,
                          const std::vector<TGltfTarget>& Targets, const TGltfAnimation& Animation);

// Writes Shape as a shape file (SaveSuf), whatever the extension.
TFileOutcome SaveSufFile(const std::string& FileName, TVANE_Object* Shape);

// Writes Bytes as the whole of FileName through the output layer.
TFileOutcome WriteAnyFile(const std::string& FileName, std::string_view Bytes);

// True when both names lead to one existing file (links followed).
bool SameFile(const std::string& A, const std::string& B);
