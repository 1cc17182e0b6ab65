#include <gtest/gtest.h>
#include <unistd.h>

#include <cfloat>
#include <charconv>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "shape/errors.h"
#include "shape/probes.h"
#include "shape/state.h"
#include "shape/vane.h"
#include "shape/probes.h"
#include "tests/shape/test_util.h"

using test_util::Dump;
using test_util::Extents;
using test_util::Shape;
using test_util::TempDir;
using test_util::WriteFile;

namespace {

// 2
// | \      one triangle "a", no attribute
// 0---1
constexpr char kTriangle[] =
    "obj suf a {\r\n"
    "prim poly (\r\n"
    "0 0 0\r\n"
    "1 0 0\r\n"
    "0 1 0\r\n"
    ")\r\n"
    "}\r\n";
constexpr char kTriangleDump[] =
    "obj 'a'\n"
    " prim 0 marked 1 atr -\n"
    "  0 0 0 0 0 0 0 0 m1\n"
    "  1 0 0 0 0 0 0 0 m1\n"
    "  0 1 0 0 0 0 0 0 m1\n";

// Two objects selecting attribute "red"; object b's second polygon comes
// after its "}" and before the next "obj", one of each kind.
constexpr char kKinds[] =
    "obj suf a {\r"
    "atr red\r"
    "prim shade ( 1 2 3  4 5 6 )\r"
    "}\r"
    "obj suf b {\r"
    "prim uvpoly ( -1 -2 -3  7 8 )\r"
    "atr red\r"
    "prim uvshade ( 1 1 1  2 2 2  3 3 )\r"
    "}\r"
    "mystery 1 2 3\r"
    "prim cone ( 5 5 5 )\r";

class LoadSufTest : public ::testing::Test {
protected:
    void SetUp() override { VANE_SourceInitialize(); }

    TVANE_Object* Load(std::string_view bytes) { return files_.Load(bytes); }
    // The message of the conversion error that loading `bytes` raises.
    std::string ConvertError(std::string_view bytes) {
        WriteFile(path_, bytes);
        try {
            Shape s(VANE->LoadSuf(path_));
        } catch (const SufConvertError& e) {
            return e.what();
        }
        return "(no conversion error)";
    }

