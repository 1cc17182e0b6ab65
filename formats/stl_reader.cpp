// STL reader, binary and ASCII. Every facet is a polygon of kind shade with
// the facet's normal, as the file gives it, at each corner. A file is binary
// when its triangle count fits its size, whatever its header says: binary
// headers often begin with "solid" too. Facets count from 0 in messages.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "formats/import.h"
#include "formats/text_scan.h"

namespace {

constexpr std::size_t kHeader = 80;
constexpr std::size_t kTriangle = 50;  // normal, three corners, attribute bytes

// Bytes a binary file may hold after its last triangle (a line end, padding
// to a word) and still be read: fewer than one value, so a cut triangle or a
// count one too high is never taken for slack.
constexpr std::size_t kSlack = 3;
// How far into the file LooksLikeText looks.
constexpr std::size_t kTextProbe = 512;

std::uint32_t CountOf(std::string_view bytes) {
    std::uint32_t count = 0;
    std::memcpy(&count, bytes.data() + kHeader, 4);  // little-endian, as on the machines we build for
    return count;
}

// A binary file: its size is the header, the count and the count's
// triangles, and at most kSlack bytes more.
bool CountFits(std::string_view bytes) {
    if (bytes.size() < kHeader + 4) return false;
    const std::uint64_t body = bytes.size() - kHeader - 4;
    const std::uint64_t triangles = std::uint64_t{CountOf(bytes)} * kTriangle;
    return body >= triangles && body - triangles <= kSlack;
}

// Whether the file's first bytes are text: no control byte but blanks and
// line ends. Binary data has them early, already the top byte of a count
// below 16 M triangles is 0.
bool LooksLikeText(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size() && i < kTextProbe; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if ((c < 32 && (c < 9 || c > 13)) || c == 127) return false;
    }
    return true;
}

// A value of facet `facet`; `what` names it in a message.
float ValueAt(std::string_view bytes, std::size_t at, std::uint32_t facet, const char* what) {
    float f = 0;
    std::memcpy(&f, bytes.data() + at, 4);
    if (!Writable(f))
        throw TImportError("facet " + std::to_string(facet) + ": " + what +
                           (std::isfinite(f) ? " is too large for a shape file" : " is not finite"));
    return f;
}

TVANE_Object* ReadBinary(std::string_view bytes) {
    TShapeBuilder builder;
    std::string name(bytes.substr(0, kHeader));
    name = name.substr(0, name.find('\0'));
    if (name.rfind("solid ", 0) == 0) name.erase(0, 6);
    builder.BeginObject(name.substr(0, name.find_first_of(" \t\r\n")));
    const std::uint32_t count = CountOf(bytes);
    for (std::uint32_t f = 0; f < count; ++f) {
        const std::size_t at = kHeader + 4 + std::size_t{f} * kTriangle;
        builder.BeginPolygon(kKindShade, "");
        TVANE_Vertex v;
        // The normal is every corner's normal: used, so checked like the corners.
        v.NX = ValueAt(bytes, at, f, "the normal"), v.NY = ValueAt(bytes, at + 4, f, "the normal");
        v.NZ = ValueAt(bytes, at + 8, f, "the normal");
        for (std::size_t c = 0; c < 3; ++c) {
            const std::size_t p = at + 12 + 12 * c;
            v.X = ValueAt(bytes, p, f, "a corner"), v.Y = ValueAt(bytes, p + 4, f, "a corner");
            v.Z = ValueAt(bytes, p + 8, f, "a corner");
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
        if (!named) throw TImportError("not an STL file (neither 'solid' nor a binary size)");
        if (word != "facet") words.Fail(Quoted(word) + " where a facet should begin");
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
            words.Fail(Quoted(next) + " where 'endloop endfacet' should end a facet");
    }
    if (!named) throw TImportError("not an STL file (neither 'solid' nor a binary size)");
    if (builder.Polygons() == 0) throw TImportError("holds no facet");
    return builder.Finish();
}

}  // namespace

TVANE_Object* ImportStl(std::string_view Bytes) {
    if (CountFits(Bytes)) return ReadBinary(Bytes);
    if (Bytes.size() >= kHeader + 4 && !LooksLikeText(Bytes))
        throw TImportError("triangle count " + std::to_string(CountOf(Bytes)) + " does not match the file's size");
    return ReadText(Bytes);
}
