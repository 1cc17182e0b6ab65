#pragma once
#include <string>
#include <string_view>

#include "formats/builder.h"
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

// OBJ text: each "o" and "g" starts an object, "usemtl" names the attribute
// of the faces after it, a face's kind follows what every corner carries.
// Values are read from the text as a shape file reads them.
TVANE_Object* ImportObj(std::string_view Bytes);

// glTF 2.0, JSON (Binary false) or the binary container. Each primitive of
// each mesh, in the file's order, is an object; node transforms are not
// applied. External buffers are read from BaseDir, and only from inside it
// (relative URIs, links resolved); with BaseDir nullptr a file that needs
// one is refused. Refused before the library parses: JSON nested deeper than
// 256 levels or not UTF-8, other glTF versions, required extensions that are
// not read; and a file that expands to more than 64 vertices a byte read.
// A mesh or material name takes the bytes in its extras.plivraNameBytes
// when they read (NameText) as that name.
TVANE_Object* ImportGltf(std::string_view Bytes, bool Binary, const std::string* BaseDir);

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
