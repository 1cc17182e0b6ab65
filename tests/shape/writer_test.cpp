#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "shape/probes.h"
#include "shape/state.h"
#include "shape/placed.h"
#include "shape/vane.h"
#include "tests/shape/test_util.h"

using test_util::Dump;
using test_util::ReadFile;
using test_util::Shape;
using test_util::TempDir;
using test_util::WriteFile;

namespace {

// cube: a poly triangle and a shade triangle, both with attribute red.
constexpr char kCube[] =
    "obj suf cube {\r\n"
    "atr red\r\n"
    "prim poly (\r\n"
    "    0 0 0\r\n"
    "    1 0 0\r\n"
    "    0 1 0\r\n"
    ")\r\n"
    "prim shade (\r\n"
    "    0 0 1  0 0 1\r\n"
    "    1 0 1  0 0 1\r\n"
    "    0 1 1  0 0 1\r\n"
    ")\r\n"
    "}\r\n";

// A file in a loose hand: LF line ends, comments, passed-over statements,
// other spellings of numbers, a polygon before the first "atr", an empty
// object and an empty polygon, all four kinds.
constexpr char kLoose[] =
    "/* written by hand */\n"
    "obj suf first {\n"
    "  prim poly ( 1.0 +2 3e0  4. .5 -6E-1  0.00001 1e16 -0 )\n"
    "  atr red  atr red\n"
    "  prim shade ( 1 2 3 0 0 1 )\n"
    "  comment 1 2 3\n"
    "  prim uvpoly ( )\n"
    "  atr blue\n"
    "  prim uvshade ( 1 2 3 4 5 6 7 8 )\n"
    "}\n"
    "obj suf empty { }\n"
    "obj suf second {\n"
    "  prim uvpoly ( 123456789012345678 0.333333333333333333 1.5e20 0.25 0.0001 )\n"
    "}\n";
// How the writer puts it: the attribute selected last carries over to the
// next object's first polygon, which therefore gets an "atr" line.
constexpr char kLooseWritten[] =
    "obj suf first {\r\n"
    "prim poly (\r\n"
    "    1 2 3\r\n"
    "    4 0.5 -0.6\r\n"
    "    1E-5 1E16 0\r\n"
    ")\r\n"
    "atr red\r\n"
    "prim shade (\r\n"
    "    1 2 3  0 0 1\r\n"
    ")\r\n"
    "prim uvpoly (\r\n"
    ")\r\n"
    "atr blue\r\n"
    "prim uvshade (\r\n"
    "    1 2 3  4 5 6  7 8\r\n"
    ")\r\n"
    "}\r\n"
    "obj suf empty {\r\n"
    "}\r\n"
    "obj suf second {\r\n"
    "atr blue\r\n"
    "prim uvpoly (\r\n"
    "    1.23456789012346E17 0.333333333333333 1.5E20  0.25 0.0001\r\n"
    ")\r\n"
    "}\r\n";

class SaveSufTest : public ::testing::Test {
protected:
    void SetUp() override { VANE_SourceInitialize(); }

    TVANE_Object* Load(std::string_view bytes) { return files_.Load(bytes); }
    std::string Save(TVANE_Object* shape) {
        EXPECT_TRUE(VANE->SaveSuf(target_, shape)) << SufErrorMessage;
        EXPECT_EQ(SufErrorMessage, "");
        return ReadFile(target_);
    }
    // Names in the folder other than the source and the target: temporary
    // files left behind.
    std::vector<std::string> Strays() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.Root())) {
            std::string name = entry.path().filename().string();
            if (name != "in.suf" && name != "out.suf") names.push_back(name);
        }
        return names;
    }

    test_util::ShapeFiles files_;
    const TempDir& dir_ = files_.dir;
    std::string target_ = dir_.Path("out.suf");
};

TEST_F(SaveSufTest, WritesTheExactLayout) {
    EXPECT_EQ(Save(Load(kCube)), kCube);
    EXPECT_EQ(Save(Load(kLoose)), kLooseWritten);
}

