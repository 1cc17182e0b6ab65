#pragma once
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "shape/records.h"

// A shape that cannot be written in the format asked for. what() is the
// cause in English, without the file name.
class TExportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The animation an exported morph plays: every target's weight runs from
// FromPercent / 100 to ToPercent / 100 in Seconds, all targets together.
struct TGltfAnimation {
    Extended FromPercent = 0;
    Extended ToPercent = 100;
    double Seconds = 2;  // > 0
};

// One morph target of an export: a shape paired with the start shape by
// position, as the blend pairs them, and the name it gets in the file.
struct TGltfTarget {
    const TVANE_Object* Shape = nullptr;
    std::string Name;
};

// The bytes of a glTF 2.0 file holding Start (not nullptr) as the base
// mesh: a mesh and node per object that has a polygon of 3 corners or more,
// a primitive per run of polygons of one kind and attribute, each polygon
// triangulated as a fan from its first corner. Each target is a morph target
// (POSITION, NORMAL and TEXCOORD_0 differences to the start where the kind
// carries them; a value the target lacks moves by 0), named in the mesh's
// extras.targetNames; with targets the file also holds Animation. Normals
// are scaled to unit length; a primitive with a zero normal is written
// without normals. Binary gives the binary container, otherwise JSON with
// the buffer embedded. Names (of objects, attributes as materials, targets)
// are written as NameText reads them; one that is not UTF-8 also keeps its
// bytes in hex, in extras.plivraNameBytes of its mesh, node and material, and
// in extras.plivraTargetNameBytes beside targetNames ("" where a name is
// UTF-8). Throws TExportError for a shape with no such polygon and for a
// value beyond single precision.
std::string ExportGltf(const TVANE_Object* Start, const std::vector<TGltfTarget>& Targets,
                       const TGltfAnimation& Animation, bool Binary);

// The bytes of an OBJ file holding Shape: an "o" per object, a "usemtl" where
// the attribute changes, each polygon's vertices in order followed by its
// face; values written as a shape file writes them. Polygons without a
// vertex are left out. Throws TExportError for a value a shape file could
// not hold either.
std::string ExportObj(const TVANE_Object* Shape);
