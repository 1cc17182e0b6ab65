#include "formats/export.h"

#include <gtest/gtest.h>
#include <tiny_gltf.h>

#include <cfloat>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/import.h"
#include "shape/state.h"
#include "tests/shape/test_util.h"

namespace {

using test_util::Dump;
using test_util::ReadFile;
using test_util::Shape;
using test_util::TempDir;
using test_util::WriteFile;

// object "lid":  a quad (poly), a pentagon (shade), a two-corner polygon
//                (no triangle: left out of glTF), a triangle (uvshade)
// object "side": a hexagon (uvpoly) with an attribute
// The target moves every vertex; "short" lacks the second object.
constexpr char kStart[] =
    "obj suf lid {\r"
    "prim poly ( 0 0 0  1 0 0  1 1 0  0 1 0.1 )\r"
    "atr red\r"
    "prim shade ( 0 0 1 0 0 2  1 0 1 0 0 1  1 1 1 0 0 1  0.5 1.5 1 0 0 1  0 1 1 0 0 1 )\r"
    "prim poly ( 0 0 0  1 1 1 )\r"
    "prim uvshade ( 0 0 2 1 0 0 0 0  1 0 2 1 0 0 1 0  0 1 2 1 0 0 0 1 )\r"
    "}\r"
    "obj suf side {\r"
    "atr blue\r"
    "prim uvpoly ( 0 0 0 0 0  2 0 0 1 0  3 1 0 1 1  2 2 0 1 1  0 2 0 0 1  -1 1 0.3 0 0.5 )\r"
    "}\r";

constexpr char kTarget[] =
    "obj suf lid {\r"
    "prim poly ( 0 0 1  1 0 1  1 1 1  0 1 1.1 )\r"
    "atr red\r"
    "prim shade ( 0 0 2 0 1 0  1 0 2 0 1 0  1 1 2 0 1 0  0.5 1.5 2 0 1 0  0 1 2 0 1 0 )\r"
    "prim poly ( 0 0 0  1 1 1 )\r"
    "prim uvshade ( 0 0 3 1 0 0 0.5 0  1 0 3 1 0 0 1 0.5  0 1 3 1 0 0 0 1 )\r"
    "}\r"
    "obj suf side {\r"
    "atr blue\r"
    "prim uvpoly ( 0 0 5 0 0  2 0 5 1 0  3 1 5 1 1  2 2 5 1 1  0 2 5 0 1  -1 1 5.3 0 0.5 )\r"
    "}\r";

constexpr char kShort[] = "obj suf lid {\rprim poly ( 0.5 0 0  1 0 0 )\r}\r";

// Runs the Khronos validator on path; true for no error and no warning.
// The library's own reading of an exported file, to look at what it holds.
bool ParseGltf(const std::string& bytes, bool binary, tinygltf::Model& model, std::string& err) {
    tinygltf::TinyGLTF loader;
    std::string warn;
    const auto size = static_cast<unsigned>(bytes.size());
    return binary ? loader.LoadBinaryFromMemory(&model, &err, &warn,
                                                reinterpret_cast<const unsigned char*>(bytes.data()), size)
                  : loader.LoadASCIIFromString(&model, &err, &warn, bytes.data(), size, "");
}

bool Validates(const std::string& path) {
    const std::string command = "node '" PLIVRA_SOURCE_DIR "/tests/formats/validator/validate.js' '" + path + "'";
    return std::system(command.c_str()) == 0;
}

// Positions of every triangle corner of a shape whose polygons are fanned,
// rounded to float: what the glTF file must give back.
std::vector<float> FannedPositions(const TVANE_Object* shape) {
    std::vector<float> out;
    for (const TVANE_Object* o = shape; o != nullptr; o = o->Next) {
        for (const TVANE_Polygon* p = o->Polygons; p != nullptr; p = p->Next) {
            std::vector<const TVANE_Vertex*> v;
            for (const TVANE_Vertex* x = p->Vertices; x != nullptr; x = x->Next) v.push_back(x);
            for (std::size_t k = 1; k + 1 < v.size(); ++k) {
                for (const TVANE_Vertex* c : {v[0], v[k], v[k + 1]})
                    for (Extended value : {c->X, c->Y, c->Z}) out.push_back(static_cast<float>(value));
            }
        }
    }
    return out;
}

std::vector<float> Positions(const TVANE_Object* shape) {
    std::vector<float> out;
    for (const TVANE_Object* o = shape; o != nullptr; o = o->Next)
        for (const TVANE_Polygon* p = o->Polygons; p != nullptr; p = p->Next)
            for (const TVANE_Vertex* c = p->Vertices; c != nullptr; c = c->Next)
                for (Extended value : {c->X, c->Y, c->Z}) out.push_back(static_cast<float>(value));
    return out;
}

// The float values of a VEC3 or SCALAR float accessor, written tightly.
std::vector<float> Floats(const tinygltf::Model& m, int accessor) {
    const tinygltf::Accessor& a = m.accessors[static_cast<std::size_t>(accessor)];
    const tinygltf::BufferView& v = m.bufferViews[static_cast<std::size_t>(a.bufferView)];
    const std::size_t n = a.count * (a.type == TINYGLTF_TYPE_VEC3 ? 3 : a.type == TINYGLTF_TYPE_VEC2 ? 2 : 1);
    std::vector<float> out(n);
    std::memcpy(out.data(), m.buffers[0].data.data() + v.byteOffset + a.byteOffset, n * sizeof(float));
    return out;
}

TEST(ExportGltf, ValidatesAndReadsBackWithItsMorphTargets) {
    TempDir dir;
    WriteFile(dir.Path("start.suf"), kStart);
    WriteFile(dir.Path("target.suf"), kTarget);
    WriteFile(dir.Path("short.suf"), kShort);
    Shape start(VANE->LoadSuf(dir.Path("start.suf")));
    Shape target(VANE->LoadSuf(dir.Path("target.suf")));
    Shape short_target(VANE->LoadSuf(dir.Path("short.suf")));
    TGltfAnimation animation;
    animation.FromPercent = -50;
    animation.ToPercent = 150;
    animation.Seconds = 1.5;
    const std::vector<TGltfTarget> targets = {{target.get(), "up"}, {short_target.get(), "short"}};
    for (const bool binary : {true, false}) {
        const std::string path = dir.Path(binary ? "out.glb" : "out.gltf");
        const std::string bytes = ExportGltf(start.get(), targets, animation, binary);
        WriteFile(path, bytes);
        EXPECT_TRUE(Validates(path)) << path;

        // Read back: one object per primitive, triangles in fan order.
        Shape back(ImportShape(path));
        EXPECT_EQ(Positions(back.get()), FannedPositions(start.get())) << path;

        tinygltf::Model model;
        std::string err;
        ASSERT_TRUE(ParseGltf(bytes, binary, model, err)) << err;
        ASSERT_EQ(model.meshes.size(), 2u);
        const tinygltf::Mesh& lid = model.meshes[0];
        EXPECT_EQ(lid.extras.Get("targetNames").Get(0).Get<std::string>(), "up");
        EXPECT_EQ(lid.extras.Get("targetNames").Get(1).Get<std::string>(), "short");
        EXPECT_EQ(lid.weights, (std::vector<double>{-0.5, -0.5}));
        // lid: poly, then shade with attribute red, then uvshade (red).
        ASSERT_EQ(lid.primitives.size(), 3u);
        const tinygltf::Primitive& shade = lid.primitives[1];
        EXPECT_EQ(shade.attributes.count("NORMAL"), 1u);
        EXPECT_EQ(shade.attributes.count("TEXCOORD_0"), 0u);
        EXPECT_EQ(model.materials[static_cast<std::size_t>(shade.material)].name, "red");
        const std::vector<float> base = Floats(model, shade.attributes.at("POSITION"));
        const std::vector<float> up = Floats(model, shade.targets[0].at("POSITION"));
        const std::vector<float> normal_up = Floats(model, shade.targets[0].at("NORMAL"));
        const std::vector<float> none = Floats(model, shade.targets[1].at("POSITION"));
        for (std::size_t k = 0; k < base.size(); k += 3) {
            EXPECT_EQ(base[k + 2] + up[k + 2], 2.0f);  // every corner rises by one
            EXPECT_EQ(none[k] + none[k + 1] + none[k + 2], 0.0f);  // short: lid's shade is past it
        }
        EXPECT_EQ(normal_up[1], 1.0f);  // (0 0 2) at unit length turns to (0 1 0)
        EXPECT_EQ(normal_up[2], -1.0f);
        const tinygltf::Primitive& mapped = lid.primitives[2];
        const std::vector<float> uv_up = Floats(model, mapped.targets[0].at("TEXCOORD_0"));
        EXPECT_EQ(uv_up[0], 0.5f);
        // The short target reaches the lid's first polygon: its first corner moves by 0.5.
        EXPECT_EQ(Floats(model, lid.primitives[0].targets[1].at("POSITION"))[0], 0.5f);
        const tinygltf::Animation& play = model.animations.at(0);
        ASSERT_EQ(play.channels.size(), 2u);
        EXPECT_EQ(play.channels[0].target_path, "weights");
        EXPECT_EQ(Floats(model, play.samplers[0].input), (std::vector<float>{0.0f, 1.5f}));
        EXPECT_EQ(Floats(model, play.samplers[0].output), (std::vector<float>{-0.5f, -0.5f, 1.5f, 1.5f}));
    }
    // One shape alone: no targets, no animation, still valid.
    const std::string single = dir.Path("single.glb");
    WriteFile(single, ExportGltf(start.get(), {}, animation, true));
    EXPECT_TRUE(Validates(single));
}

// Names that are not UTF-8: object "スザンヌ" in Shift-JIS with attribute
// "テスト" in Shift-JIS, object "café" in Latin-1 with "テスト" in UTF-8 (the
// same text, so only the bytes keep the two materials apart). One triangle
// each, so each object is one primitive and reads back as one object.
constexpr char kSuzanne[] = "\x83\x58\x83\x55\x83\x93\x83\x6b";
constexpr char kSjisTest[] = "\x83\x65\x83\x58\x83\x67";
constexpr char kUtf8Test[] = "\xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88";
const std::string kNamedStart = std::string("obj suf ") + kSuzanne + " {\r" + "atr " + kSjisTest +
                                "\rprim poly ( 0 0 0  1 0 0  0 1 0 )\r}\r" + "obj suf caf\xe9 {\r" + "atr " +
                                kUtf8Test + "\rprim poly ( 0 0 1  1 0 1  0 1 1 )\r}\r";

TEST(ExportGltf, KeepsTheBytesOfNamesThatAreNotUtf8) {
    TempDir dir;
    WriteFile(dir.Path("start.suf"), kNamedStart);
    Shape start(VANE->LoadSuf(dir.Path("start.suf")));
    ASSERT_NE(start.get(), nullptr) << SufErrorMessage;
    ASSERT_TRUE(VANE->SaveSuf(dir.Path("saved.suf"), start.get()));
    const std::vector<TGltfTarget> targets = {{start.get(), kSuzanne}, {start.get(), "plain"}};
    for (const bool binary : {true, false}) {
        const std::string path = dir.Path(binary ? "names.glb" : "names.gltf");
        const std::string bytes = ExportGltf(start.get(), targets, TGltfAnimation(), binary);
        WriteFile(path, bytes);
        EXPECT_TRUE(Validates(path)) << path;
        Shape back(ImportShape(path));
        ASSERT_TRUE(VANE->SaveSuf(dir.Path("back.suf"), back.get())) << SufErrorMessage;
        EXPECT_EQ(ReadFile(dir.Path("back.suf")), ReadFile(dir.Path("saved.suf"))) << path;

        tinygltf::Model model;
        std::string err;
        ASSERT_TRUE(ParseGltf(bytes, binary, model, err)) << err;
        ASSERT_EQ(model.meshes.size(), 2u);
        const tinygltf::Mesh& suzanne = model.meshes[0];
        EXPECT_EQ(suzanne.name, "スザンヌ");
        EXPECT_EQ(suzanne.extras.Get("plivraNameBytes").Get<std::string>(), "835883558393836b");
        EXPECT_EQ(model.nodes[0].name, "スザンヌ");
        EXPECT_EQ(model.nodes[0].extras.Get("plivraNameBytes").Get<std::string>(), "835883558393836b");
        EXPECT_EQ(model.meshes[1].name, "café");
        EXPECT_EQ(model.meshes[1].extras.Get("plivraNameBytes").Get<std::string>(), "636166e9");
        EXPECT_EQ(suzanne.extras.Get("targetNames").Get(0).Get<std::string>(), "スザンヌ");
        EXPECT_EQ(suzanne.extras.Get("targetNames").Get(1).Get<std::string>(), "plain");
        EXPECT_EQ(suzanne.extras.Get("plivraTargetNameBytes").Get(0).Get<std::string>(), "835883558393836b");
        EXPECT_EQ(suzanne.extras.Get("plivraTargetNameBytes").Get(1).Get<std::string>(), "");
        ASSERT_EQ(model.materials.size(), 2u);
        EXPECT_EQ(model.materials[0].name, "テスト");
        EXPECT_EQ(model.materials[0].extras.Get("plivraNameBytes").Get<std::string>(), "836583588367");
        EXPECT_EQ(model.materials[1].name, "テスト");
        EXPECT_FALSE(model.materials[1].extras.IsObject());  // UTF-8: nothing kept beside it
    }

    // The kept bytes count only when they read as the name in the file.
    const std::string text = ExportGltf(start.get(), {}, TGltfAnimation(), false);
    struct Edit {
        const char* what;
        std::string from, to;
        std::string name;  // of the first object, as imported
    };
    const Edit edits[] = {
        {"as exported", "", "", kSuzanne},
        {"bytes of another name", "\"835883558393836b\"", "\"8358\"", "スザンヌ"},
        {"an odd count of digits", "\"835883558393836b\"", "\"835883558393836\"", "スザンヌ"},
        {"not hex", "\"835883558393836b\"", "\"835883558393836z\"", "スザンヌ"},
        {"upper-case hex", "\"835883558393836b\"", "\"835883558393836B\"", kSuzanne},
        {"a renamed node", "\"name\":\"スザンヌ\"", "\"name\":\"Suzy\"", "Suzy"},
    };
    for (const Edit& edit : edits) {
        // In the mesh and in its node, whose name the object takes.
        std::string edited = text;
        if (!edit.from.empty()) {
            std::size_t at = edited.find(edit.from);
            ASSERT_NE(at, std::string::npos) << edit.what;
            for (; at != std::string::npos; at = edited.find(edit.from, at + edit.to.size()))
                edited.replace(at, edit.from.size(), edit.to);
        }
        Shape back(ImportGltf(edited, false, nullptr));
        EXPECT_EQ(back->Name, edit.name) << edit.what;
        EXPECT_EQ(back->Polygons->Attribute->Name.Bytes(), kSjisTest) << edit.what;
    }
}

// Every corner of a shape, values rounded to float (V as it stands).
std::vector<float> CornerValues(const TVANE_Object* shape) {
    std::vector<float> out;
    for (const TVANE_Object* o = shape; o != nullptr; o = o->Next)
        for (const TVANE_Polygon* p = o->Polygons; p != nullptr; p = p->Next)
            for (const TVANE_Vertex* c = p->Vertices; c != nullptr; c = c->Next)
                for (Extended value : {c->X, c->Y, c->Z, c->NX, c->NY, c->NZ, c->U, c->V})
                    out.push_back(static_cast<float>(value));
    return out;
}

// A 20 x 20 sheet of triangles as fans of quads: 441 positions; "bump"
// moves one of them, so its difference is sparse.
std::string Sheet(bool bump) {
    std::string out = "obj suf sheet {\r";
    for (int j = 0; j < 20; ++j)
        for (int i = 0; i < 20; ++i) {
            out += "prim uvpoly (";
            for (const auto& [di, dj] : {std::pair{0, 0}, {1, 0}, {1, 1}, {0, 1}}) {
                const int x = i + di, y = j + dj;
                const double z = bump && x == 10 && y == 10 ? 0.5 : 0;
                out += " " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(z) + " " +
                       std::to_string(x / 20.0) + " " + std::to_string(y / 20.0) + " ";
            }
            out += ")\r";
        }
    return out + "}\r";
}

// export START T1 T2, import with targets: START and each target come back,
// polygons fanned; corners shared by every value are one glTF vertex.
TEST(ExportGltf, RoundTripsItsTargetsThroughSharedVertices) {
    TempDir dir;
    WriteFile(dir.Path("start.suf"), kStart);
    WriteFile(dir.Path("target.suf"), kTarget);
    WriteFile(dir.Path("sheet.suf"), Sheet(false));
    WriteFile(dir.Path("bump.suf"), Sheet(true));
    Shape start(VANE->LoadSuf(dir.Path("start.suf")));
    Shape target(VANE->LoadSuf(dir.Path("target.suf")));
    Shape sheet(VANE->LoadSuf(dir.Path("sheet.suf")));
    Shape bump(VANE->LoadSuf(dir.Path("bump.suf")));
    // Each start with its targets, fanned as the export fans them.
    const struct {
        const TVANE_Object* start;
        std::vector<TGltfTarget> targets;
        std::size_t vertices;  // of the first primitive
    } cases[] = {
        {start.get(), {{target.get(), "wave"}, {start.get(), "wave"}}, 4},  // the quad's four corners
        {sheet.get(), {{bump.get(), "bump"}}, 441},
    };
    for (const auto& c : cases) {
        const std::string path = dir.Path("round.glb");
        const std::string bytes = ExportGltf(c.start, c.targets, TGltfAnimation(), true);
        WriteFile(path, bytes);
        EXPECT_TRUE(Validates(path));
        tinygltf::Model model;
        std::string err;
        ASSERT_TRUE(ParseGltf(bytes, true, model, err)) << err;
        const tinygltf::Primitive& first = model.meshes[0].primitives[0];
        EXPECT_EQ(model.accessors[static_cast<std::size_t>(first.attributes.at("POSITION"))].count, c.vertices);
        const tinygltf::Accessor& indices = model.accessors[static_cast<std::size_t>(first.indices)];
        EXPECT_EQ(indices.componentType, c.vertices <= 255 ? 5121 : 5123);  // the smallest that holds them

        const TImportedShapes back = ImportShapes(path, true);
        ASSERT_EQ(back.Targets.size(), c.targets.size());
        // What each shape gives back alone (fanned, at float precision): the
        // base and every target must give the same.
        WriteFile(dir.Path("alone.glb"), ExportGltf(c.start, {}, TGltfAnimation(), true));
        Shape fanned(ImportShape(dir.Path("alone.glb")));
        EXPECT_EQ(CornerValues(back.Base.get()), CornerValues(fanned.get()));
        for (std::size_t t = 0; t < c.targets.size(); ++t) {
            WriteFile(dir.Path("alone.glb"), ExportGltf(c.targets[t].Shape, {}, TGltfAnimation(), true));
            Shape fanned_target(ImportShape(dir.Path("alone.glb")));
            EXPECT_EQ(CornerValues(back.Targets[t].Shape.get()), CornerValues(fanned_target.get())) << t;
        }
        if (c.start == sheet.get()) {
            const tinygltf::Accessor& moved =
                model.accessors[static_cast<std::size_t>(first.targets[0].at("POSITION"))];
            EXPECT_TRUE(moved.sparse.isSparse);
            EXPECT_EQ(moved.sparse.count, 1);
            EXPECT_EQ(back.Targets[0].Moving, 1u);
        } else {
            EXPECT_EQ(back.Targets[1].Name, "wave_2");  // unique in the file
            EXPECT_EQ(back.Targets[1].Moving, 0u);      // the start as its own target
        }
    }
    // V turns over on the way out: the side's first corner (u, v) = (0, 0) is (0, 1).
    const std::string bytes = ExportGltf(start.get(), {}, TGltfAnimation(), true);
    tinygltf::Model model;
    std::string err;
    ASSERT_TRUE(ParseGltf(bytes, true, model, err)) << err;
    const tinygltf::Primitive& side = model.meshes[1].primitives[0];
    EXPECT_EQ(Floats(model, side.attributes.at("TEXCOORD_0"))[1], 1.0f);
}

TEST(ExportGltf, RefusesWhatGltfCannotHold) {
    TempDir dir;
    WriteFile(dir.Path("line.suf"), "obj suf a {\rprim poly ( 0 0 0  1 1 1 )\r}\r");
    WriteFile(dir.Path("far.suf"), "obj suf a {\rprim poly ( 0 0 0  1 1 1  1E300 0 0 )\r}\r");
    // 2^128 - 2^103, halfway between FLT_MAX and the next step: rounds up, to infinity.
    WriteFile(dir.Path("tie.suf"), "obj suf a {\rprim poly ( 0 0 0  1 1 1  0 -3.4028235677973366E38 0 )\r}\r");
    Shape line(VANE->LoadSuf(dir.Path("line.suf")));
    Shape far(VANE->LoadSuf(dir.Path("far.suf")));
    Shape tie(VANE->LoadSuf(dir.Path("tie.suf")));
    struct Row {
        const TVANE_Object* shape;
        const char* message;
    };
    for (const Row& row : {Row{line.get(), "holds no polygon of three corners or more"},
                           Row{far.get(), "a value lies beyond single precision"},
                           Row{tie.get(), "a value lies beyond single precision"}}) {
        try {
            ExportGltf(row.shape, {}, TGltfAnimation(), true);
            ADD_FAILURE() << row.message;
        } catch (const TExportError& error) {
            EXPECT_STREQ(error.what(), row.message);
        }
    }
}

// FLT_MAX read from a glTF file, saved as a shape file (in fewer digits,
// a little beyond FLT_MAX) and exported again stays FLT_MAX, as does a value
// just short of the halfway point to the next float step.
TEST(ExportGltf, WritesWhatRoundsToFloatMaxAsFloatMax) {
    TempDir dir;
    WriteFile(dir.Path("max.suf"), "obj suf a {\rprim poly ( 0 0 0  3.4028234663852886E38 0 0  "
                                   "0 -3.4028235677973362E38 0 )\r}\r");
    Shape max(VANE->LoadSuf(dir.Path("max.suf")));
    Shape imported(ImportGltf(ExportGltf(max.get(), {}, TGltfAnimation(), true), true, nullptr));
    ASSERT_TRUE(VANE->SaveSuf(dir.Path("saved.suf"), imported.get()));
    Shape saved(VANE->LoadSuf(dir.Path("saved.suf")));
    ASSERT_GT(saved->Polygons->Vertices->Next->X, static_cast<Extended>(FLT_MAX));  // what made the old writer refuse
    Shape back(ImportGltf(ExportGltf(saved.get(), {}, TGltfAnimation(), true), true, nullptr));
    EXPECT_EQ(Positions(back.get()), (std::vector<float>{0, 0, 0, FLT_MAX, 0, 0, 0, -FLT_MAX, 0}));
}

TEST(ExportObj, ReadsBackAsTheShapeFileDoes) {
    TempDir dir;
    WriteFile(dir.Path("start.suf"), kStart);
    Shape start(VANE->LoadSuf(dir.Path("start.suf")));
    // Values a shape file rounds: the OBJ text must round them alike.
    start->Polygons->Vertices->X = 1.0L / 3;
    ASSERT_TRUE(VANE->SaveSuf(dir.Path("saved.suf"), start.get()));
    Shape saved(VANE->LoadSuf(dir.Path("saved.suf")));
    Shape back(ImportObj(ExportObj(start.get())));
    EXPECT_EQ(Dump(back.get()), Dump(saved.get()));
}

}  // namespace
