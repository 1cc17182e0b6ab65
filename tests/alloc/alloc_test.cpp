// Exhausted memory at every allocation in turn: the test binary replaces the
// global operator new by one that fails at the n-th call, and runs each
// operation with n = 1, 2, ... until a run succeeds. Every failing run must
// give the stated message, return nothing, leave no record behind and leave
// the target of a save untouched.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <new>
#include <regex>
#include <set>
#include <string>

#include "shape/probes.h"
#include "shape/state.h"
#include "shape/vane.h"
#include "tests/shape/test_util.h"

namespace {

long fail_countdown = 0;  // 0: never fail; otherwise the calls left until one fails
long live_blocks = 0;     // operator new blocks not yet deleted

// Fails the n-th allocation from now on (the first is n = 1).
void FailAt(long n) { fail_countdown = n; }
// Stops failing; true when the armed failure did happen.
bool Disarm() {
    bool failed = fail_countdown == 0;
    fail_countdown = 0;
    return failed;
}

}  // namespace

// The blocks come from malloc, so they go back to free.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    if (fail_countdown > 0 && --fail_countdown == 0) throw std::bad_alloc();
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    ++live_blocks;
    return p;
}
void operator delete(void* p) noexcept {
    if (p == nullptr) return;
    --live_blocks;
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
// Arrays too (the reader's buffer), also where a sanitizer runtime would
// otherwise take them past the count.
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }
#pragma GCC diagnostic pop

