// STL reader, binary and ASCII. Every facet is a polygon of kind shade with
// the facet's normal, as the file gives it, at each corner.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "formats/import.h"
#include "formats/text_scan.h"

namespace {

constexpr std::size_t kHeader = 80;
constexpr std::size_t kTriangle = 50;  // normal, three corners, attribute bytes

float FloatAt(std::string_view bytes, std::size_t at) {
    float f = 0;
    std::memcpy(&f, bytes.data() + at, 4);  // little-endian, as on the machines we build for
    if (!std::isfinite(f)) throw TImportError("holds a value that is not finite");
    return f;
}

// A binary file: its size is the header, the count and the count's triangles.
bool IsBinary(std::string_view bytes) {
    if (bytes.size() < kHeader + 4) return false;
    std::uint32_t count = 0;
    std::memcpy(&count, bytes.data() + kHeader, 4);
    return bytes.size() - kHeader - 4 == std::uint64_t{count} * kTriangle;
}

TVANE_Object* ReadBinary(std::string_view bytes) {
    TShapeBuilder builder;
    std::string name(bytes.substr(0, kHeader));
    name = name.substr(0, name.find('\0'));
    if (name.rfind("solid ", 0) == 0) name.erase(0, 6);
    builder.BeginObject(name.substr(0, name.find_first_of(" \t\r\n")));
    for (std::size_t at = kHeader + 4; at < bytes.size(); at += kTriangle) {
        builder.BeginPolygon(kKindShade, "");
        TVANE_Vertex v;
        v.NX = FloatAt(bytes, at), v.NY = FloatAt(bytes, at + 4), v.NZ = FloatAt(bytes, at + 8);
        for (std::size_t c = 0; c < 3; ++c) {
            const std::size_t p = at + 12 + 12 * c;
            v.X = FloatAt(bytes, p), v.Y = FloatAt(bytes, p + 4), v.Z = FloatAt(bytes, p + 8);
            builder.AddVertex(v);
        }
    }
    if (builder.Polygons() == 0) throw TImportError("holds no facet");
    return builder.Finish();
}

// solid NAME { facet normal X Y Z outer loop { vertex X Y Z } endloop endfacet } endsolid
TVANE_Object* ReadText(std::string_view bytes) {
    TWordScanner words(bytes);
    TShapeBuilder builder;
    bool named = false;
    for (std::string_view word = words.Next(); !word.empty(); word = words.Next()) {
        if (word == "solid") {
            const std::string_view name = words.RestOfLine();
            if (!named) builder.BeginObject(name.substr(0, name.find_first_of(" \t")));
            named = true;
            continue;
        }
        if (word == "endsolid") {
            words.RestOfLine();
            continue;
        }
        if (word != "facet") words.Fail("'" + std::string(word) + "' where a facet should begin");
        if (words.Need("a facet") != "normal") words.Fail("a facet without its normal");
        TVANE_Vertex v;
        v.NX = words.Number("a normal"), v.NY = words.Number("a normal"), v.NZ = words.Number("a normal");
        if (words.Need("a facet") != "outer" || words.Need("a facet") != "loop")
            words.Fail("a facet without 'outer loop'");
        builder.BeginPolygon(kKindShade, "");
        std::string_view next;
        while ((next = words.Need("a facet")) == "vertex") {
            v.X = words.Number("a vertex"), v.Y = words.Number("a vertex"), v.Z = words.Number("a vertex");
            builder.AddVertex(v);
        }
        if (next != "endloop" || words.Need("a facet") != "endfacet")
            words.Fail("'" + std::string(next) + "' where 'endloop endfacet' should end a facet");
    }
    if (!named) throw TImportError("not an STL file (neither 'solid' nor a binary size)");
    if (builder.Polygons() == 0) throw TImportError("holds no facet");
    return builder.Finish();
}

}  // namespace

TVANE_Object* ImportStl(std::string_view Bytes) {
    return IsBinary(Bytes) ? ReadBinary(Bytes) : ReadText(Bytes);
}
