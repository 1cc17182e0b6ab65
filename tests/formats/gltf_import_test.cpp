// Known answers of the glTF reader: small files made here, every value and
// its order checked after import; hostile files refused with one short line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/import.h"
#include "tests/formats/mesh_bytes.h"
#include "tests/shape/test_util.h"

namespace {

using test_util::Base64;
using test_util::Bytes;
using test_util::Dump;
using test_util::ReadFile;
using test_util::Shape;
using test_util::TempDir;
using test_util::WriteFile;

// The binary container around json (padded with spaces) and bin.
std::string Glb(std::string json, std::string bin, std::uint32_t version = 2) {
    while (json.size() % 4 != 0) json += ' ';
    while (bin.size() % 4 != 0) bin += '\0';
    const auto word = [](std::size_t v) { return Bytes<std::uint32_t>({static_cast<std::uint32_t>(v)}); };
    std::string out = "glTF" + word(version) + word(12 + 8 + json.size() + (bin.empty() ? 0 : 8 + bin.size()));
    out += word(json.size()) + "JSON" + json;
    if (!bin.empty()) out += word(bin.size()) + std::string("BIN\0", 4) + bin;
    return out;
}

// 3-----2     the quad's corners as floats; 0.5 lifts corner 3
// |     |
// 0-----1
const std::string kQuad = Bytes<float>({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0.5f});
constexpr char kQuadSuf[] = "prim poly ( 0 0 0  1 0 0  1 1 0 )\rprim poly ( 0 0 0  1 1 0  0 1 0.5 )\r";

// A document of one buffer (uri, or the BIN chunk when empty) holding the
// quad's positions then `more`; `views` and `accessors` come after the
// positions' own view 0 and accessor 0; one mesh "quad" of `primitive`.
std::string Doc(const std::string& uri, std::size_t length, const std::string& views,
                const std::string& accessors, const std::string& primitive, const std::string& extra = "") {
    return "{\"asset\":{\"version\":\"2.0\"}" + extra + ",\"buffers\":[{" +
           (uri.empty() ? "" : "\"uri\":\"" + uri + "\",") + "\"byteLength\":" + std::to_string(length) +
           "}],\"bufferViews\":[{\"buffer\":0,\"byteLength\":48}" + views +
           "],\"accessors\":[{\"bufferView\":0,\"componentType\":5126,\"count\":4,\"type\":\"VEC3\"}" + accessors +
           "],\"meshes\":[{\"name\":\"quad\",\"primitives\":[" + primitive + "]}]}";
}

std::string DataUri(const std::string& bytes) { return "data:application/octet-stream;base64," + Base64(bytes); }

// The quad with indices of one component type (5121, 5123, 5125) after it.
std::string Indexed(const std::string& uri, int type, const std::string& indices) {
    return Doc(uri, 48 + indices.size(), ",{\"buffer\":0,\"byteOffset\":48,\"byteLength\":" + std::to_string(indices.size()) + "}",
               ",{\"bufferView\":1,\"componentType\":" + std::to_string(type) + ",\"count\":6,\"type\":\"SCALAR\"}",
               "{\"attributes\":{\"POSITION\":0},\"indices\":1}");
}

const std::string kIdx8 = Bytes<std::uint8_t>({0, 1, 2, 0, 2, 3});
const std::string kIdx16 = Bytes<std::uint16_t>({0, 1, 2, 0, 2, 3});
const std::string kIdx32 = Bytes<std::uint32_t>({0, 1, 2, 0, 2, 3});

// Positions and normals interleaved in one view of stride 24, the normal of
// corner k being (0, 0, k + 1) (kept as the file gives it).
std::string Interleaved() {
    std::string out;
    for (int k = 0; k < 4; ++k)
        out += kQuad.substr(12 * static_cast<std::size_t>(k), 12) + Bytes<float>({0, 0, static_cast<float>(k + 1)});
    return out;
}

// text with the first `from` replaced by `to`; `from` must be in it.
std::string Replace(std::string text, std::string_view from, std::string_view to) {
    const std::size_t at = text.find(from);
    if (at == std::string::npos) throw std::logic_error("no '" + std::string(from) + "' in the fixture");
    return text.replace(at, from.size(), to);
}

std::string Deep(std::size_t levels, const std::string& inside = "") {
    return std::string(levels, '[') + inside + std::string(levels, ']');
}

struct TFile {
    std::string name, bytes;
};

struct TCase {
    const char* what;
    std::vector<TFile> files;  // the first is imported
    std::string want;          // the shape file's objects, or the message
    bool refused = false;
};

// Every hostile kind of file and each way of storing values the reader takes.
std::vector<TCase> Cases(const std::string& outside) {
    const std::string plain = "{\"attributes\":{\"POSITION\":0}";  // a primitive, open for more members
    const std::string attrs = "{\"attributes\":{\"POSITION\":0";   // the same, open for more attributes
    const std::string uv8 = Bytes<std::uint8_t>({0, 255, 51, 0, 255, 255, 0, 0});
    const std::string uv16 = Bytes<std::uint16_t>({0, 65535, 13107, 0, 65535, 65535, 0, 0});
    auto uv_doc = [&](const std::string& uv, int type) {
        return Doc(DataUri(kQuad + uv + kIdx8), 48 + uv.size() + 6,
                   ",{\"buffer\":0,\"byteOffset\":48,\"byteLength\":" + std::to_string(uv.size()) +
                       "},{\"buffer\":0,\"byteOffset\":" + std::to_string(48 + uv.size()) + ",\"byteLength\":6}",
                   ",{\"bufferView\":1,\"componentType\":" + std::to_string(type) +
                       ",\"normalized\":true,\"count\":4,\"type\":\"VEC2\"}"
                       ",{\"bufferView\":2,\"componentType\":5121,\"count\":6,\"type\":\"SCALAR\"}",
                   attrs + ",\"TEXCOORD_0\":1},\"indices\":2}");
    };
    // V turns over: 1 - V.
    const std::string uv_want =
        "prim uvpoly ( 0 0 0 0 0  1 0 0 0.2 1  1 1 0 1 0 )\rprim uvpoly ( 0 0 0 0 0  1 1 0 1 0  0 1 0.5 0 1 )\r";
    auto file_doc = [&](const std::string& uri) { return Indexed(uri, 5121, kIdx8); };
    const std::string outside_msg = "buffer 0 names a file outside the glTF's folder";
    // 2,000 meshes each using the one accessor of 30,000 corners.
    std::string many = "{\"asset\":{\"version\":\"2.0\"},\"buffers\":[{\"byteLength\":360000}],"
                       "\"bufferViews\":[{\"buffer\":0,\"byteLength\":360000}],\"accessors\":[{\"bufferView\":0,"
                       "\"componentType\":5126,\"count\":30000,\"type\":\"VEC3\"}],\"meshes\":[";
    for (int m = 0; m < 2000; ++m) many += std::string(m ? "," : "") + "{\"primitives\":[{\"attributes\":{\"POSITION\":0}}]}";
    many += "]}";
    const std::string bomb = Glb(many, std::string(360000, '\0'));
    const std::string big_uri(4'000'000, 'A');
    const std::string root = std::string(PLIVRA_SOURCE_DIR) + "/fuzz/corpus/import_gltf/";

    return {
        // How values are stored.
        {"data URI, 8-bit indices", {{"a.gltf", Indexed(DataUri(kQuad + kIdx8), 5121, kIdx8)}}, kQuadSuf},
        {"a .bin beside it, 16-bit indices", {{"a.gltf", Indexed("quad.bin", 5123, kIdx16)}, {"quad.bin", kQuad + kIdx16}}, kQuadSuf},
        {"a .bin in a subfolder, named with %20, 32-bit indices",
         {{"a.gltf", Indexed("sub%20dir/./quad.bin", 5125, kIdx32)}, {"sub dir/quad.bin", kQuad + kIdx32}}, kQuadSuf},
        {"a .bin reached through a .. that stays inside",
         {{"a.gltf", Indexed("d/../q.bin", 5125, kIdx32)}, {"q.bin", kQuad + kIdx32}, {"d/x", ""}}, kQuadSuf},
        {"binary container, no indices: 4 corners give one triangle",
         {{"a.glb", Glb(Doc("", 48, "", "", plain + "}"), kQuad)}}, "prim poly ( 0 0 0  1 0 0  1 1 0 )\r"},
        {"strided view of positions and normals",
         {{"a.gltf", Replace(Doc(DataUri(Interleaved() + kIdx8), 102,
                                 ",{\"buffer\":0,\"byteOffset\":96,\"byteLength\":6}",
                                 ",{\"bufferView\":0,\"byteOffset\":12,\"componentType\":5126,\"count\":4,\"type\":\"VEC3\"}"
                                 ",{\"bufferView\":1,\"componentType\":5121,\"count\":6,\"type\":\"SCALAR\"}",
                                 attrs + ",\"NORMAL\":1},\"indices\":2}"),
                             "\"byteLength\":48}", "\"byteLength\":96,\"byteStride\":24}")}},
         "prim shade ( 0 0 0 0 0 1  1 0 0 0 0 2  1 1 0 0 0 3 )\rprim shade ( 0 0 0 0 0 1  1 1 0 0 0 3  0 1 0.5 0 0 4 )\r"},
        {"triangle strip: the second triangle turns round",
         {{"a.gltf", Doc(DataUri(kQuad), 48, "", "", plain + ",\"mode\":5}")}},
         "prim poly ( 0 0 0  1 0 0  1 1 0 )\rprim poly ( 1 0 0  0 1 0.5  1 1 0 )\r"},
        {"triangle fan", {{"a.gltf", Doc(DataUri(kQuad), 48, "", "", plain + ",\"mode\":6}")}},
         "prim poly ( 1 0 0  1 1 0  0 0 0 )\rprim poly ( 1 1 0  0 1 0.5  0 0 0 )\r"},
        {"normalized UV bytes", {{"a.gltf", uv_doc(uv8, 5121)}}, uv_want},
        {"normalized UV shorts", {{"a.gltf", uv_doc(uv16, 5123)}}, uv_want},
        {"256 levels, brackets in strings not counted",
         {{"a.gltf", Replace(Indexed(DataUri(kQuad + kIdx8), 5121, kIdx8), "{\"version\":\"2.0\"}",
                             "{\"version\":\"2.0\",\"extras\":" + Deep(254, "\"[[[\\\"[[\\\\\"") + "}")}},
         kQuadSuf},
        // Sparse over the view: index byte 12 (the float 1's low byte, 0) and
        // the values from byte 36 ((0, 1, 0.5)) put corner 3 at corner 0.
        {"sparse accessor over its view",
         {{"a.gltf", Replace(Doc(DataUri(kQuad), 48, "", "", plain + "}"), "\"count\":4,",
                             "\"count\":4,\"sparse\":{\"count\":1,\"indices\":{\"bufferView\":0,\"byteOffset\":12,"
                             "\"componentType\":5121},\"values\":{\"bufferView\":0,\"byteOffset\":36}},")}},
         "prim poly ( 0 1 0.5  1 0 0  1 1 0 )\r"},
        {"sparse index past the count",
         {{"a.gltf", Replace(Doc(DataUri(kQuad), 48, "", "", plain + "}"), "\"count\":4,",
                             "\"count\":4,\"sparse\":{\"count\":1,\"indices\":{\"bufferView\":0,\"byteOffset\":14,"
                             "\"componentType\":5121},\"values\":{\"bufferView\":0}},")}},
         "accessor 0 names element 128 of 4", true},
        {"sparse values past the view",
         {{"a.gltf", Replace(Doc(DataUri(kQuad), 48, "", "", plain + "}"), "\"count\":4,",
                             "\"count\":4,\"sparse\":{\"count\":1,\"indices\":{\"bufferView\":0,"
                             "\"componentType\":5121},\"values\":{\"bufferView\":0,\"byteOffset\":40}},")}},
         "accessor 0 reaches beyond its buffer", true},

        // Files the reader must not follow out of the folder.
        {"a buffer up the tree", {{"a.gltf", file_doc("../../../../etc/passwd")}}, outside_msg, true},
        {"an absolute buffer path", {{"a.gltf", file_doc("/etc/passwd")}}, outside_msg, true},
        {"percent-encoded ..", {{"a.gltf", file_doc("sub/%2e%2E/%2e%2e/x.bin")}, {"sub/x.bin", kQuad}}, outside_msg, true},
        {"a scheme other than data:", {{"a.gltf", file_doc("file:///etc/passwd")}}, outside_msg, true},
        {"an escaped slash leading out", {{"a.gltf", file_doc("..\\u002f" + outside)}}, outside_msg, true},
        {"a link that leads outside", {{"a.gltf", file_doc("link.bin")}, {"link.bin", "->" + outside}}, outside_msg, true},
        {"an image up the tree",
         {{"a.gltf", Replace(Indexed(DataUri(kQuad + kIdx8), 5121, kIdx8), "\"buffers\"", "\"images\":[{\"uri\":\"../p.png\"}],\"buffers\"")}},
         "image 0 names a file outside the glTF's folder", true},
        {"a missing buffer file", {{"a.gltf", file_doc("none.bin")}}, "buffer 0 names a file that is not there", true},

        // Files that would crash, hang or expand.
        {"20,000 levels of arrays", {{"a.gltf", "{\"asset\":{\"version\":\"2.0\"},\"extras\":" + Deep(20000) + "}"}},
         "nests deeper than 256 levels", true},
        {"257 levels", {{"a.gltf", "{\"asset\":{\"version\":\"2.0\"},\"extras\":" + Deep(256) + "}"}}, "nests deeper than 256 levels", true},
        {"deep JSON chunk", {{"a.glb", Glb("{\"extras\":" + Deep(5000) + "}", "")}}, "nests deeper than 256 levels", true},
        {"2,000 meshes of one 30,000-corner accessor", {{"a.glb", bomb}},
         "expands to more than " + std::to_string(64 * bomb.size()) + " vertices", true},

        // Versions and extensions.
        {"glTF 1.0", {{"a.gltf", "{\"asset\":{\"version\":\"1.0\"},\"meshes\":{\"m\":{}}}"}}, "is glTF 1.0; only glTF 2.0 is read", true},
        {"glTF 1.0 without an asset", {{"a.gltf", "{\"buffers\":{\"b\":{}},\"meshes\":{}}"}}, "is glTF 1.0; only glTF 2.0 is read", true},
        {"binary glTF 1.0", {{"a.glb", Glb("{}", "", 1)}}, "is glTF 1.0; only glTF 2.0 is read", true},
        {"glTF 3.0", {{"a.gltf", "{\"asset\":{\"version\":\"3.0\"}}"}}, "is glTF 3.0; only glTF 2.0 is read", true},
        {"minVersion 2.1", {{"a.gltf", "{\"asset\":{\"version\":\"2.0\",\"minVersion\":\"2.1\"}}"}}, "needs glTF 2.1; only glTF 2.0 is read", true},
        {"meshopt", {{"a.gltf", Doc(DataUri(kQuad), 48, "", "", plain + "}", ",\"extensionsRequired\":[\"EXT_meshopt_compression\"]")}},
         "uses EXT_meshopt_compression, which is not read", true},
        {"Draco", {{"a.gltf", Doc(DataUri(kQuad), 48, "", "", plain + "}", ",\"extensionsRequired\":[\"KHR_materials_unlit\",\"KHR_draco_mesh_compression\"]")}},
         "uses KHR_draco_mesh_compression, which is not read", true},

        // Damage the library would report in its own terms, or echo at length.
        {"a data URI without base64", {{"a.gltf", Doc("data:,hello", 5, "", "", plain + "}")}}, "buffer 0 holds a data URI that is not base64", true},
        {"a data URI that is not base64", {{"a.gltf", Doc(DataUri(kQuad) + "!", 48, "", "", plain + "}")}},
         "buffer 0 holds a data URI that is not valid base64", true},
        {"a long data URI of the wrong length", {{"a.gltf", Doc("data:application/octet-stream;base64," + big_uri, 36, "", "", plain + "}")}},
         "buffer 0 holds 3000000 bytes in its data URI, but its byteLength is 36", true},
        {"a count of 1e400", {{"a.gltf", Replace(Doc(DataUri(kQuad), 48, "", "", plain + "}"), "\"count\":4", "\"count\":1e400")}},
         "accessor 0's count holds a number too large to read", true},
        {"an array as the whole file", {{"a.gltf", "[]"}}, "is not a glTF file: its JSON is not an object", true},
        {"bytes that are not UTF-8", {{"a.gltf", "{\"asset\":{\"version\":\"2.0\",\"generator\":\"\xC0\xAF\"}}"}},
         "asset's generator holds text that is not UTF-8 (byte 39)", true},
        {"a lone surrogate", {{"a.gltf", "{\"asset\":{\"version\":\"2.0\"},\"meshes\":[{\"name\":\"\\ud800\"}]}"}},
         "mesh 0's name holds text that is not UTF-8 (a lone surrogate)", true},
        {"JSON cut short", {{"a.gltf", "{\"asset\":{\"version\":\"2.0\"}"}}, "is not well-formed JSON: it ends too soon", true},
        {"a stray comma", {{"a.gltf", "{\"asset\":{\"version\":\"2.0\"},}"}}, "is not well-formed JSON at byte 27", true},
        {"a damaged index chunk (the library's std::out_of_range)", {{"a.glb", ReadFile(root + "damaged_index.glb")}},
         "is not a well-formed glTF file", true},
        {"a BIN chunk claiming more than is left", {{"a.glb", ReadFile(root + "bin_chunk_cut.glb")}},
         "has a chunk that runs past its end", true},
    };
}

TEST(ImportGltf, KnownAnswersAndHostileFiles) {
    TempDir outside_dir;
    WriteFile(outside_dir.Path("secret.bin"), kQuad + kIdx8);
    const std::string outside = outside_dir.Path("secret.bin");
    for (const TCase& c : Cases(outside)) {
        TempDir dir;
        for (const TFile& f : c.files) {
            std::filesystem::create_directories(std::filesystem::path(dir.Path(f.name)).parent_path());
            if (f.bytes.substr(0, 2) == "->")
                std::filesystem::create_symlink(f.bytes.substr(2), dir.Path(f.name));
            else
                WriteFile(dir.Path(f.name), f.bytes);
        }
        const std::string path = dir.Path(c.files[0].name);
        try {
            Shape shape(ImportShape(path));
            if (c.refused) {
                ADD_FAILURE() << c.what << ": accepted";
                continue;
            }
            WriteFile(dir.Path("want.suf"), "obj suf quad {\r" + c.want + "}\r");
            Shape want(VANE->LoadSuf(dir.Path("want.suf")));
            ASSERT_NE(want.get(), nullptr) << c.what;
            EXPECT_EQ(Dump(shape.get()), Dump(want.get())) << c.what;
        } catch (const TImportError& error) {
            EXPECT_TRUE(c.refused) << c.what << ": " << error.what();
            EXPECT_EQ(error.what(), c.want) << c.what;
        }
    }
}

// Without a folder (as the fuzzer reads), no file is ever opened.
TEST(ImportGltf, ReadsNoFileWithoutAFolder) {
    const std::string doc = Indexed("quad.bin", 5121, kIdx8);
    try {
        Shape shape(ImportGltf(doc, false, nullptr));
        ADD_FAILURE();
    } catch (const TImportError& error) {
        EXPECT_STREQ(error.what(), "buffer 0 names a file, which is not read here");
    }
}

}  // namespace
