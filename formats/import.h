#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/builder.h"
#include "shape/owner.h"
#include "shape/records.h"

// Readers of mesh files of other formats. Each gives a new shape list that
// the caller owns and releases with FreeSuf, vertices in the file's order,
// polygon by polygon and corner by corner; on bad input each throws
// TImportError naming the cause (never returns nullptr).

// The extension of FileName in lower case, without the dot; "" when none.
std::string LowerExtension(std::string_view FileName);

// True when FileName ends in .obj, .gltf, .glb, .ply or .stl (any case).
bool IsImportable(std::string_view FileName);

// Reads FileName with the reader its extension names.
TVANE_Object* ImportShape(const std::string& FileName);

// A morph target of a glTF file: the i-th target of every mesh that has an
// i-th one.
struct TImportedTarget {
    // Its name's bytes: extras.targetNames of the first mesh that names it
    // (the bytes kept in extras.plivraTargetNameBytes where they read as
    // it), else "target1", "target2", ...; not made unique.
    std::string Name;
    std::size_t Moving = 0;  // glTF vertices with a POSITION, NORMAL or TEXCOORD_0 difference not 0
    // The base shape with the target's differences added, vertex for vertex
    // (a mesh without the target keeps the base's values); nullptr unless
    // the target shapes were asked for.
    TShapePtr Shape;
};

// A file's shape and the morph targets it holds (none but in glTF).
struct TImportedShapes {
    TShapePtr Base;  // never nullptr
    std::vector<TImportedTarget> Targets;
};

// Reads FileName as ImportShape does; for glTF also its morph targets,
// as whole shapes when TargetShapes.
TImportedShapes ImportShapes(const std::string& FileName, bool TargetShapes);

// OBJ text: each "o" and "g" starts an object, "usemtl" names the attribute
// of the faces after it, a face's kind follows what every corner carries.
// Values are read from the text as a shape file reads them.
TVANE_Object* ImportObj(std::string_view Bytes);

// Gives the next bytes of a text: fills up to Room bytes at Into and returns
// how many, 0 at the end; throws TImportError when it cannot read.
using TObjRead = std::function<std::size_t(char* Into, std::size_t Room)>;

// ImportObj of the text Read gives, taken a window at a time rather than
// held whole.
TVANE_Object* ImportObjStream(const TObjRead& Read);

// Which entries the faces of an OBJ file use, as ImportObj resolves them.
struct TObjFaces {
    std::vector<std::size_t> Corners;  // per face, in order
    // Per corner: the position's, texture coordinate's and normal's index
    // from 0; SIZE_MAX for those the face's kind does not take.
    std::vector<std::size_t> Indices;
};

// ImportObj that also tells the faces' indices (for the fuzzer's comparison
// with another reader).
TVANE_Object* ImportObjWithFaces(std::string_view Bytes, TObjFaces& Faces);

// The OBJ reader's window of a file and the size of the pieces each window
// is read in, one per core at a time; the outcome is the same for every
// size. Tests and the fuzzer make them tiny, so that lines are cut and
// pieces joined at every place. Set them before a read, never while one runs.
extern std::size_t ObjWindowBytes;
extern std::size_t ObjPieceBytes;

// glTF 2.0, JSON (Binary false) or the binary container. Each mesh, in the
// file's order, is an object (named after its node when exactly one node
// uses it, else after the mesh) holding the triangles of its primitives in
// order; node transforms are not applied. V of a texture coordinate becomes
// 1 - V (glTF's origin is the top left, a shape file's the bottom left).
// Sparse accessors are read. Every primitive of a mesh must have as many
// morph targets. External buffers are read from BaseDir, and only from inside it
// (relative URIs, links resolved); with BaseDir nullptr a file that needs
// one is refused. Refused before the library parses: JSON nested deeper than
// 256 levels or not UTF-8, other glTF versions, required extensions that are
// not read; and a file that expands to more than 64 vertices a byte read.
// A mesh or material name takes the bytes in its extras.plivraNameBytes
// when they read (NameText) as that name.
TVANE_Object* ImportGltf(std::string_view Bytes, bool Binary, const std::string* BaseDir);

// ImportGltf with the file's morph targets: names and moving vertices
// always; each as a whole shape (Shape) when TargetShapes, all of them
// within the vertex budget together.
TImportedShapes ImportGltfShapes(std::string_view Bytes, bool Binary, const std::string* BaseDir, bool TargetShapes);

// PLY, ASCII or binary: the whole file is one object, its faces in order.
// Numbers in text are read as a shape file reads them, binary ones widened;
// values nothing uses are read past unchecked. Messages count vertices and
// faces from 0.
TVANE_Object* ImportPly(std::string_view Bytes);

// STL, ASCII or binary (binary when the triangle count fits the file's
// size, up to 3 bytes more, whatever the header says): one object, each
// facet a shade polygon with the facet normal at every corner. Numbers in
// text are read as a shape file reads them. Messages count facets from 0.
TVANE_Object* ImportStl(std::string_view Bytes);

// The bytes of the regular file FileName. Throws TImportError when it cannot be read.
std::string ReadFileBytes(const std::string& FileName);
