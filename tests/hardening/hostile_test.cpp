// Hostile files: huge, degenerate or odd inputs, each with the outcome it
// must have; none may crash, hang or take memory beyond its size.
//
// The big cases are generated at 1 MB by default, which keeps the sanitizer
// run quick. PLIVRA_HOSTILE_MB="1,10,100" runs them at each listed size and
// prints the load time of each (bash: PLIVRA_HOSTILE_MB=200 for the 200 MB
// line).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "shape/errors.h"
#include "shape/state.h"
#include "shape/vane.h"
#include "tests/hardening/child.h"
#include "tests/shape/test_util.h"

namespace {

using test_util::Shape;
using test_util::TempDir;
using test_util::WriteFile;

constexpr std::size_t kMB = 1 << 20;

std::vector<std::size_t> Sizes() {
    std::vector<std::size_t> sizes;
    if (const char* list = std::getenv("PLIVRA_HOSTILE_MB")) {
        std::stringstream in(list);
        for (std::string mb; std::getline(in, mb, ',');) sizes.push_back(std::stoul(mb) * kMB);
    }
    if (sizes.empty()) sizes.push_back(kMB);
    return sizes;
}

std::string Repeat(std::string_view unit, std::size_t count) {
    std::string out;
    out.reserve(unit.size() * count);
    for (std::size_t i = 0; i < count; ++i) out.append(unit);
    return out;
}

// What a load gives, in a few words: the counts of a shape, or the kind of
// failure with the start of its message. A shape is also copied, as the
// desktop program does with a start shape, and the copy's attributes counted.
// `load_seconds` gets the time of the load alone.
std::string Outcome(const std::string& path, double* load_seconds = nullptr) {
    const auto start = std::chrono::steady_clock::now();
    auto loaded = [&] {
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (load_seconds != nullptr) *load_seconds = took.count();
    };
    try {
        Shape shape(VANE->LoadSuf(path));
        loaded();
        if (shape.get() == nullptr) return "nothing '" + SufErrorMessage + "'";
        std::size_t objects = 0, polygons = 0, vertices = 0, attributes = 0, name = 0;
        for (const TVANE_Object* o = shape.get(); o != nullptr; o = o->Next, ++objects) {
            name = std::max(name, o->Name.size());
            for (const TVANE_Polygon* p = o->Polygons; p != nullptr; p = p->Next, ++polygons) {
                for (const TVANE_Vertex* v = p->Vertices; v != nullptr; v = v->Next) ++vertices;
            }
        }
        Shape copy(VANE->CopySuf(shape.get()));
        for (const TVANE_Object* o = copy.get(); o != nullptr; o = o->Next) {
            for (const TVANE_Attribute* a = o->Attributes; a != nullptr; a = a->Next) ++attributes;
        }
        std::ostringstream out;
        out << "shape " << objects << " obj " << polygons << " prim " << vertices << " vtx "
            << attributes << " atr, name " << name;
        return out.str();
    } catch (const SufConvertError& e) {
        loaded();
        const std::string message = e.what();
        return "not a number " + (message.size() < 200 ? message : message.substr(0, 40));
    } catch (const SufIOError& e) {
        loaded();
        return "io " + std::string(e.what());
    }
}

// A case made at a given file size: the bytes, and the outcome they must give.
struct SizedCase {
    const char* name;
    std::function<std::string(std::size_t size, std::string& expected)> make;
};

const SizedCase kSizedCases[] = {
    {"one line without line end",
     [](std::size_t size, std::string& expected) {
         expected = "nothing ''";
         return Repeat("1 ", size / 2);
     }},
    {"only delimiters",
     [](std::size_t size, std::string& expected) {
         std::string unit = ",(){}[]`\"'";
         for (int c = 0; c <= 32; ++c) {
             if (c != 26) unit += static_cast<char>(c);  // 26 would end the file
         }
         expected = "nothing ''";
         return Repeat(unit, size / unit.size());
     }},
    {"objects without polygons",
     [](std::size_t size, std::string& expected) {
         std::size_t n = size / 14;
         expected = "shape " + std::to_string(n) + " obj 0 prim 0 vtx 0 atr, name 1";
         return Repeat("obj suf o {\r}\r", n);
     }},
    {"one polygon's vertices on one line",
     [](std::size_t size, std::string& expected) {
         std::size_t n = size / 6;
         expected = "shape 1 obj 1 prim " + std::to_string(n) + " vtx 0 atr, name 1";
         return "obj suf p {\rprim poly (" + Repeat(" 1 2 3", n) + " )";
     }},
    {"a name of the whole size",
     [](std::size_t size, std::string& expected) {
         expected = "shape 1 obj 0 prim 0 vtx 0 atr, name " + std::to_string(size);
         return "obj suf " + std::string(size, 'n') + " {\r}\r";
     }},
    {"comment opened at the start",
     [](std::size_t size, std::string& expected) {
         expected = "nothing ''";
         return "/*" + Repeat("obj suf a { atr b prim poly ( 1 2 3 ) }\r\n", size / 42);
     }},
    {"a new attribute for every polygon",
     [](std::size_t size, std::string& expected) {
         std::string text = "obj suf a {\r";
         std::size_t n = 0;
         while (text.size() < size) {
             text += "atr n" + std::to_string(n++) + " prim poly ( )\r";
         }
         expected = "shape 1 obj " + std::to_string(n) + " prim 0 vtx " + std::to_string(n) +
                    " atr, name 1";
         return text;
     }},
    {"vertex list cut off at the end",
     [](std::size_t size, std::string& expected) {
         expected = "not a number '' は浮動小数点数ではありません";
         return "obj suf p {\rprim shade (" + Repeat(" 1 2 3", size / 6) + " 1 2";
     }},
};

TEST(HostileFile, GivesItsOutcomeAtEverySize) {
    VANE_SourceInitialize();
    TempDir dir;
    const std::string path = dir.Path("hostile.suf");
    for (std::size_t size : Sizes()) {
        for (const SizedCase& c : kSizedCases) {
            std::string expected;
            WriteFile(path, c.make(size, expected));
            const auto start = std::chrono::steady_clock::now();
            double load = 0;
            EXPECT_EQ(Outcome(path, &load), expected) << c.name << " at " << size / kMB << " MB";
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            std::printf("hostile: %-36s %4zu MB  load %7.3f s  with copy %7.3f s\n", c.name,
                        size / kMB, load, took.count());
        }
    }
}

// One vertex line whose first value is `token`.
std::string WithValue(const std::string& token) {
    return "obj suf a {\rprim poly (\r" + token + " 0 0\r)\r}\r";
}

TEST(HostileFile, ExtremeNumbersAreReadExactlyOrRefused) {
    VANE_SourceInitialize();
    TempDir dir;
    const std::string path = dir.Path("numbers.suf");
    struct Case {
        std::string token;
        double value;
    };
    const Case cases[] = {
        {"0." + std::string(10000, '3'), 1.0 / 3.0},
        {"0." + std::string(9999, '0') + "1", 0.0},
        {std::string(10000, '0') + "1.5", 1.5},
        {"1e-999999999", 0.0},
        {"4.9406564584124654e-324", 4.9406564584124654e-324},  // the smallest subnormal
        {"2.4703282292062327e-324", 0.0},                      // just below half of it
        {"2.4703282292062328e-324", 4.9406564584124654e-324},  // just above half of it
        {"2.2250738585072011e-308", 2.2250738585072011e-308},  // next to the smallest normal
        {"2.2250738585072012e-308", DBL_MIN},
        {"1" + std::string(308, '0'), 1e308},
    };
    for (const Case& c : cases) {
        WriteFile(path, WithValue(c.token));
        Shape shape(VANE->LoadSuf(path));
        ASSERT_NE(shape.get(), nullptr) << c.token.substr(0, 30);
        EXPECT_EQ(shape->Polygons->Vertices->X, static_cast<Extended>(c.value))
            << c.token.substr(0, 30);
    }
    for (const std::string& token : {"1" + std::string(9999, '0'), std::string("1e999999999"),
                                    std::string("-1e+999999999999999999999"),
                                    "1" + std::string(309, '0')}) {
        WriteFile(path, WithValue(token));
        EXPECT_THROW(Shape(VANE->LoadSuf(path)), SufConvertError) << token.substr(0, 30);
    }
}

TEST(HostileFile, NamesKeepEveryByteButDelimitersAndByte26) {
    VANE_SourceInitialize();
    TempDir dir;
    const std::string path = dir.Path("names.suf");
    std::string every;
    for (int c = 33; c < 256; ++c) {
        if (!VANE->IsTokenDelimiter(static_cast<unsigned char>(c))) every += static_cast<char>(c);
    }
    struct Case {
        std::string name_bytes;  // as written after "obj suf "
        std::string name;        // as read
    };
    const Case cases[] = {
        {every, every},
        // NUL is a blank: it ends the word, the rest stands for "{".
        {std::string("a\0b", 3), "a"},
        // A delimiter stays glued to the word it ends.
        {"a)b", "a)"},
        // Byte 26 ends the file, name and all.
        {"a\x1a" "b", "a"},
    };
    for (const Case& c : cases) {
        WriteFile(path, "obj suf " + c.name_bytes + " {\r}\r");
        Shape shape(VANE->LoadSuf(path));
        ASSERT_NE(shape.get(), nullptr);
        EXPECT_EQ(shape->Name, c.name);
    }
}

TEST(HostileFile, WhatIsNotARegularFileIsRefusedAtOnce) {
    VANE_SourceInitialize();
    TempDir dir;
    const std::string fifo = dir.Path("fifo.suf");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Opening a FIFO nobody writes to, or reading /dev/zero, would never end:
    // the load runs in a child that gets ten seconds.
    for (const std::string& path : {fifo, std::string("/dev/zero")}) {
        const std::string result = hardening::InChild([&] { return Outcome(path); }, 10);
        EXPECT_EQ(result, "io ファイル「" + path + "」を開けません（通常のファイルではありません）。");
    }
}

TEST(HostileFile, FileChangingWhileReadGivesAnOutcomeNeverACrash) {
    VANE_SourceInitialize();
    TempDir dir;
    const std::string path = dir.Path("changing.suf");
    const std::string whole = "obj suf p {\rprim poly (" + Repeat(" 1 2 3", 100000) + " )\r}\r";
    WriteFile(path, whole);
    // Another thread cuts the file short, removes it and writes it anew.
    std::atomic<bool> stop{false};
    std::thread changer([&] {
        for (int i = 0; !stop; ++i) {
            if (i % 3 == 0) truncate(path.c_str(), static_cast<off_t>(whole.size() / 2));
            if (i % 3 == 1) unlink(path.c_str());
            if (i % 3 == 2) WriteFile(path, whole);
        }
    });
    int shapes = 0;
    for (int i = 0; i < 50; ++i) {
        const std::string outcome = Outcome(path);
        // A read racing the cut can be handed zeros for the part cut off;
        // NUL bytes are blanks, so a shorter list that still ends in ")".
        int vertices = 0;
        const bool shape =
            std::sscanf(outcome.c_str(), "shape 1 obj 1 prim %d vtx 0 atr, name 1", &vertices) == 1 &&
            outcome == "shape 1 obj 1 prim " + std::to_string(vertices) + " vtx 0 atr, name 1" &&
            vertices > 0 && vertices <= 100000;
        const bool known = shape ||
                           outcome.rfind("not a number ", 0) == 0 ||  // cut inside the list
                           outcome == "nothing ''" ||                  // empty when rewritten
                           outcome.rfind("io ", 0) == 0;               // removed
        EXPECT_TRUE(known) << outcome;
        shapes += shape && vertices == 100000;
    }
    stop = true;
    changer.join();
    EXPECT_FALSE(SufFileOpen);
    std::printf("hostile: changing file gave %d whole shapes of 50 loads\n", shapes);
}

}  // namespace