TEST_F(SaveSufTest, RoundTripKeepsBytesAndShape) {
    for (const char* source : {kCube, kLoose}) {
        TVANE_Object* first = Load(source);
        std::string written = Save(first);
        TVANE_Object* second = Load(written);
        EXPECT_EQ(Save(second), written);
        if (source == kCube) {
            EXPECT_EQ(Dump(second), Dump(first));
        }
        // A copy is written as its source.
        Shape copy(VANE->CopySuf(first));
        EXPECT_EQ(Save(copy.get()), written);
    }
}

TEST_F(SaveSufTest, EmptyListGivesAnEmptyFile) {
    WriteFile(target_, "old content");
    EXPECT_EQ(Save(nullptr), "");
}

TEST_F(SaveSufTest, ReplacesTheTargetKeepingItsPermissions) {
    WriteFile(target_, "old content that is longer than the new one");
    ASSERT_EQ(chmod(target_.c_str(), 0640), 0);
    EXPECT_EQ(Save(Load(kCube)), kCube);
    struct stat st {};
    ASSERT_EQ(stat(target_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_TRUE(Strays().empty());
}

TEST_F(SaveSufTest, SavingThroughALinkReplacesTheFileItPointsTo) {
    const std::string real = dir_.Path("real.suf");
    WriteFile(real, "old");
    std::filesystem::create_symlink(real, target_);
    EXPECT_EQ(Save(Load(kCube)), kCube);
    EXPECT_TRUE(std::filesystem::is_symlink(target_));
    EXPECT_EQ(ReadFile(real), kCube);
}

TEST_F(SaveSufTest, FailureLeavesTheTargetAndNoTemporaryFile) {
    TVANE_Object* cube = Load(kCube);
    WriteFile(target_, "keep me");

    // A value that would be written beyond the double range is refused.
    Shape huge(VANE->CopySuf(cube));
    huge->Polygons->Vertices->Next->Y = -4.294967194e315L;
    EXPECT_FALSE(VANE->SaveSuf(target_, huge.get()));
    EXPECT_EQ(SufErrorMessage, "ファイル「" + target_ +
                                   "」に保存できません（値 -4.294967194E+315 は倍精度浮動小数点数の範囲を超えています）。");
    EXPECT_EQ(ReadFile(target_), "keep me");

    struct Case {
        std::string target;
        std::string cause;
    };
    std::filesystem::create_directory(dir_.Path("folder"));
    const Case cases[] = {
        {dir_.Path("missing/out.suf"), "ファイルまたはフォルダーがありません"},
        {dir_.Path("folder"), "フォルダーです"},
    };
    for (const Case& c : cases) {
        SufErrorMessage = "stale";
        EXPECT_FALSE(VANE->SaveSuf(c.target, cube));
        EXPECT_EQ(SufErrorMessage, "ファイル「" + c.target + "」に保存できません（" + c.cause + "）。");
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir_.Path("folder")));
    EXPECT_EQ(Strays(), std::vector<std::string>{"folder"});
}

// SaveSufPlaced with the shape's own order, its lines made ahead.
bool SavePlacedAsListed(const std::string& name, const TVANE_Object* shape) {
    std::vector<TPlacedObject> objects;
    std::vector<TPlacedPolygon> polygons;
    for (const TVANE_Object* obj = shape; obj != nullptr; obj = obj->Next) {
        objects.push_back({obj, 0});
        for (const TVANE_Polygon* poly = obj->Polygons; poly != nullptr; poly = poly->Next, ++objects.back().Polygons)
            polygons.push_back({poly, static_cast<std::uint32_t>(polygons.size()), 0, false});
    }
    TSufVertexLines lines(shape);
    lines.FormatAside();
    lines.Finish();
    return SaveSufPlaced(name, lines, objects, polygons);
}

// A large shape is written in pieces formatted on several threads. Pieces
// of one, two and three polygons start and end inside objects, between and
// at attribute changes and at the empty object; the bytes are those of one
// pass, and of two bad values the first in the file is the one named. The
// same holds for a save from lines made ahead, where the pieces holding a
// bad value are made again in place.
TEST_F(SaveSufTest, PiecesOnSeveralThreadsGiveTheBytesOfOnePass) {
    TVANE_Object* loose = Load(kLoose);
    TVANE_Object* cube = Load(kCube);
    TVANE_Object* hollow = Load("obj suf hollow {\r\nprim poly (\r\n)\r\n}\r\n");
    Shape bad(VANE->CopySuf(loose));
    bad->Polygons->Vertices->Next->Z = -4.294967194e315L;  // polygon 1
    bad->Next->Next->Polygons->Vertices->U = 1e309L;       // the last one
    auto save = [&](std::size_t pieces) {
        SufParallelPolygons = pieces == 0 ? 32768 : 1;
        SufPiecePolygons = pieces == 0 ? 4096 : pieces;
        std::string out = Save(loose) + Save(cube);
        EXPECT_FALSE(VANE->SaveSuf(target_, bad.get()));
        out += SufErrorMessage;
        std::string placed;
        for (const TVANE_Object* shape : {loose, cube}) {
            EXPECT_TRUE(SavePlacedAsListed(target_, shape));
            placed += ReadFile(target_);
        }
        // No vertex at all: no line to make.
        EXPECT_TRUE(SavePlacedAsListed(target_, hollow));
        EXPECT_EQ(ReadFile(target_), Save(hollow));
        EXPECT_FALSE(SavePlacedAsListed(target_, bad.get()));
        EXPECT_EQ(placed + SufErrorMessage, out);
        return out;
    };
    const std::string one_pass = save(0);
    EXPECT_NE(one_pass.find("値 -4.294967194E+315"), std::string::npos);
    for (std::size_t pieces : {1, 2, 3}) EXPECT_EQ(save(pieces), one_pass) << pieces;
    SufParallelPolygons = 32768;
    SufPiecePolygons = 4096;
}

// A shape read from a file written partly as the writer writes it: the
// lines of polygons 1, 4, 8, 10 and 12 are; 2 has "1.50", 3 a comment
// between its lines, 5 LF line ends, 6 "1e-08", 7 its values on the "prim"
// line, 9 none, and 11 values that grow when written ("1e5").
constexpr char kPartlyWritten[] =
    "obj suf a {\r\natr m\r\n"
    "prim shade (\r\n    0 0 0  0 0 1\r\n    1 0 0  0 0 1\r\n    0 1 0  0 0 1\r\n)\r\n"
    "prim poly (\r\n    1.50 0 0\r\n    2 0 0\r\n    2 1 0\r\n)\r\n"
    "prim poly (\r\n    0 0 1\r\n/* between */    1 0 1\r\n    0 1 1\r\n)\r\n"
    "}\r\nobj suf b {\r\n"
    "prim uvpoly (\r\n    0 0 0  0.25 0.5\r\n    1 0 0  1 0.5\r\n    0 1 0  0.25 1\r\n)\r\n"
    "prim poly (\n    0 0 2\n    1 0 2\n    0 1 2\n)\n"
    "prim poly (\r\n    1e-08 0 3\r\n    1 0 3\r\n    0 1 3\r\n)\r\n"
    "prim poly ( 0 0 4  1 0 4  0 1 4 )\r\n"
    "prim poly (\r\n    -0.0001 1E20 -2.5E-5\r\n    1 0 5\r\n    0 1 5\r\n)\r\n"
    "prim poly (\r\n)\r\n"
    "prim poly (\r\n    0 0 7\r\n    1 0 7\r\n    0 1 7\r\n)\r\n"
    "prim poly (\r\n    1e5 2e5 3e5\r\n    4e5 5e5 6e5\r\n    7e5 8e5 9e5\r\n)\r\n"
    "prim poly (\r\n    0 0 8\r\n    1 0 8\r\n    0 1 8\r\n)\r\n"
    "}\r\n";

// Placed with the objects backwards and every polygon's corners from the
// second on, backwards in every other polygon, from lines made with Source
// (or, not MADE, with none made ahead: each made in place from its record).
std::string SaveBackwards(const std::string& name, const TVANE_Object* shape, TSufSource source,
                          std::size_t& copied, bool made = true) {
    std::vector<std::vector<TPlacedPolygon>> of_object;
    std::vector<TPlacedObject> objects;
    std::uint32_t index = 0;
    for (const TVANE_Object* obj = shape; obj != nullptr; obj = obj->Next) {
        objects.insert(objects.begin(), {obj, 0});
        of_object.emplace(of_object.begin());
        for (const TVANE_Polygon* poly = obj->Polygons; poly != nullptr; poly = poly->Next, ++index) {
            of_object.front().push_back({poly, index, 1, index % 2 == 1});
            ++objects.front().Polygons;
        }
    }
    std::vector<TPlacedPolygon> polygons;
    for (const auto& placed : of_object) polygons.insert(polygons.end(), placed.begin(), placed.end());
    TSufVertexLines lines(shape, std::move(source));
    if (made) {
        lines.FormatAside();
        lines.Finish();
    }
    copied = lines.CopiedPolygons();
    EXPECT_TRUE(SaveSufPlaced(name, lines, objects, polygons)) << SufErrorMessage;
    return ReadFile(name);
}

// Lines that the file holds as the writer writes them are copied from it,
// the others formatted, into the same bytes whatever the pieces; a file
// changed since it was read is not copied from.
TEST_F(SaveSufTest, PlacedSaveCopiesFromTheFileTheLinesWrittenAsTheWriterWritesThem) {
    const std::string path = dir_.Path("in.suf");
    WriteFile(path, kPartlyWritten);
    const std::size_t core_bytes = SufCoreReadBytes, piece_bytes = SufReadPieceBytes;
    SufCoreReadBytes = 0;
    for (const std::size_t read_piece : {16, 65536}) {
        SufReadPieceBytes = read_piece;
        TSufSource source;
        Shape shape(LoadSufKeepingSource(path, source));
        ASSERT_NE(shape, nullptr) << SufErrorMessage;
        ASSERT_EQ(source.FirstValue.size(), 12u);
        for (const std::size_t pieces : {1, 2, 4096}) {
            SufPiecePolygons = pieces;
            std::size_t copied = 0, none = 0;
            const std::string formatted = SaveBackwards(target_, shape.get(), {}, none);
            EXPECT_EQ(SaveBackwards(target_, shape.get(), {}, none, false), formatted) << pieces;
            EXPECT_EQ(SaveBackwards(target_, shape.get(), source, copied), formatted) << read_piece << " " << pieces;
            EXPECT_EQ(none, 0u);
            // In a piece of 2, 11 grows past where 12's lines stand: the
            // piece is formatted whole. Further on in a piece, the text left
            // out before it makes room.
            EXPECT_EQ(copied, pieces == 2 ? 4u : 5u) << pieces;
        }
        // The same size, but another time of change: formatted.
        std::string changed = kPartlyWritten;
        changed.replace(changed.find("0.25 0.5"), 8, "0.75 0.5");
        WriteFile(path, changed);
        struct stat file {};
        ASSERT_EQ(stat(path.c_str(), &file), 0);
        const timespec times[2] = {file.st_atim, {file.st_mtim.tv_sec + 10, file.st_mtim.tv_nsec}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        SufPiecePolygons = 1;
        std::size_t copied = 0, none = 0;
        EXPECT_EQ(SaveBackwards(target_, shape.get(), source, copied), SaveBackwards(target_, shape.get(), {}, none));
        EXPECT_EQ(copied, 0u);
        WriteFile(path, kPartlyWritten);
    }
    // Read on one core: no places noted, nothing copied.
    SufCoreReadBytes = core_bytes;
    SufReadPieceBytes = piece_bytes;
    SufPiecePolygons = 4096;
    TSufSource source;
    Shape shape(LoadSufKeepingSource(path, source));
    EXPECT_TRUE(source.FirstValue.empty());
}

// The text is written batch by batch as it is made: a bad value in a later
// batch, after earlier ones went to the temporary file, still leaves the
// target as it was and no temporary file, and names the first bad value.
TEST_F(SaveSufTest, AFailureAfterBatchesWereWrittenLeavesTheTarget) {
    std::string text = "obj suf strip {\r\n";
    for (int t = 0; t < 60; ++t) text += "prim poly ( " + std::to_string(t) + " 0 0  1 0 0  0 1 0 )\r\n";
    text += "}\r\n";
    Shape strip(VANE->CopySuf(Load(text)));
    TVANE_Polygon* poly = strip->Polygons;
    for (int t = 0; t < 40; ++t) poly = poly->Next;
    poly->Vertices->Y = -4.294967194e315L;          // polygon 41
    poly->Next->Next->Vertices->Z = 1e309L;         // polygon 43
    WriteFile(target_, "keep me");
    SufParallelPolygons = 1;
    SufPiecePolygons = 1;
    EXPECT_FALSE(VANE->SaveSuf(target_, strip.get()));
    SufParallelPolygons = 32768;
    SufPiecePolygons = 4096;
    EXPECT_NE(SufErrorMessage.find("値 -4.294967194E+315"), std::string::npos) << SufErrorMessage;
    EXPECT_EQ(ReadFile(target_), "keep me");
    EXPECT_EQ(Strays(), std::vector<std::string>{});
}

// Object "o" with one polygon of attribute `attr`, or object `name` with a
// polygon of attribute "a".
TVANE_Object* NamedShape(const std::string& object, const std::string& attr) {
    TVANE_Object* obj = VANE->NewSufObject(object);
    TVANE_Polygon* poly = VANE->NewSufPolygon(attr, kKindPoly, obj);
    VANE->InsertSufPolygon(obj, poly);
    return obj;
}

TEST_F(SaveSufTest, RefusesANameThatWouldReadBackAsAnother) {
    WriteFile(target_, "keep me");
    struct Case {
        std::string object, attr;
        std::string refused;  // how the message names it
    };
    const Case cases[] = {
        // Read as "ab/*c", which would open a comment that swallows the rest.
        {"ab/*c", "a", "オブジェクト名「ab/*c」"},
        {"o", "x/*y*/z", "属性名「x/*y*/z」"},
        {"o", "two words", "属性名「two words」"},
        {"a(b", "a", "オブジェクト名「a(b」"},
        {"o", "tab\t", "属性名「tab\t」"},
        // The message is text: a Shift-JIS name shows decoded.
        {"\x83\x58 \x83\x55", "a", "オブジェクト名「ス ザ」"},
    };
    for (const Case& c : cases) {
        Shape shape(NamedShape(c.object, c.attr));
        EXPECT_FALSE(VANE->SaveSuf(target_, shape.get())) << c.refused;
        EXPECT_EQ(SufErrorMessage, "ファイル「" + target_ + "」に保存できません（" + c.refused +
                                       "は区切り文字か注釈の記号を含むため、読み戻すと同じ名前になりません）。");
    }
    EXPECT_EQ(ReadFile(target_), "keep me");
    EXPECT_TRUE(Strays().empty());
}

// Every name of up to three bytes from a few that matter to the tokenizer,
// and some longer ones: the save is refused exactly when the name would not
// read back as itself, both as an object name and as an attribute name.
TEST_F(SaveSufTest, SavesExactlyTheNamesThatReadBack) {
    const std::string alphabet = "a/*( ";
    std::vector<std::string> names{""};
    for (std::size_t begin = 0, length = 1; length <= 3; ++length) {
        const std::size_t end = names.size();
        for (std::size_t i = begin; i < end; ++i) {
            for (char c : alphabet) names.push_back(names[i] + c);
        }
        begin = end;
    }
    for (const char* name : {"*/a/*", "*/*/*", "a/*b*/c", "*/a(/*", "ab\x82[", "a\rb", "a\x1a"}) {
        names.emplace_back(name);
    }
    for (std::size_t i = 1; i < names.size(); ++i) {
        const std::string& name = names[i];
        Shape shape(NamedShape(name, name));
        const bool accepted = VANE->SaveSuf(target_, shape.get());
        if (!accepted) {
            // What the reader makes of the name when it is written anyway.
            WriteFile(target_, "obj suf " + name + " {\r\natr " + name + "\r\nprim poly (\r\n)\r\n}\r\n");
        }
        Shape reread(VANE->LoadSuf(target_));
        const bool same = reread.get() != nullptr && reread->Name == name && reread->Polygons != nullptr &&
                          reread->Polygons->Attribute != nullptr &&
                          reread->Polygons->Attribute->Name == name && reread->Next == nullptr;
        EXPECT_EQ(accepted, same) << testing::PrintToString(name);
    }
}

}  // namespace
