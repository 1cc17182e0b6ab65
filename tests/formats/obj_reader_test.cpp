#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "formats/import.h"
#include "tests/formats/mesh_bytes.h"

namespace {

using test_util::Dump;
using test_util::ExpectKnownAnswers;
using test_util::ExpectRefusals;
using test_util::Extents;
using test_util::Shape;
using namespace std::string_literals;

// 2          one triangle seven times, each time with other index forms:
// | \        v/t/n, v//n, v/t, mixed (the kind follows what every corner
// 0--1       carries), v alone, a '+' sign, and counted back from the end.
constexpr char kForms[] =
    "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0.5 0.25\nvt 1 1 0.5\nvn 0 0 1\nvn 0 0 -1\n"
    "f 1/1/1 2/2/2 3/1/1\n"
    "f 1//2 2//2 3//1\n"
    "f 1/2 2/1 3/2\n"
    "f 1/1/1 2//1 3/1/1\n"
    "f 1/1 2 3/1\n"
    "f +1 -2 -1\n"
    "f -3/-2/-1 -2/-1/-2\t-1/-2/-1  \n";

constexpr char kFormsSuf[] =
    "obj suf default {\r"
    "prim uvshade ( 0 0 0 0 0 1 0.5 0.25  1 0 0 0 0 -1 1 1  0 1 0 0 0 1 0.5 0.25 )\r"
    "prim shade ( 0 0 0 0 0 -1  1 0 0 0 0 -1  0 1 0 0 0 1 )\r"
    "prim uvpoly ( 0 0 0 1 1  1 0 0 0.5 0.25  0 1 0 1 1 )\r"
    "prim shade ( 0 0 0 0 0 1  1 0 0 0 0 1  0 1 0 0 0 1 )\r"
    "prim poly ( 0 0 0  1 0 0  0 1 0 )\r"
    "prim poly ( 0 0 0  1 0 0  0 1 0 )\r"
    "prim uvshade ( 0 0 0 0 0 -1 0.5 0.25  1 0 0 0 0 1 1 1  0 1 0 0 0 -1 0.5 0.25 )\r"
    "}\r";

// Faces before any group go to "default"; a group without faces leaves
// nothing; a group's names are joined; a material holds across objects
// until the next "usemtl".
constexpr char kGroups[] =
    "v 0 0 0\nv 1 0 0\nv 0 1 0 1\n"
    "f 1 2 3\n"
    "g empty\n"
    "g left right\nusemtl wood\nf 3 2 1\n"
    "o solo\nf 1 2 3\nusemtl stone\nf 2 3 1\n";

constexpr char kGroupsSuf[] =
    "obj suf default {\rprim poly ( 0 0 0 1 0 0 0 1 0 )\r}\r"
    "obj suf left_right {\ratr wood\rprim poly ( 0 1 0 1 0 0 0 0 0 )\r}\r"
    "obj suf solo {\rprim poly ( 0 0 0 1 0 0 0 1 0 )\ratr stone\rprim poly ( 1 0 0 0 1 0 0 0 0 )\r}\r";

TEST(ImportObj, KnownAnswersOfEachVariant) {
    ExpectKnownAnswers(ImportObj, {{"index forms", kForms, kFormsSuf}, {"groups and materials", kGroups, kGroupsSuf}});
}

// Three vertices, one texture coordinate and one normal, then Face.
std::string Triangle(const char* face) {
    return std::string("v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\n") + face + "\n";
}

TEST(ImportObj, RefusesIndicesTheLibraryWraps) {
    ExpectRefusals(
        ImportObj,
        {{"past 2^32", Triangle("f 1 2 4294967299"), "line 6: a face refers to vertex 4294967299 of 3"},
         {"past 2^63", Triangle("f 1 2 9223372036854775808"), "line 6: '9223372036854775808' is not a vertex index"},
         {"below -2^63", Triangle("f 1 2 -9223372036854775809"),
          "line 6: '-9223372036854775809' is not a vertex index"},
         {"trailing letters", Triangle("f 1 2 3junk"), "line 6: '3junk' is not a vertex index"},
         {"sign alone", Triangle("f 1 2 -"), "line 6: '-' is not a vertex index"},
         {"two signs", Triangle("f 1 2 +-3"), "line 6: '+-3' is not a vertex index"},
         {"four parts", Triangle("f 1/1/1/1 2/1/1 3/1/1"), "line 6: '1/1/1/1' is not a vertex index"},
         {"empty texture part", Triangle("f 1/ 2/1 3/1"), "line 6: '1/' is not a vertex index"},
         {"empty normal part", Triangle("f 1// 2//1 3//1"), "line 6: '1//' is not a vertex index"},
         {"empty vertex part", Triangle("f //1 2//1 3//1"), "line 6: '//1' is not a vertex index"},
         {"letter as texture", Triangle("f 1/x 2/1 3/1"), "line 6: '1/x' is not a vertex index"},
         {"texture past 2^32", Triangle("f 1/4294967297 2/1 3/1"),
          "line 6: a face refers to texture coordinate 4294967297 of 1"},
         {"normal below -2^32", Triangle("f 1//-4294967295 2//1 3//1"),
          "line 6: a face refers to normal -4294967295 of 1"},
         {"texture 0", Triangle("f 1/0 2/1 3/1"), "line 6: a face refers to texture coordinate 0 of 1"},
         {"unused texture past the end", Triangle("f 1/2 2 3"), "line 6: a face refers to texture coordinate 2 of 1"},
         {"binary bytes", Triangle("f 1 2 3\xfe\x7f"), "line 6: '3\\xFE\\x7F' is not a vertex index"},
         {"a long word", Triangle(("f 1 2 " + std::string(50, '9')).c_str()),
          "line 6: '9999999999999999999999999999999999999999...' is not a vertex index"},
         {"value beyond a shape file", "v 1.7976931348623157e308 0 0\n",
          "line 1: '1.7976931348623157e308' is too large for a shape file"},
         {"binary bytes in a value", "v 0 \x80\x81 0\n", "line 1: '\\x80\\x81' is not a number"}});
}

// The shape's dump with each object's extents, or the message.
std::string Outcome(TVANE_Object* (*read)(std::string_view), std::string_view text) {
    try {
        Shape shape(read(text));
        std::string out = Dump(shape.get());
        for (const TVANE_Object* o = shape.get(); o != nullptr; o = o->Next) out += Extents(o) + "\n";
        return out;
    } catch (const TImportError& error) {
        return error.what();
    }
}

// Read in one piece, in pieces and windows of a few bytes from memory, and
// streamed a few bytes a read: the same shape, or the same first fault.
TEST(ImportObj, PiecesJoinAsOneText) {
    struct Row {
        const char* label;
        std::string text;
        const char* message;  // nullptr: accepted
    };
    const Row rows[] = {
        {"relative indices over pieces",
         "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\nf -3/-1/-1 -2/-1/-1 -1/-1/-1\nv 2 2 2\nf -1 -3 -2 1/1\n",
         nullptr},
        {"line ends, NUL bytes, names", "o a\r\nv 0 0 0\rv 1 0 0\r\nv 0 1 0\nusemtl m\0x\r\ng p q\nf 1 2 3\0 9\nusemtl n\nf 3 2 1\n"s,
         nullptr},
        {"an early fault before a later one", "v 0 0 0\nf 1 2 1\nv 1 x 0\n", "line 2: a face refers to vertex 2 of 1"},
        {"a fault in a later piece", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n\n\nf 1 2 3junk\n",
         "line 7: '3junk' is not a vertex index"},
        {"a vertex defined after its face", "v 0 0 0\nv 1 0 0\nf 1 2 3\nv 0 1 0\n",
         "line 3: a face refers to vertex 3 of 2"},
        {"counted back past the first vertex", "v 0 0 0\nv 1 0 0\nf -1 -2 -3\n",
         "line 3: a face refers to vertex -3 of 2"},
        {"lines of CR, CR LF and LF", "v 0 0 0\r\r\n\rv 1 x 0\n", "line 4: 'x' is not a number"},
    };
    const std::size_t window = ObjWindowBytes, piece = ObjPieceBytes;
    for (const Row& row : rows) {
        const std::string whole = Outcome(ImportObj, row.text);
        if (row.message != nullptr) {
            EXPECT_EQ(whole, row.message) << row.label;
        }
        for (std::size_t size = 1; size <= 6; ++size) {
            ObjWindowBytes = size, ObjPieceBytes = 1 + size / 2;
            EXPECT_EQ(Outcome(ImportObj, row.text), whole) << row.label << ", pieces of " << size;
            std::swap(ObjWindowBytes, ObjPieceBytes);
            EXPECT_EQ(Outcome(
                          [](std::string_view text) {
                              std::size_t place = 0;
                              return ImportObjStream([&](char* into, std::size_t room) {
                                  const std::size_t n = std::min({room, text.size() - place, 1 + place % 2});
                                  std::memcpy(into, text.data() + place, n);
                                  place += n;
                                  return n;
                              });
                          },
                          row.text),
                      whole)
                << row.label << ", a window of " << size;
        }
        ObjWindowBytes = window, ObjPieceBytes = piece;
    }
}

// Text long enough for the pieces to be read on several threads: the same
// shape as one piece read, and a fault near the end found at its line.
TEST(ImportObj, PiecesOnThreadsJoinAsOneText) {
    std::string text;
    for (int i = 0; i < 6000; ++i) {
        text += "v " + std::to_string(i) + " 0." + std::to_string(i) + " 1e-" + std::to_string(i % 300) + "\n";
        if (i % 1000 == 999) text += "g part" + std::to_string(i) + "\nusemtl m" + std::to_string(i % 3) + "\n";
        if (i >= 2) text += "f -1 -2 " + std::to_string(i - 1) + "\n";
    }
    const std::size_t window = ObjWindowBytes, piece = ObjPieceBytes;
    for (const std::string& tail : {std::string(), std::string("f 1 2 6001\n")}) {
        ObjWindowBytes = ObjPieceBytes = SIZE_MAX;
        const std::string whole = Outcome(ImportObj, text + tail);
        ObjWindowBytes = 100000, ObjPieceBytes = 9000;
        EXPECT_EQ(Outcome(ImportObj, text + tail), whole);
        ObjWindowBytes = window, ObjPieceBytes = piece;
        if (!tail.empty()) {
            const auto line = std::count(text.begin(), text.end(), '\n') + 1;
            EXPECT_EQ(whole, "line " + std::to_string(line) + ": a face refers to vertex 6001 of 6000");
        }
    }
}

}  // namespace