namespace {

using test_util::ReadFile;
using test_util::Shape;
using test_util::ShapeFiles;
using test_util::WriteFile;

// Two objects with names and attribute names too long for a string's inner
// buffer (so copying them allocates); the second object selects the first
// one's attribute again (a shared record) and adds one of its own. All four
// kinds.
constexpr char kShape[] =
    "obj suf first_object_with_a_long_name {\r\n"
    "atr attribute_red_with_a_long_name\r\n"
    "prim poly ( 0 0 0  1 0 0  0 1 0 )\r\n"
    "prim shade ( 0 0 1  0 0 1  1 0 1  0 0 1 )\r\n"
    "}\r\n"
    "obj suf second_object_with_a_long_name {\r\n"
    "prim uvpoly ( 0 0 2  0.5 0.5 )\r\n"
    "atr attribute_blue_with_a_long_name\r\n"
    "prim uvshade ( 1 1 1  0 1 0  0.25 0.75  2 2 2  0 1 0  1 1 )\r\n"
    "atr attribute_red_with_a_long_name\r\n"
    "prim poly ( 3 3 3 )\r\n"
    "}\r\n";
constexpr int kLines = 12;
constexpr long kMaxRuns = 100000;

class AllocTest : public ::testing::Test {
protected:
    void SetUp() override {
        VANE_SourceInitialize();
        // Messages then fit the capacity the string already has, so they do
        // not count as blocks left behind.
        SufErrorMessage.reserve(1024);
    }
    ShapeFiles files_;
};

TEST_F(AllocTest, LoadSufReportsTheLineAndReleasesWhatItBuilt) {
    const std::string path = files_.dir.Path("shape.suf");
    WriteFile(path, kShape);
    const std::regex message("([0-9]+)行目でメモリーが枯渇しました。");
    long n = 1;
    for (; n < kMaxRuns; ++n) {
        const long before = live_blocks;
        FailAt(n);
        TVANE_Object* shape = VANE->LoadSuf(path);
        const bool failed = Disarm();
        if (!failed) {
            EXPECT_NE(shape, nullptr);
            EXPECT_EQ(SufErrorMessage, "");
            VANE->FreeSuf(shape);
            EXPECT_EQ(live_blocks, before);
            break;
        }
        EXPECT_EQ(live_blocks, before) << "run " << n;
        EXPECT_EQ(shape, nullptr) << "run " << n;
        EXPECT_FALSE(SufFileOpen);
        std::smatch match;
        ASSERT_TRUE(std::regex_match(SufErrorMessage, match, message)) << SufErrorMessage;
        EXPECT_LE(std::stoi(match[1]), kLines);
    }
    // One allocation per object, attribute and long name, and one block for
    // the polygons and one for the vertices.
    EXPECT_GT(n, 10);
    // The first block holds the file's content, before any line was read.
    FailAt(1);
    EXPECT_EQ(VANE->LoadSuf(path), nullptr);
    Disarm();
    EXPECT_EQ(SufErrorMessage, "0行目でメモリーが枯渇しました。");
}

// The text of object "sheet" with HEAD after its first line and COUNT
// triangles.
std::string Sheet(const std::string& head, int count) {
    std::string text = "obj suf sheet {\r\n" + head;
    for (int t = 0; t < count; ++t) text += "prim poly ( 0 0 0  1 0 0  0 1 0 )\r\n";
    return text + "}\r\n";
}

// Loads PATH with memory running out at every allocation in turn until a
// load no longer runs out: each failed load must give the message naming
// its line and leave no block behind. The lines named.
std::set<int> LinesOfFailedLoads(const std::string& path) {
    const std::regex message("([0-9]+)行目でメモリーが枯渇しました。");
    std::set<int> lines;
    for (long n = 1; n < kMaxRuns; ++n) {
        const long before = live_blocks;
        FailAt(n);
        TVANE_Object* shape = VANE->LoadSuf(path);
        if (!Disarm()) {
            EXPECT_NE(shape, nullptr);
            VANE->FreeSuf(shape);
            EXPECT_EQ(live_blocks, before);
            break;
        }
        EXPECT_EQ(shape, nullptr) << "run " << n;
        EXPECT_EQ(live_blocks, before) << "run " << n;
        std::smatch match;
        if (!std::regex_match(SufErrorMessage, match, message)) {
            ADD_FAILURE() << SufErrorMessage;
            break;
        }
        lines.insert(std::stoi(match[1]));
    }
    return lines;
}

// Enough vertices for several blocks: memory running out when the next block
// is needed must release the records of the full ones too.
TEST_F(AllocTest, LoadSufReleasesEveryBlockWhenALaterOneFails) {
    const std::string path = files_.dir.Path("large.suf");
    WriteFile(path, Sheet("", 200));
    const std::set<int> lines = LinesOfFailedLoads(path);
    ASSERT_FALSE(lines.empty());
    // Besides the file and the first records, later blocks ran out too:
    // failures were reported on lines well into the file.
    EXPECT_GT(*lines.rbegin(), 50);
}

// Read in pieces, as on several cores: memory running out in a piece's
// tokens, a window or a record gives the message and releases everything.
TEST_F(AllocTest, LoadSufInPiecesReleasesEverythingItBuilt) {
    const std::string path = files_.dir.Path("pieces.suf");
    WriteFile(path, Sheet("/* a comment\r\nover lines */ atr red\r\n", 100));
    const std::size_t core_bytes = SufCoreReadBytes, piece_bytes = SufReadPieceBytes;
    SufCoreReadBytes = 0;
    SufReadPieceBytes = 40;
    const std::set<int> lines = LinesOfFailedLoads(path);
    SufCoreReadBytes = core_bytes;
    SufReadPieceBytes = piece_bytes;
    ASSERT_FALSE(lines.empty());
    EXPECT_GT(*lines.rbegin(), 50);
    EXPECT_LE(*lines.rbegin(), 104);
}

TEST_F(AllocTest, CopySufReleasesEverythingItBuilt) {
    TVANE_Object* source = files_.Load(kShape);
    ASSERT_NE(source, nullptr);
    const std::set<std::string> messages = {
        "オブジェクトfirst_object_with_a_long_name作成中にメモリーが枯渇しました。",
        "オブジェクトsecond_object_with_a_long_name作成中にメモリーが枯渇しました。",
        "オブジェクトfirst_object_with_a_long_nameのポリゴン作成中にメモリーが枯渇しました。",
        "オブジェクトsecond_object_with_a_long_nameのポリゴン作成中にメモリーが枯渇しました。",
        "頂点データ作成中にメモリーが枯渇しました。",
    };
    std::set<std::string> seen;
    long n = 1;
    for (; n < kMaxRuns; ++n) {
        const long before = live_blocks;
        SufErrorMessage.clear();
        FailAt(n);
        TVANE_Object* copy = VANE->CopySuf(source);
        const bool failed = Disarm();
        if (!failed) {
            ASSERT_NE(copy, nullptr);
            {
                // Copied vertices are made afresh, so they are not marked as read.
                std::string expected = test_util::Dump(source);
                for (std::size_t at; (at = expected.find(" m1")) != std::string::npos;) {
                    expected[at + 2] = '0';
                }
                EXPECT_EQ(test_util::Dump(copy), expected);
            }
            VANE->FreeSuf(copy);
            EXPECT_EQ(live_blocks, before);
            break;
        }
        EXPECT_EQ(live_blocks, before) << "run " << n;
        EXPECT_EQ(copy, nullptr) << "run " << n;
        EXPECT_EQ(messages.count(SufErrorMessage), 1u) << "run " << n << ": " << SufErrorMessage;
        seen.insert(SufErrorMessage);
    }
    EXPECT_EQ(seen, messages);  // every constructor failed at some point
}

TEST_F(AllocTest, SaveSufFailsCleanlyAndLeavesTheTarget) {
    TVANE_Object* source = files_.Load(kShape);
    ASSERT_NE(source, nullptr);
    const std::string target = files_.dir.Path("out.suf");
    const std::string expected =
        "ファイル「" + target + "」に保存できません（メモリーが枯渇しました）。";
    long n = 1;
    for (; n < kMaxRuns; ++n) {
        WriteFile(target, "keep me");
        const long before = live_blocks;
        FailAt(n);
        const bool saved = VANE->SaveSuf(target, source);
        const bool failed = Disarm();
        EXPECT_EQ(live_blocks, before) << "run " << n;
        if (!failed) {
            EXPECT_TRUE(saved) << SufErrorMessage;
            break;
        }
        EXPECT_FALSE(saved);
        EXPECT_EQ(SufErrorMessage, expected) << "run " << n;
        EXPECT_EQ(ReadFile(target), "keep me") << "run " << n;
        int files = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(files_.dir.Root())) {
            ++files;
        }
        EXPECT_EQ(files, 2) << "a temporary file was left behind in run " << n;
    }
    EXPECT_GT(n, 1);
    // The run that got all its memory wrote the whole shape.
    const std::string again = files_.dir.Path("again.suf");
    ASSERT_TRUE(VANE->SaveSuf(again, source));
    EXPECT_EQ(ReadFile(target), ReadFile(again));
}

}  // namespace
