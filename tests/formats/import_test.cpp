#include "formats/import.h"
#include "formats/shape_io.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/shape/test_util.h"

namespace {

using test_util::Dump;
using test_util::Extents;
using test_util::Shape;
using test_util::TempDir;
using test_util::WriteFile;

// 3-----2      v5 repeats v1's position; the faces share corners, list
// |     |      them from different starts, use negative indices and have
// 0-----1      3 to 8 corners. Values need more than float precision.
constexpr char kObj[] =
    "# plivra test\n"
    "v 0.1 0.2 0.30000000000000004\n"
    "v 1 0 0\r\n"
    "v 1 1 -2.5e-3\n"
    "  v\t0 1 0\n"
    "v 0.1 0.2 0.30000000000000004\n"
    "vt 0.25 0.75\n"
    "vt 1\n"
    "vn 0 0 1\n"
    "o front\n"
    "f 1 2 3\n"
    "usemtl red paint\n"
    "f 2/1/1 3/2/1 4/1/1 1/2/1\n"
    "g back side\n"
    "f -1//-1 -2//1 -3//1 -4//1 -5//1\n"
    "o third\n"
    "f 3/1 2/2 1/1 5/2 4/1 3/2 2/1 1/2\n"
    "l 1 2\n"
    "f 5 5 5 5 5 5\n"
    "f 4 3 2 1 5 4 3\n";

// The same shape as a shape file: what a reader of exact values must give.
constexpr char kSuf[] =
    "obj suf front {\r"
    "prim poly ( 0.1 0.2 0.30000000000000004  1 0 0  1 1 -2.5e-3 )\r"
    "atr red_paint\r"
    "prim uvshade ( 1 0 0 0 0 1 0.25 0.75  1 1 -2.5e-3 0 0 1 1 0  0 1 0 0 0 1 0.25 0.75\r"
    "  0.1 0.2 0.30000000000000004 0 0 1 1 0 )\r"
    "}\r"
    "obj suf back_side {\r"
    "prim shade ( 0.1 0.2 0.30000000000000004 0 0 1  0 1 0 0 0 1  1 1 -2.5e-3 0 0 1\r"
    "  1 0 0 0 0 1  0.1 0.2 0.30000000000000004 0 0 1 )\r"
    "}\r"
    "obj suf third {\r"
    "prim uvpoly ( 1 1 -2.5e-3 0.25 0.75  1 0 0 1 0  0.1 0.2 0.30000000000000004 0.25 0.75\r"
    "  0.1 0.2 0.30000000000000004 1 0  0 1 0 0.25 0.75  1 1 -2.5e-3 1 0  1 0 0 0.25 0.75\r"
    "  0.1 0.2 0.30000000000000004 1 0 )\r"
    "prim poly ( 0.1 0.2 0.30000000000000004 0.1 0.2 0.30000000000000004\r"
    "  0.1 0.2 0.30000000000000004 0.1 0.2 0.30000000000000004\r"
    "  0.1 0.2 0.30000000000000004 0.1 0.2 0.30000000000000004 )\r"
    "prim poly ( 0 1 0  1 1 -2.5e-3  1 0 0  0.1 0.2 0.30000000000000004\r"
    "  0.1 0.2 0.30000000000000004  0 1 0  1 1 -2.5e-3 )\r"
    "}\r";

TEST(ImportObj, GivesWhatTheShapeFileGives) {
    TempDir dir;
    WriteFile(dir.Path("a.obj"), kObj);
    WriteFile(dir.Path("a.suf"), kSuf);
    Shape imported(ImportShape(dir.Path("a.obj")));
    Shape loaded(VANE->LoadSuf(dir.Path("a.suf")));
    ASSERT_NE(loaded.get(), nullptr);
    EXPECT_EQ(Dump(imported.get()), Dump(loaded.get()));
    for (const TVANE_Object *a = imported.get(), *b = loaded.get(); a && b; a = a->Next, b = b->Next)
        EXPECT_EQ(Extents(a), Extents(b)) << a->Name;
    // One attribute record per name, shared by the objects after it.
    ASSERT_NE(imported->Next->Polygons->Attribute, nullptr);
    EXPECT_EQ(imported->Next->Polygons->Attribute, imported->Polygons->Next->Attribute);
}

TEST(ImportObj, BadInputNamesLineAndCause) {
    struct Row {
        const char* text;
        const char* message;
    };
    const Row rows[] = {
        {"v 0 0 0\nv 1 x 0\nf 1 2 1\n", "line 2: 'x' is not a number"},
        {"v 0 0 0\r\nv 1 0\r\n", "line 2: needs 3 numbers"},
        {"v 0 0 0\n\n\nf 1 2 3\n", "line 4: a face refers to vertex 2 of 1"},
        {"v 0 0 0\nf 1 -2 1\n", "line 2: a face refers to vertex -2 of 1"},
        {"v 0 0 0\nvn 0 0 1\nf 1//2 1//1 1//1\n", "line 3: a face refers to normal 2 of 1"},
        {"v 1e999 0 0\n", "line 1: '1e999' is not a number"},
        {"v 0,5 0 0\n", "line 1: '0,5' is not a number"},
        {"v 0 0 0\nl 1 1\n", "holds no face"},
        {"", "holds no face"},
    };
    for (const Row& row : rows) {
        try {
            Shape shape(ImportObj(row.text));
            ADD_FAILURE() << "accepted: " << row.text;
        } catch (const TImportError& error) {
            EXPECT_STREQ(error.what(), row.message) << row.text;
        }
    }
}

// 3---2       two faces sharing the edge 2-0 of a quad, corners listed from
// | / |       different starts, one vertex (4) repeating vertex 0's position
// 0---1
constexpr char kPly[] =
    "ply\nformat ascii 1.0\nelement vertex 5\nproperty float x\nproperty float y\n"
    "property float z\nelement face 3\nproperty list uchar int vertex_indices\nend_header\n"
    "0 0 0\n1 0 0\n1 1 0\n0 1 0.5\n0 0 0\n"
    "3 2 0 1\n3 4 2 3\n6 3 2 1 0 4 3\n";

constexpr char kStl[] =
    "solid plate\nfacet normal 0 0 1\nouter loop\nvertex 1 1 0\nvertex 0 0 0\nvertex 1 0 0\n"
    "endloop\nendfacet\nfacet normal 0 0 -1\nouter loop\nvertex 0 0 0\nvertex 1 1 0\nvertex 0 1 0.5\n"
    "endloop\nendfacet\nendsolid plate\n";

TEST(ImportPlyAndStl, KeepTheFileOrderAndExactValues) {
    TempDir dir;
    // Each mesh file and the shape file it must import as.
    const std::pair<const char*, const char*> cases[][2] = {
        {{"a.ply", kPly},
         {"a.suf", "obj suf default {\rprim poly ( 1 1 0 0 0 0 1 0 0 )\rprim poly ( 0 0 0 1 1 0 0 1 0.5 )\r"
                   "prim poly ( 0 1 0.5 1 1 0 1 0 0 0 0 0 0 0 0 0 1 0.5 )\r}\r"}},
        {{"a.stl", kStl},
         {"b.suf", "obj suf plate {\rprim shade ( 1 1 0 0 0 1  0 0 0 0 0 1  1 0 0 0 0 1 )\r"
                   "prim shade ( 0 0 0 0 0 -1  1 1 0 0 0 -1  0 1 0.5 0 0 -1 )\r}\r"}},
    };
    for (const auto& [mesh, shape] : cases) {
        WriteFile(dir.Path(mesh.first), mesh.second);
        WriteFile(dir.Path(shape.first), shape.second);
        Shape imported(ImportShape(dir.Path(mesh.first)));
        Shape want(VANE->LoadSuf(dir.Path(shape.first)));
        EXPECT_EQ(Dump(imported.get()), Dump(want.get())) << mesh.first;
    }

    WriteFile(dir.Path("bad.ply"), "ply\nformat ascii 1.0\nelement vertex 1\n");
    EXPECT_THROW(ImportShape(dir.Path("bad.ply")), TImportError);
}

// Every way a load fails comes back as the user's "FILE: message"; what the
// reader raised (rather than reported by its result) is told apart for the
// window, as it raised it.
TEST(LoadAnyShape, GivesTheMessageOfEveryKindOfFailure) {
    TempDir dir;
    struct Case {
        const char* name;
        const char* bytes;  // nullptr: no such file
        std::string message;
        bool raised;
    };
    const Case cases[] = {
        {"unknown.suf", "obj bad a {\n}\n", "1行において未知の形式の形状ファイルです。", false},
        {"nan.suf", "obj suf a {\nprim poly ( 1 x 3 )\n}\n", "'x' は浮動小数点数ではありません", true},
        {"empty.suf", "", "holds no shape (no obj, atr or prim statement)", false},
        {"none.suf", nullptr, "ファイル「" + dir.Path("none.suf") + "」を開けません（ファイルまたはフォルダーがありません）。", true},
        {"bad.obj", "v 0 0 0\nv 1 x 0\nf 1 2 1\n", "line 2: 'x' is not a number", true},
        {"none.stl", nullptr, "cannot open (No such file or directory)", true},
    };
    for (const Case& c : cases) {
        const std::string path = dir.Path(c.name);
        if (c.bytes != nullptr) WriteFile(path, c.bytes);
        const TLoadedShape loaded = LoadAnyShape(path);
        EXPECT_EQ(loaded.Shape, nullptr) << c.name;
        EXPECT_FALSE(loaded.Outcome.Ok()) << c.name;
        EXPECT_EQ(loaded.Outcome.Text(), path + ": " + c.message) << c.name;
        const bool suf = std::string_view(c.name).ends_with(".suf");
        EXPECT_EQ(loaded.Raised, !c.raised ? "" : suf ? c.message : path + ": " + c.message) << c.name;
    }
    WriteFile(dir.Path("good.suf"), "obj suf a {\nprim poly ( 1 2 3 )\n}\n");
    const TLoadedShape good = LoadAnyShape(dir.Path("good.suf"));
    EXPECT_NE(good.Shape, nullptr);
    EXPECT_TRUE(good.Outcome.Ok());
    EXPECT_EQ(good.Raised, "");
}

}  // namespace
