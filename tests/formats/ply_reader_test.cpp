#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

#include "formats/import.h"
#include "tests/formats/mesh_bytes.h"

namespace {

using test_util::ExpectKnownAnswers;
using test_util::ExpectRefusals;
using test_util::TBytes;

constexpr float kNan = std::numeric_limits<float>::quiet_NaN();

// 2          three vertices, the faces listing them from different starts;
// | \        a 4-corner face repeats vertex 0
// 0--1
// ASCII: normals, "u v", an element of 10^15 rows without properties, a
// face property before the list, an edge element after it, and properties
// nothing uses (one of them "nan", one a list).
constexpr char kAscii[] =
    "ply\nformat ascii 1.0\ncomment by hand\nobj_info none\nelement vertex 3\n"
    "property float x\nproperty float y\nproperty float z\n"
    "property float nx\nproperty float ny\nproperty float nz\n"
    "property uchar red\nproperty float u\nproperty float v\nproperty list uchar int extra\n"
    "element junk 999999999999999\n"
    "element face 2\nproperty uchar flags\nproperty list uchar int vertex_indices\n"
    "element edge 1\nproperty int vertex1\nproperty int vertex2\nend_header\n"
    "0 0 0 0 0 1 255 0.25 0.75 2 7 8\n"
    "1 0 0 0 0 1 nan 1 0 0\n"
    "0 1 0.1 0 0 1 0 0 1 1 -5\n"
    "3 3 0 1 2\n"
    "0 4 2 1 0 0\n"
    "0 1\n";

// ASCII: "texture_s texture_t", whole-number positions, "vertex_index" with
// int counts, the last value without a line end; nx and ny without nz give
// no normals, so the NaN-free check skips them too.
constexpr char kAsciiTexture[] =
    "ply\r\nformat ascii 1.0\r\nelement vertex 3\r\nproperty char x\r\nproperty uchar y\r\n"
    "property int z\r\nproperty float nx\r\nproperty float ny\r\nproperty float texture_s\r\n"
    "property float texture_t\r\nelement face 1\r\nproperty list int int vertex_index\r\nend_header\r\n"
    "-1 0 0 5 5 0 0\r\n1 0 0 5 5 1 0\r\n0 255 -7 5 5 0.5 1\r\n3 0 1 2";

std::string Header(const char* format, const std::string& vertex_properties, const std::string& rest) {
    return std::string("ply\nformat ") + format + " 1.0\nelement vertex 3\n" + vertex_properties + rest +
           "end_header\n";
}

// Binary little-endian: double positions (0.1 needs them), "s t", an
// unused float that is NaN, list int count of uint, and a second element
// with a list of the face list's name that is read past.
std::string BinaryLittle() {
    TBytes b;
    b.Text(Header("binary_little_endian",
                  "property double x\nproperty double y\nproperty double z\nproperty float quality\n"
                  "property float s\nproperty float t\n",
                  "element face 1\nproperty list int uint vertex_indices\n"
                  "element strip 1\nproperty list uint int vertex_indices\n"));
    b.Put(0.1, 0.0, 0.0, kNan, 0.5f, 0.25f);
    b.Put(1.0, 0.0, 0.0, kNan, 1.0f, 0.0f);
    b.Put(0.0, 1.0, -2.0, 0.0f, 0.0f, 1.0f);
    b.Put(std::int32_t{3}, std::uint32_t{2}, std::uint32_t{0}, std::uint32_t{1});
    b.Put(std::uint32_t{2}, std::int32_t{9}, std::int32_t{9});
    return b.str();
}

// Binary big-endian: short normals, "texture_u texture_v", list uchar of
// uint, and a face property after the list.
std::string BinaryBig() {
    TBytes b(true);
    b.Text(Header("binary_big_endian",
                  "property float x\nproperty float y\nproperty float z\nproperty short nx\n"
                  "property short ny\nproperty short nz\nproperty float texture_u\nproperty float texture_v\n",
                  "element face 1\nproperty list uchar uint vertex_indices\nproperty float weight\n"));
    b.Put(0.0f, 0.0f, 0.0f, std::int16_t{0}, std::int16_t{0}, std::int16_t{-1}, 0.0f, 0.0f);
    b.Put(1.0f, 0.0f, 0.0f, std::int16_t{0}, std::int16_t{0}, std::int16_t{-1}, 1.0f, 0.0f);
    b.Put(0.0f, 1.5f, 0.0f, std::int16_t{0}, std::int16_t{0}, std::int16_t{-1}, 0.0f, 1.0f);
    b.Put(std::uint8_t{3}, std::uint32_t{0}, std::uint32_t{2}, std::uint32_t{1}, kNan);
    return b.str();
}

TEST(ImportPly, KnownAnswersOfEachVariant) {
    ExpectKnownAnswers(ImportPly,
                       {{"ascii", kAscii,
                         "obj suf default {\r"
                         "prim uvshade ( 0 0 0 0 0 1 0.25 0.75  1 0 0 0 0 1 1 0  0 1 0.1 0 0 1 0 1 )\r"
                         "prim uvshade ( 0 1 0.1 0 0 1 0 1  1 0 0 0 0 1 1 0  0 0 0 0 0 1 0.25 0.75\r"
                         "  0 0 0 0 0 1 0.25 0.75 )\r}\r"},
                        {"ascii texture_s", kAsciiTexture,
                         "obj suf default {\rprim uvpoly ( -1 0 0 0 0  1 0 0 1 0  0 255 -7 0.5 1 )\r}\r"},
                        {"binary little-endian", BinaryLittle(),
                         "obj suf default {\rprim uvpoly ( 0 1 -2 0 1  0.1 0 0 0.5 0.25  1 0 0 1 0 )\r}\r"},
                        {"binary big-endian", BinaryBig(),
                         "obj suf default {\rprim uvshade ( 0 0 0 0 0 -1 0 0  0 1.5 0 0 0 -1 0 1\r"
                         "  1 0 0 0 0 -1 1 0 )\r}\r"}});
}

// A binary little-endian file of three vertices x y z (Type) and one face.
template <typename Type>
std::string ThreeVertices(Type x1, Type nz0, const char* type_name = "float") {
    const std::string t = type_name;
    TBytes b;
    b.Text(Header("binary_little_endian",
                  "property " + t + " x\nproperty " + t + " y\nproperty " + t + " z\nproperty " + t + " nx\n" +
                      "property " + t + " ny\nproperty " + t + " nz\n",
                  "element face 1\nproperty list uchar int vertex_indices\n"));
    b.Put(Type{0}, Type{0}, Type{0}, Type{0}, Type{0}, nz0);
    b.Put(x1, Type{0}, Type{0}, Type{0}, Type{0}, Type{1});
    b.Put(Type{0}, Type{1}, Type{0}, Type{0}, Type{0}, Type{1});
    b.Put(std::uint8_t{3}, 0, 1, 2);
    return b.str();
}

std::string AsciiFaces(const char* faces, const char* list = "list uchar int") {
    return std::string("ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                       "property float z\nelement face 2\nproperty ") +
           list + " vertex_indices\nend_header\n0 0 0\n1 0 0\n0 1 0\n" + faces;
}

TEST(ImportPly, RefusesHostileFilesNamingThePlace) {
    const std::string counted =
        "ply\nformat binary_little_endian 1.0\nelement vertex 999999999999999\n"
        "property float x\nproperty float y\nproperty float z\nend_header\n" + std::string(24, '\0');
    ExpectRefusals(
        ImportPly,
        {{"binary rows the size cannot hold", counted, "element vertex counts more than the file holds"},
         // 4 rows of 3 values need 23 bytes of text at least.
         {"text rows the size cannot hold",
          "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\nproperty float z\n"
          "end_header\n0 0 0\n0 0 0\n0 0 0\n0 0",
          "element vertex counts more than the file holds"},
         {"NaN position", ThreeVertices(kNan, 1.0f), "vertex 1: x is not finite"},
         {"infinite normal", ThreeVertices(0.0f, -INFINITY), "vertex 0: nz is not finite"},
         {"double beyond a shape file", ThreeVertices(DBL_MAX, 1.0, "double"),
          "vertex 1: x is too large for a shape file"},
         {"big-endian double beyond a shape file",
          TBytes(true)
              .Text(Header("binary_big_endian", "property double x\nproperty double y\nproperty double z\n",
                           "element face 1\nproperty list uchar int vertex_indices\n"))
              .Put(0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, DBL_MAX, 0.0, std::uint8_t{3}, 0, 1, 2)
              .str(),
          "vertex 2: y is too large for a shape file"},
         {"text beyond a shape file", AsciiFaces("3 0 1 2\n3 0 1 1.7976931348623157e308\n", "list uchar double"),
          "line 14: '1.7976931348623157e308' is too large for a shape file"},
         {"NaN index", TBytes().Text(Header("binary_little_endian", "property float x\nproperty float y\n"
                                            "property float z\n", "element face 1\nproperty list uchar float "
                                            "vertex_indices\n")).Put(0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f,
                                            1.0f, 0.0f, std::uint8_t{3}, 0.0f, kNan, 1.0f).str(),
          "face 0 names no vertex"},
         {"fractional index", AsciiFaces("3 0 1 2\n3 0 1.5 2\n", "list uchar float"), "face 1 names no vertex"},
         {"index past the vertices", AsciiFaces("3 0 1 2\n3 0 3 1\n"), "face 1 names vertex 3 of 3"},
         {"negative list length", AsciiFaces("3 0 1 2\n-1\n", "list char int"),
          "a list of face has a negative length"},
         {"list past the end", AsciiFaces("3 0 1 2\n200 0 1 2\n"), "ends early, in element face"},
         {"unused list past the end",
          TBytes().Text(Header("binary_little_endian", "property float x\nproperty float y\nproperty float z\n",
                               "element junk 1\nproperty list uint double stuff\n"))
              .Put(0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, std::uint32_t{4000000000U}, 1.0)
              .str(),
          "ends early, in element junk"},
         {"binary bytes in a header word", "ply\nformat ascii 1.0\n\x7f\xff\x80word\n",
          "line 3: unknown header word '\\x7F\\xFF\\x80word'"},
         {"a long word", "ply\nformat ascii 1.0\nelement vertex " + std::string(60, '7') + "\n",
          "line 3: bad element count '7777777777777777777777777777777777777777...'"}});
}

}  // namespace
