#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "formats/import.h"
#include "tests/formats/mesh_bytes.h"

namespace {

using test_util::ExpectKnownAnswers;
using test_util::ExpectRefusals;
using test_util::TBytes;

constexpr float kNan = std::numeric_limits<float>::quiet_NaN();

// 0---1      two facets of a plate, the second tilted up at 2
//  \ / \     (values a float holds exactly)
//   3---2
struct TFacet {
    float n[3], a[3], b[3], c[3];
};
constexpr TFacet kFacets[] = {{{0, 0, 1}, {0, 1, 0}, {0.5f, 0, 0}, {1, 1, 0}},
                              {{0, 0.5f, -1}, {1, 1, 0}, {0.5f, 0, 0}, {1.5f, 0, 0.25f}}};
constexpr char kFacetsSuf[] =
    "prim shade ( 0 1 0 0 0 1  0.5 0 0 0 0 1  1 1 0 0 0 1 )\r"
    "prim shade ( 1 1 0 0 0.5 -1  0.5 0 0 0 0.5 -1  1.5 0 0.25 0 0.5 -1 )\r}\r";

// A binary file: the 80-byte header, the count (that of Facets unless
// given) and the facets, then Tail.
std::string Binary(std::string header, std::uint32_t count = 2, const std::string& tail = "",
                   const TFacet* facets = kFacets, std::size_t n = 2) {
    header.resize(80, '\0');
    TBytes b;
    b.Text(header).Put(count);
    for (std::size_t i = 0; i < n; ++i) {
        const TFacet& f = facets[i];
        b.Put(f.n[0], f.n[1], f.n[2], f.a[0], f.a[1], f.a[2], f.b[0], f.b[1], f.b[2], f.c[0], f.c[1], f.c[2]);
        b.Put(std::uint16_t{0});
    }
    return b.Text(tail).str();
}

constexpr char kAscii[] =
    "solid plate by hand\r\n"
    "  facet normal 0 0 1\r\n    outer loop\r\n      vertex 0 1 0\r\n      vertex 0.5 0 0\r\n"
    "      vertex 1 1 0\r\n    endloop\r\n  endfacet\r\n"
    "  facet normal 0 0.5 -1\r\n    outer loop\r\n      vertex 1 1 0\r\n      vertex 0.5 0 0\r\n"
    "      vertex 1.5 0 0.25\r\n    endloop\r\n  endfacet\r\nendsolid plate\r\n";

std::string Suf(const char* name) { return std::string("obj suf ") + name + " {\r" + kFacetsSuf; }

TEST(ImportStl, KnownAnswersOfEachVariant) {
    const std::string plate = Suf("plate"), unnamed = Suf("default");
    ExpectKnownAnswers(ImportStl, {{"ascii", kAscii, plate.c_str()},
                                   {"binary", Binary("plate"), plate.c_str()},
                                   {"binary, header without a name", Binary(""), unnamed.c_str()},
                                   {"binary, header beginning solid", Binary("solid plate exported"), plate.c_str()},
                                   {"binary, a line end after", Binary("solid plate", 2, "\n"), plate.c_str()},
                                   {"binary, 3 bytes after", Binary("plate", 2, std::string("\r\n\0", 3)), plate.c_str()}});
}

TEST(ImportStl, RefusesHostileFilesNamingThePlace) {
    const TFacet nan_normal[] = {kFacets[0], {{kNan, 0, 1}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}}};
    const TFacet inf_corner[] = {{{0, 0, 1}, {0, 0, 0}, {1, 0, 0}, {0, -INFINITY, 0}}, kFacets[1]};
    ExpectRefusals(
        ImportStl,
        {{"count above the facets", Binary("solid plate", 3), "triangle count 3 does not match the file's size"},
         {"count below the facets", Binary("plate", 1), "triangle count 1 does not match the file's size"},
         {"4 bytes after", Binary("solid plate", 2, "\n\n\n\n"), "triangle count 2 does not match the file's size"},
         {"NaN normal", Binary("plate", 2, "", nan_normal), "facet 1: the normal is not finite"},
         {"infinite corner", Binary("plate", 2, "", inf_corner), "facet 0: a corner is not finite"},
         {"text beyond a shape file",
          "solid a\nfacet normal 0 0 1\nouter loop\nvertex 1.7976931348623157e308 0 0\n",
          "line 4: '1.7976931348623157e308' is too large for a shape file"},
         {"binary bytes in text", "solid a\n\x7f\x80\xff\n", "line 2: '\\x7F\\x80\\xFF' where a facet should begin"},
         {"a long word", "solid a\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\n" + std::string(45, 'x'),
          "line 5: 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...' where 'endloop endfacet' should end a facet"},
         {"text that is not STL", "hello world\n", "not an STL file (neither 'solid' nor a binary size)"},
         {"empty", "", "not an STL file (neither 'solid' nor a binary size)"},
         {"binary without facets", Binary("plate", 0, "", kFacets, 0), "holds no facet"}});
}

}  // namespace
