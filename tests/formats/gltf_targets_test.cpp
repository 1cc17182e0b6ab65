// Morph targets read from glTF files: each target a whole shape that
// corresponds to the base, names as the file gives them, and the files
// refused for targets that do not line up.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "formats/builder.h"
#include "formats/import.h"
#include "tests/formats/mesh_bytes.h"
#include "tests/shape/test_util.h"

namespace {

using test_util::Base64;
using test_util::Bytes;
using test_util::Dump;
using test_util::Shape;
using test_util::TempDir;
using test_util::WriteFile;

// 2            one triangle, drawn twice by mesh "m" (hung from node "Node名"):
// | \          first with UVs and material a, then plain with material b.
// 0---1        Target "wave" lifts corner 1 by 0.25 (a sparse accessor
//              without a view, in both primitives); the second target, also
//              named "wave", moves V of corner 0 by 0.25 in glTF's terms.
std::string TargetsDoc(const std::string& second_targets) {
    const std::string bin = Bytes<float>({0, 0, 0, 1, 0, 0, 0, 1, 0}) + Bytes<float>({0, 0, 1, 0, 0, 1}) +
                            Bytes<std::uint8_t>({1, 0, 0, 0}) + Bytes<float>({0, 0, 0.25f}) +
                            Bytes<float>({0, 0.25f, 0, 0, 0, 0});
    return "{\"asset\":{\"version\":\"2.0\"},\"buffers\":[{\"byteLength\":" + std::to_string(bin.size()) +
           ",\"uri\":\"data:application/octet-stream;base64," + Base64(bin) +
           "\"}],\"bufferViews\":[{\"buffer\":0,\"byteLength\":36},{\"buffer\":0,\"byteOffset\":36,\"byteLength\":24},"
           "{\"buffer\":0,\"byteOffset\":60,\"byteLength\":1},{\"buffer\":0,\"byteOffset\":64,\"byteLength\":12},"
           "{\"buffer\":0,\"byteOffset\":76,\"byteLength\":24}],\"accessors\":["
           "{\"bufferView\":0,\"componentType\":5126,\"count\":3,\"type\":\"VEC3\"},"
           "{\"bufferView\":1,\"componentType\":5126,\"count\":3,\"type\":\"VEC2\"},"
           "{\"componentType\":5126,\"count\":3,\"type\":\"VEC3\",\"sparse\":{\"count\":1,"
           "\"indices\":{\"bufferView\":2,\"componentType\":5121},\"values\":{\"bufferView\":3}}},"
           "{\"bufferView\":4,\"componentType\":5126,\"count\":3,\"type\":\"VEC2\"}],"
           "\"materials\":[{\"name\":\"a\"},{\"name\":\"b\"}],"
           "\"meshes\":[{\"name\":\"m\",\"extras\":{\"targetNames\":[\"wave\",\"wave\"]},\"primitives\":["
           "{\"attributes\":{\"POSITION\":0,\"TEXCOORD_0\":1},\"material\":0,\"targets\":[{\"POSITION\":2},{\"TEXCOORD_0\":3}]},"
           "{\"attributes\":{\"POSITION\":0},\"material\":1,\"targets\":" + second_targets + "}]}],"
           "\"nodes\":[{\"name\":\"Node名\",\"mesh\":0}],\"scenes\":[{\"nodes\":[0]}]}";
}

std::string SufDump(const std::string& suf) {
    TempDir dir;
    WriteFile(dir.Path("want.suf"), suf);
    Shape want(VANE->LoadSuf(dir.Path("want.suf")));
    return Dump(want.get());
}

TEST(ImportGltfTargets, EachTargetIsAWholeShapeOfTheBase) {
    const TImportedShapes read = ImportGltfShapes(TargetsDoc("[{\"POSITION\":2},{}]"), false, nullptr, true);
    // One object named after the node; V turned over (1 - V).
    const char* base =
        "obj suf Node名 {\ratr a\rprim uvpoly ( 0 0 0 0 1  1 0 0 1 1  0 1 0 0 0 )\r"
        "atr b\rprim poly ( 0 0 0  1 0 0  0 1 0 )\r}\r";
    EXPECT_EQ(Dump(read.Base.get()), SufDump(base));
    ASSERT_EQ(read.Targets.size(), 2u);
    EXPECT_EQ(read.Targets[0].Name, "wave");
    EXPECT_EQ(read.Targets[1].Name, "wave");  // made unique by whoever names files
    EXPECT_EQ(read.Targets[0].Moving, 2u);    // corner 1 of each primitive
    EXPECT_EQ(read.Targets[1].Moving, 1u);
    EXPECT_EQ(Dump(read.Targets[0].Shape.get()),
              SufDump("obj suf Node名 {\ratr a\rprim uvpoly ( 0 0 0 0 1  1 0 0.25 1 1  0 1 0 0 0 )\r"
                      "atr b\rprim poly ( 0 0 0  1 0 0.25  0 1 0 )\r}\r"));
    // V of corner 0 moves by +0.25 in glTF, so by -0.25 here.
    EXPECT_EQ(Dump(read.Targets[1].Shape.get()),
              SufDump("obj suf Node名 {\ratr a\rprim uvpoly ( 0 0 0 0 0.75  1 0 0 1 1  0 1 0 0 0 )\r"
                      "atr b\rprim poly ( 0 0 0  1 0 0  0 1 0 )\r}\r"));
    // Without the shapes: names and counts alone.
    const TImportedShapes facts = ImportGltfShapes(TargetsDoc("[{\"POSITION\":2},{}]"), false, nullptr, false);
    ASSERT_EQ(facts.Targets.size(), 2u);
    EXPECT_EQ(facts.Targets[0].Shape, nullptr);
    EXPECT_EQ(facts.Targets[0].Moving, 2u);
}

TEST(ImportGltfTargets, RefusesTargetsThatDoNotLineUp) {
    const struct {
        const char* what;
        std::string second_targets, message;
    } cases[] = {
        {"primitives of one mesh disagree", "[{\"POSITION\":2}]", "mesh m: its primitives have 2 and 1 morph targets"},
        {"a target of another length", "[{\"POSITION\":1},{}]", "accessor 1 has the wrong type"},
        {"a target accessor not there", "[{\"POSITION\":9},{}]", "a primitive refers to accessor 9, which is not there"},
    };
    for (const auto& c : cases) {
        try {
            ImportGltfShapes(TargetsDoc(c.second_targets), false, nullptr, true);
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const TImportError& error) {
            EXPECT_EQ(error.what(), c.message) << c.what;
        }
    }
}

// Blender's own export of a cube with two shape keys (tests/data/README.md).
TEST(ImportGltfTargets, ReadsTheShapeKeysBlenderWrote) {
    const TImportedShapes read =
        ImportShapes(std::string(PLIVRA_SOURCE_DIR) + "/tests/data/blender_keys.glb", true);
    ASSERT_NE(read.Base, nullptr);
    EXPECT_EQ(read.Base->Name, "箱");  // the node's name, not "箱Mesh"
    EXPECT_EQ(read.Base->Next, nullptr);  // both materials in one object
    ASSERT_EQ(read.Targets.size(), 2u);
    EXPECT_EQ(read.Targets[0].Name, "lift");
    EXPECT_EQ(read.Targets[1].Name, "wide");
    EXPECT_EQ(read.Targets[0].Moving, 12u);  // the top's four corners, three glTF vertices each
    // glTF's up is Y: Blender's Z.
    EXPECT_EQ(read.Base->MaxY, 1);
    EXPECT_EQ(read.Targets[0].Shape->MaxY, 2);
    EXPECT_EQ(read.Targets[1].Shape->MaxX, 1.5);
    EXPECT_EQ(read.Targets[1].Shape->MaxY, 1);
}

TEST(TargetNames, UniqueAndSafeForAFileName) {
    std::vector<std::string> names = {"wave", "wave", "wave_2", "wave", "b"};
    MakeUnique(names);
    EXPECT_EQ(names, (std::vector<std::string>{"wave", "wave_2", "wave_2_2", "wave_3", "b"}));
    // Shift-JIS bytes of 形 and their UTF-8 text are one name.
    std::vector<std::string> texts = {"\x8c\x60", "形"};
    MakeUnique(texts);
    EXPECT_EQ(texts[1], "形_2");
    EXPECT_EQ(FileNamePart("a/b\\c\n", "t"), "a_b_c_");
    EXPECT_EQ(FileNamePart("..", "t1"), "t1");
    EXPECT_EQ(FileNamePart("", "t2"), "t2");
    EXPECT_EQ(FileNamePart("\x8c\x60", "t"), "形");
}

}  // namespace