    test_util::ShapeFiles files_;
    const TempDir& dir_ = files_.dir;
    std::string path_ = dir_.Path("in.suf");
};

TEST(IsTokenDelimiter, ControlBytesBlankAndTenPunctuationMarks) {
    const std::string ten = ",(){}[]`\"'";
    for (int c = 0; c < 256; ++c) {
        bool expected = c <= 32 || ten.find(static_cast<char>(c)) != std::string::npos;
        EXPECT_EQ(VANE->IsTokenDelimiter(static_cast<unsigned char>(c)), expected) << c;
    }
}

// The file is read through a window that is filled again as reading goes
// on; these sizes cut words, blank runs, CR LF pairs and values at every
// place of the small files below, the last one holds them whole.
constexpr std::size_t kWindowSizes[] = {1, 2, 3, 5, 8, std::size_t{1} << 20};

// Sets SufWindowBytes for one scope.
struct WindowSize {
    explicit WindowSize(std::size_t bytes) { SufWindowBytes = bytes; }
    ~WindowSize() { SufWindowBytes = std::size_t{1} << 20; }
    WindowSize(const WindowSize&) = delete;
    WindowSize& operator=(const WindowSize&) = delete;
};

// What loading the file gives: the shape's dump and the message, or the
// exception's text, and the line the reader stopped at.
std::string LoadOutcome(const std::string& path) {
    std::string out;
    try {
        Shape s(VANE->LoadSuf(path));
        out = Dump(s.get()) + SufErrorMessage;
    } catch (const SufConvertError& e) {
        out = e.what();
    }
    return out + " at line " + std::to_string(LineNumber);
}

// Words and tokens of `bytes`, each followed by "@" and LineNumber after it.
// The same for every window size, or the sizes that differ are named.
std::string Split(std::string_view bytes, bool tokens) {
    TempDir dir;
    std::string path = dir.Path("w.suf");
    WriteFile(path, bytes);
    std::string first;
    for (std::size_t window : kWindowSizes) {
        WindowSize size(window);
        VANE_SourceInitialize();
        std::string out;
        for (int guard = 0; guard < 100; ++guard) {
            std::string w = tokens ? VANE->ReadToken(path) : VANE->ReadWord(path);
            out += "[" + w + "]@" + std::to_string(LineNumber) + " ";
            if (w.empty()) break;
        }
        VANE_SourceInitialize();
        if (first.empty()) first = out;
        if (out != first) return "window " + std::to_string(window) + ": " + out;
    }
    return first;
}

TEST(ReadWord, SplitsAfterTheDelimiterAndCountsLines) {
    struct Case {
        const char* bytes;
        const char* words;
    };
    const Case cases[] = {
        {"obj suf a {\r", "[obj ]@1 [suf ]@1 [a ]@1 [{]@1 []@1 "},
        // A fresh line that begins with blanks gives one blank first.
        {"  x\r\n  y", "[ ]@1 [x]@1 [ ]@2 [y]@2 []@2 "},
        {"1,2)(3", "[1,]@1 [2)]@1 [(]@1 [3]@1 []@1 "},
        {"\"q\"'", "[\"]@1 [q\"]@1 [']@1 []@1 "},
        // LF separates words inside a line and, for counting, ends a line.
        {"a\nb\n\nc\n", "[a\n]@1 [b\n]@2 [c]@4 []@4 "},
        {"a\r\rb\r\n\nc", "[a]@1 [b]@3 [\n]@4 [c]@5 []@5 "},
        // Trailing blank lines are read before the end is found.
        {"a\r\r\r", "[a]@1 []@3 "},
        {"a\n\n", "[a\n]@1 []@2 "},
        // The LF of a CR LF that ends the file begins no line, wherever the
        // window cuts the pair.
        {"a\nb\r\n", "[a\n]@1 [b]@2 []@2 "},
        {"", "[]@0 "},
        // Byte 26 ends the file.
        {"a b\x1a" "c\rd", "[a ]@1 [b]@1 []@1 "},
        // Blanks that end a line are no part of its words after the first.
        {"ab  \rx yz \t\r\n  w  \n", "[ab ]@1 [x ]@2 [yz]@2 [ ]@3 [w]@3 []@3 "},
        {"\n\n  x\n\n", "[\n]@1 [x]@3 []@4 "},
        // Bytes of 128 and above are word bytes; a delimiter byte cuts a name.
        {"\x82\xa0\x81[\x82\xa2", "[\x82\xa0\x81[]@1 [\x82\xa2]@1 []@1 "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Split(c.bytes, false), c.words) << testing::PrintToString(c.bytes);
    }
}

TEST(ReadToken, RemovesCommentsFoundInsideWords) {
    struct Case {
        const char* bytes;
        const char* tokens;
    };
    const Case cases[] = {
        {"a /* x y */ b", "[a]@1 [b]@1 []@1 "},
        {"1/*c*/ 2", "[1]@1 [2]@1 []@1 "},
        {"a/*b*/c", "[ac]@1 []@1 "},
        {"/* x\r\n y */name z", "[name]@2 [z]@2 []@2 "},
        // After "*/" the rest of the word is not searched for "/*".
        {"/* */x/*y z", "[x/*y]@1 [z]@1 []@1 "},
        // Only the first "/*" of a word counts; "*/" is searched from the start.
        {"a/*b*/c/*d e", "[ac/*d]@1 [e]@1 []@1 "},
        {"*/x/* y", "[*/x/*]@1 [y]@1 []@1 "},
        {"*/*", "[**]@1 []@1 "},
        // An open comment runs to the end of the file silently.
        {"a /* b\r c", "[a]@1 []@2 "},
        {"  /* */ \r\r", "[]@2 "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Split(c.bytes, true), c.tokens) << testing::PrintToString(c.bytes);
    }
}

// Outside a load, reaching the end does not stop the next file, nor the same
// one read again: a call after the end opens the file it names afresh.
TEST(ReadWord, ACallAfterTheEndOpensTheFileItNamesAgain) {
    TempDir dir;
    const std::string a = dir.Path("a.suf"), b = dir.Path("b.suf");
    WriteFile(a, "x\r\ny /* open");
    WriteFile(b, "z");
    VANE_SourceInitialize();
    std::string seen;
    for (const std::string* path : {&a, &b, &a}) {
        for (int guard = 0; guard < 5; ++guard) {
            const std::string w = VANE->ReadWord(*path);
            seen += "[" + w + "]@" + std::to_string(LineNumber) + " ";
            if (w.empty()) break;
        }
    }
    EXPECT_EQ(seen, "[x]@1 [y ]@2 [/* ]@2 [open]@2 []@2 [z]@1 []@1 [x]@1 [y ]@2 [/* ]@2 [open]@2 []@2 ");
    // The comment left open at the end is not carried into the next reading.
    seen.clear();
    for (int i = 0; i < 6; ++i) seen += "[" + VANE->ReadToken(a) + "]";
    EXPECT_EQ(seen, "[x][y][][x][y][]");
    VANE_SourceInitialize();
}

TEST_F(LoadSufTest, ReadsTheSameShapeWhateverTheLineEnds) {
    for (const char* end : {"\r\n", "\r", "\n"}) {
        std::string bytes = kTriangle;
        for (std::size_t at; (at = bytes.find("\r\n")) != std::string::npos;) {
            bytes.replace(at, 2, "@");
        }
        for (std::size_t at; (at = bytes.find('@')) != std::string::npos;) bytes.replace(at, 1, end);
        TVANE_Object* s = Load(bytes);
        ASSERT_NE(s, nullptr) << SufErrorMessage;
        EXPECT_EQ(Dump(s), kTriangleDump);
        EXPECT_EQ(Extents(s), "0 0 0 / 1 1 0");
        EXPECT_EQ(SufErrorMessage, "");
    }
}

TEST_F(LoadSufTest, StoresTheValuesOfEachKindAndSharesAttributes) {
    TVANE_Object* s = Load(kKinds);
    ASSERT_NE(s, nullptr) << SufErrorMessage;
    EXPECT_EQ(Dump(s),
              "obj 'a'\n"
              " prim 1 marked 1 atr 'red'\n"
              "  1 2 3 4 5 6 0 0 m1\n"
              "obj 'b'\n"
              // The attribute selected last in an earlier object stays selected.
              " prim 2 marked 1 atr 'red'\n"
              "  -1 -2 -3 0 0 0 7 8 m1\n"
              " prim 3 marked 1 atr 'red'\n"
              "  1 1 1 2 2 2 3 3 m1\n"
              // Unknown statements are passed over, an unknown kind is poly.
              " prim 0 marked 1 atr 'red'\n"
              "  5 5 5 0 0 0 0 0 m1\n");
    const TVANE_Object* b = s->Next;
    EXPECT_EQ(s->Polygons->Attribute, b->Polygons->Next->Attribute);
    EXPECT_EQ(b->Attributes, s->Attributes);  // no new record for a known name
    EXPECT_EQ(Extents(s), "1 2 3 / 1 2 3");
    EXPECT_EQ(Extents(b), "-1 -2 -3 / 5 5 5");
}

TEST_F(LoadSufTest, LenientReadingOfOddFiles) {
    struct Case {
        const char* bytes;
        const char* dump;
    };
    const Case cases[] = {
        // A kind glued to "(" is an unknown kind; the next token stands for "(".
        {"obj suf a {\rprim uvpoly(\r9 1 2 3\r)\r}\r",
         "obj 'a'\n prim 0 marked 1 atr -\n  1 2 3 0 0 0 0 0 m1\n"},
        // "ー" ends in the byte of '[', which cuts the name; the rest stands for "{".
        {"obj suf \x82\xa0\x81\x5b\x82\xa2 {\r}\r", "obj '\x82\xa0\x81['\n"},
        {"obj suf", "obj ''\n"},
        {"obj suf a {\r/* prim poly ( 1 2 3 )", "obj 'a'\n"},
        {"obj suf a {\rprim poly (\r)\r}\x1a prim poly ( x )",
         "obj 'a'\n prim 0 marked 1 atr -\n"},
        {"obj/**/ suf/* x */ a {\rprim poly (1/**/ 2 3 )",
         "obj 'a'\n prim 0 marked 1 atr -\n  1 2 3 0 0 0 0 0 m1\n"},
    };
    for (const Case& c : cases) {
        TVANE_Object* s = Load(c.bytes);
        EXPECT_EQ(Dump(s), c.dump) << testing::PrintToString(c.bytes);
        EXPECT_EQ(SufErrorMessage, "");
    }
}

TEST_F(LoadSufTest, FileWithoutShapeGivesNothingWithoutMessage) {
    for (const char* bytes : {"", "  \r\n\t\n", "/* obj suf a { */", "{ } ( ) 1 2 3", "\x1a obj"}) {
        SufErrorMessage = "stale";
        EXPECT_EQ(Load(bytes), nullptr);
        EXPECT_EQ(SufErrorMessage, "") << testing::PrintToString(bytes);
    }
}

TEST_F(LoadSufTest, ReportsFormatAndGrammarErrorsWithTheirLine) {
    struct Case {
        const char* bytes;
        const char* message;
    };
    const Case cases[] = {
        {"obj sux a {\r", "1行において未知の形式の形状ファイルです。"},
        {"obj suf a {\r}\r\n\r\nobj\r\nsuff b", "5行において未知の形式の形状ファイルです。"},
        {"obj suf a {\n}\n\nobj\nsuff b", "5行において未知の形式の形状ファイルです。"},
        // End of the file right after "obj": the line count of the whole file.
        {"obj", "1行において未知の形式の形状ファイルです。"},
        {"obj\r\n\r\n", "2行において未知の形式の形状ファイルです。"},
        {"obj\n\n", "2行において未知の形式の形状ファイルです。"},
        {"\natr red\n", "形状データの文法が2行において変です。"},
        {"\r\natr red\r\n", "形状データの文法が2行において変です。"},
        {"/*\r\n\n\r*/ prim", "形状データの文法が4行において変です。"},
        {"a\n\n\r b \r prim", "形状データの文法が5行において変です。"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Load(c.bytes), nullptr);
        EXPECT_EQ(SufErrorMessage, c.message) << testing::PrintToString(c.bytes);
        EXPECT_FALSE(SufFileOpen);
    }
}

TEST_F(LoadSufTest, ConvertsDecimalLiteralsToTheNearestDouble) {
    struct Case {
        const char* token;
        double value;
    };
    const Case cases[] = {
        {"1", 1.0},        {"+1.5", 1.5},   {"-2.", -2.0},     {".25", 0.25},
        {"1e0", 1.0},      {"1E+2", 100.0}, {"2.5e-3", 2.5e-3}, {"007", 7.0},
        {".", 0.0},        {"-.", -0.0},    {".e5", 0.0},      {"0.1", 0.1},
        {"1e-400", 0.0},   {"-1e-400", -0.0},
        {"4e-324", 4.9406564584124654e-324},
        {"1.7976931348623157e308", DBL_MAX},
        {"0.0000000000000000000000000000001e-300", 0.0},
    };
    for (const Case& c : cases) {
        TVANE_Object* s = Load(std::string("obj suf a {\rprim poly (\r") + c.token + " 0 0\r)\r");
        ASSERT_NE(s, nullptr) << c.token;
        Extended x = s->Polygons->Vertices->X;
        // Stored from the double, not converted afresh in extended precision.
        EXPECT_EQ(x, static_cast<Extended>(c.value)) << c.token;
        EXPECT_EQ(std::signbit(x), std::signbit(c.value)) << c.token;
    }
}

// Literals of every shape the grammar allows, with few and many digits,
// leading and trailing zeros, and small and large exponents, read back as
// what the standard's correctly rounded conversion gives.
TEST_F(LoadSufTest, RandomLiteralsReadAsTheNearestDouble) {
    std::mt19937_64 random(42);
    auto digits = [&](int count) {
        std::string text;
        for (int i = 0; i < count; ++i) text += static_cast<char>('0' + random() % 10);
        return text;
    };
    std::vector<std::string> tokens;
    for (int i = 0; i < 6000; ++i) {
        std::string token = (random() % 4 == 0) ? "-" : (random() % 4 == 0) ? "+" : "";
        const int whole = static_cast<int>(random() % 20), fraction = static_cast<int>(random() % 22);
        token += digits(whole);
        if (fraction > 0 || whole == 0) token += "." + digits(fraction);
        if (whole == 0 && fraction == 0) token += "5";
        if (random() % 3 == 0) {
            token += random() % 2 == 0 ? "e" : "E";
            token += std::to_string(static_cast<int>(random() % 61) - 30);
        }
        tokens.push_back(token);
    }
    std::string text = "obj suf a {\r";
    for (std::size_t i = 0; i < tokens.size(); i += 3) {
        text += "prim poly ( " + tokens[i] + " " + tokens[i + 1] + " " + tokens[i + 2] + " )\r";
    }
    TVANE_Object* s = Load(text);
    ASSERT_NE(s, nullptr);
    std::size_t i = 0;
    for (const TVANE_Polygon* p = s->Polygons; p != nullptr; p = p->Next) {
        for (Extended value : {p->Vertices->X, p->Vertices->Y, p->Vertices->Z}) {
            const std::string& token = tokens[i++];
            double expected = 0;
            const char* first = token.data() + (token[0] == '+' ? 1 : 0);
            std::from_chars(first, token.data() + token.size(), expected);
            ASSERT_EQ(value, static_cast<Extended>(expected)) << token;
            ASSERT_EQ(std::signbit(value), std::signbit(expected)) << token;
        }
    }
    EXPECT_EQ(i, tokens.size());
}

TEST_F(LoadSufTest, RejectsTokensThatAreNotNumbers) {
    const char* tokens[] = {"e5",   "+",     "-",   "1e",   "1e+", "1.2.3", "0x10",
                            "inf",  "nan",   "--1", "1f",   "1,",  "1e400",
                            "1.79769313486232E308", "-1e99999999999999999999", "１"};
    for (const char* token : tokens) {
        EXPECT_EQ(ConvertError(std::string("obj suf a {\rprim poly (\r0 ") + token + " 0\r)\r"),
                  std::string("'") + token + "' は浮動小数点数ではありません");
    }
    // A value glued to ")", and the end of the file inside a vertex list.
    EXPECT_EQ(ConvertError("obj suf a {\rprim poly (\r0 0 0)\r}\r"),
              "'0)' は浮動小数点数ではありません");
    EXPECT_EQ(ConvertError("obj suf a {\rprim shade (\r0 0 0 1"),
              "'' は浮動小数点数ではありません");
    EXPECT_FALSE(SufFileOpen);
    EXPECT_EQ(SufErrorMessage, "");
}

// Lone values are read straight from the line; whatever surrounds them, the
// result, the error and the line count must be what the token path gives.
TEST_F(LoadSufTest, ValuesReadFromTheLineMatchTheTokenPath) {
    const char* vertex_lists[] = {
        "0 0 0\r1 0 0\r0 1 0\r)\r}\r",
        "   \t 7 8 9\r\n)",
        "1/**/ 2 3 )",
        "1 /* c */ 2 3 4 /* c\r\r */ 5 6 )",
        "1 2 3/* still\r open */ 4 5 6 )",
        "1\n2\n3\r\n4\n\n5 6\r)",
        "1 2\r\r\r \r3\r)",
        "1\t2\v3\x01)",
        "12345678901234567890 0.000000001234567890123 1e-5 )",
        "123456789012345678901234.5e-3 -0000000000000000000000001 00000000.00000000123 )",
        "+.5 -. .e5 )",
        "1 2 3)\r)",
        "1,2,3 )",
        "1 2 3 4 5 (",
        "1e 2 3 )",
        "1 2 3 1e999 0 0 )",
        "0 0 0\n\n\r1 x 2\r)",
        "1 2",
        "1 2 3 /*",
    };
    for (const char* kind : {"poly", "shade", "uvshade"}) {
        for (const char* list : vertex_lists) {
            const std::string bytes = std::string("obj suf a {\r\nprim ") + kind + " (\r\n" + list;
            WriteFile(path_, bytes);
            // Either path, through windows of every size.
            std::string outcome[2];
            for (std::size_t window : kWindowSizes) {
                WindowSize size(window);
                for (int plain = 0; plain < 2; ++plain) {
                    SufPlainValues = plain == 1;
                    const std::string got = LoadOutcome(path_);
                    if (outcome[plain].empty()) outcome[plain] = got;
                    EXPECT_EQ(got, outcome[plain]) << testing::PrintToString(bytes) << " window " << window;
                }
            }
            SufPlainValues = true;
            EXPECT_EQ(outcome[1], outcome[0]) << testing::PrintToString(bytes);
        }
    }
}

// Each thread reads with a tokenizer, a line count and a message of its
// own: files read on several threads at once give what each gives alone.
TEST_F(LoadSufTest, ThreadsReadAtOnceAsEachReadsAlone) {
    const std::string files[] = {kTriangle, "obj suf a {\r}\r\r\ratr", "obj suf a {\rprim poly (\r\n1 2 x\r",
                                 std::string(kTriangle) + "obj sux"};
    std::vector<std::string> paths, alone;
    for (const std::string& bytes : files) {
        paths.push_back(dir_.Path("t" + std::to_string(paths.size()) + ".suf"));
        WriteFile(paths.back(), bytes);
        alone.push_back(LoadOutcome(paths.back()));
    }
    SufWindowBytes = 3;  // many reads, so the threads take turns within a load
    std::vector<std::string> together(paths.size());
    {
        std::vector<std::jthread> threads;
        for (std::size_t i = 0; i < paths.size(); ++i) {
            threads.emplace_back([&, i] { together[i] = LoadOutcome(paths[i]); });
        }
    }
    SufWindowBytes = std::size_t{1} << 20;
    EXPECT_EQ(together, alone);
    EXPECT_EQ(SufErrorMessage, alone.back().substr(0, alone.back().find(" at line")));
}

// Sets the reading in pieces for one scope: every file read in pieces of
// `piece` bytes through windows of `window` (of the one-core reader's
// size; the pieces' windows are a few times it).
struct PieceSize {
    PieceSize(std::size_t piece, std::size_t window) {
        SufCoreReadBytes = 0;
        SufReadPieceBytes = piece;
        SufWindowBytes = window;
    }
    ~PieceSize() {
        SufCoreReadBytes = core_bytes;
        SufReadPieceBytes = piece_bytes;
        SufWindowBytes = std::size_t{1} << 20;
    }
    PieceSize(const PieceSize&) = delete;
    PieceSize& operator=(const PieceSize&) = delete;
    std::size_t core_bytes = SufCoreReadBytes, piece_bytes = SufReadPieceBytes;
};

// Pieces are tokenized apart and joined in file order: a comment over
// several pieces, the first error where a later piece holds another, line
// numbers behind comments of several lines and lone LFs.
TEST_F(LoadSufTest, PiecesJoinAsTheFileReadsOnOneCore) {
    struct Case {
        std::string bytes;
        std::string outcome;  // on one core
    };
    const std::string tail = "prim poly ( 1 2 3 )\r}\r";
    const Case cases[] = {
        {"obj suf a {\r/* prim poly ( 9 9 9 )\r\n\rprim\r*/ " + tail,
         "obj 'a'\n prim 0 marked 1 atr -\n  1 2 3 0 0 0 0 0 m1\n at line 6"},
        // After "*/" the rest of the word is not searched: "prim/*" is no keyword.
        {"obj suf a {/*\r\r\r*/atr x\r/*\r*/prim/* */poly ( 1\n2\n3 )\r}\r\n\n", "obj 'a'\n at line 10"},
        {"/*\r\r*/ atr\robj sux\r" + tail, "形状データの文法が3行において変です。 at line 3"},
        {"obj suf a {\r/*\r\n\r*/prim poly ( 1 x 3 )\rprim poly ( y )\r",
         "'x' は浮動小数点数ではありません at line 4"},
        // A comment the file's end closes; an LF ending the file begins no line.
        {"obj suf a {\r" + tail + "/*\r\nprim poly ( 1 2 \n", "obj 'a'\n prim 0 marked 1 atr -\n  1 2 3 0 0 0 0 0 m1\n at line 5"},
    };
    for (const Case& c : cases) {
        WriteFile(path_, c.bytes);
        EXPECT_EQ(LoadOutcome(path_), c.outcome) << testing::PrintToString(c.bytes);
        for (const std::size_t piece : {1, 2, 5, 9, 64}) {
            for (const std::size_t window : {1, 4, 1 << 20}) {
                const PieceSize size(piece, window);
                EXPECT_EQ(LoadOutcome(path_), c.outcome) << "piece " << piece << " window " << window << " "
                                                         << testing::PrintToString(c.bytes);
            }
        }
    }
}

// A file large enough for windows that the cores share, with comments and
// values cut by every piece size, read with its error at the end.
TEST_F(LoadSufTest, PiecesOnTheCoresGiveTheOneCoreShape) {
    std::string bytes = "obj suf big {\r\natr first\r\n";
    for (int i = 0; i < 30000; ++i) {
        bytes += "prim shade ( " + std::to_string(i) + " 0.5 -2.25e3 /* " + std::to_string(i % 7) + " \r\n*/ 1 2 3 )\r\n";
        if (i % 1000 == 999) bytes += "atr a" + std::to_string(i) + "\n/* */\r";
    }
    for (const std::string& end : {std::string("}\r\n"), std::string("prim poly ( 1 2 oops )\r\n")}) {
        WriteFile(path_, bytes + end);
        const std::string one = LoadOutcome(path_);
        ASSERT_NE(one.find(end.size() == 3 ? "at line 60063" : "oops"), std::string::npos) << one.substr(one.size() - 80);
        for (const std::size_t piece : {1000, 4096, 65536}) {
            const PieceSize size(piece, std::size_t{64} << 10);
            EXPECT_EQ(LoadOutcome(path_), one) << piece;
        }
    }
}

TEST_F(LoadSufTest, EachLoadStartsAfreshFromLineOne) {
    // Left by an exception on line 5, in the middle of the second object.
    EXPECT_EQ(ConvertError("obj suf a {\r}\robj suf b {\rprim poly (\r1 2 x\r"),
              "'x' は浮動小数点数ではありません");
    EXPECT_EQ(Load("\ratr"), nullptr);
    EXPECT_EQ(SufErrorMessage, "形状データの文法が2行において変です。");
    // Left inside a comment that the end of the file closed.
    EXPECT_NE(Load("obj suf a { /* prim poly ( \r obj sux"), nullptr);
    EXPECT_EQ(Load("obj sux"), nullptr);
    EXPECT_EQ(SufErrorMessage, "1行において未知の形式の形状ファイルです。");
    TVANE_Object* s = Load(kTriangle);
    EXPECT_EQ(Dump(s), kTriangleDump);
}

TEST_F(LoadSufTest, InputOutputErrorsNameTheFile) {
    struct Case {
        std::string path;
        std::string message;
    };
    std::vector<Case> cases = {
        {dir_.Path("missing.suf"),
         "ファイル「" + dir_.Path("missing.suf") + "」を開けません（ファイルまたはフォルダーがありません）。"},
        {dir_.Root().string(), "ファイル「" + dir_.Root().string() + "」を開けません（フォルダーです）。"},
        // Opens, but every read fails.
        {"/proc/self/mem", "ファイル「/proc/self/mem」を読み込めません（入出力エラーが起きました）。"},
    };
    if (geteuid() != 0) {
        std::string locked = dir_.Path("locked.suf");
        WriteFile(locked, kTriangle);
        chmod(locked.c_str(), 0);
        cases.push_back({locked, "ファイル「" + locked + "」を開けません（アクセスが拒否されました）。"});
    }
    for (const Case& c : cases) {
        try {
            Shape s(VANE->LoadSuf(c.path));
            ADD_FAILURE() << "no error for " << c.path;
        } catch (const SufIOError& e) {
            EXPECT_EQ(e.what(), c.message);
        }
        EXPECT_FALSE(SufFileOpen);
        EXPECT_EQ(SufErrorMessage, "");
    }
}

}  // namespace
