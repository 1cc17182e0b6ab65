#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "shape/text.h"

namespace {

struct TNameCase {
    const char* What;
    std::string Bytes;
    std::string Text;  // UTF-8
};

const std::vector<TNameCase> kNameCases = {
    {"empty", "", ""},
    {"ASCII", "cube_01", "cube_01"},
    {"UTF-8 Japanese", "\xe5\xbd\xa2\xe7\x8a\xb6 \xe3\x82\xb9\xe3\x82\xb6\xe3\x83\xb3\xe3\x83\x8c", "形状 スザンヌ"},
    // e5 bd a2 is also a Shift-JIS kanji and a half-width katakana.
    {"UTF-8 that is Shift-JIS too stays UTF-8", "\xe5\xbd\xa2", "形"},
    {"UTF-8 beyond the BMP", "\xf0\x9f\x98\x80", "😀"},
    {"Shift-JIS katakana", "\x83\x58\x83\x55\x83\x93\x83\x6b", "スザンヌ"},
    {"Shift-JIS kanji", "\x8c\x60\x8f\xf3", "形状"},
    {"Shift-JIS with ASCII and half-width katakana", "box_\x8c\x60\xb1", "box_形ｱ"},
    {"NEC special: circled one", "\x87\x40", "①"},
    {"NEC special: approximately equal", "\x87\x90", "≒"},
    {"NEC-selected IBM extension", "\xed\x40", "纊"},
    {"IBM extension", "\xfa\x55", "￤"},
    {"CP932's not sign", "\x81\xca", "￢"},
    {"CP932's wave dash", "\x81\x60", "～"},
    {"not a byte of either: Latin-1", "\xff" "A\x80", "\xc3\xbf" "A\xc2\x80"},
    {"lone 0xA0: Latin-1", "\xa0", "\xc2\xa0"},
    {"Latin-1 text", "caf\xe9", "caf\xc3\xa9"},
    {"Shift-JIS lead byte at the end: Latin-1", "\x8c\x60\x83", "\xc2\x8c`\xc2\x83"},
    {"lone Shift-JIS lead byte: Latin-1", "\x83", "\xc2\x83"},
    {"lead byte before a byte no trail may be: Latin-1", "\x83\x20", "\xc2\x83 "},
    {"overlong UTF-8 that is no Shift-JIS: Latin-1", "\xc0\x80", "\xc3\x80\xc2\x80"},
    {"UTF-8 surrogate: Latin-1", "\xed\xa0\x80", "\xc3\xad\xc2\xa0\xc2\x80"},
};

TEST(NameText, DecodesUtf8ThenShiftJisThenLatin1) {
    for (const TNameCase& c : kNameCases) {
        EXPECT_EQ(NameText(c.Bytes), c.Text) << c.What;
        EXPECT_TRUE(IsUtf8(NameText(c.Bytes))) << c.What;
        EXPECT_EQ(IsUtf8(c.Bytes), c.Bytes == c.Text) << c.What;
    }
}

TEST(NameText, ThreadsDecodeAtOnce) {
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (std::size_t t = 0; t < wrong.size(); ++t) {
        threads.emplace_back([&wrong, t] {
            for (int i = 0; i < 10000; ++i) {
                const TNameCase& c = kNameCases[(t + static_cast<std::size_t>(i)) % kNameCases.size()];
                if (NameText(c.Bytes) != c.Text) ++wrong[t];
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (const int count : wrong) EXPECT_EQ(count, 0);
}

}  // namespace
