#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "shape/number.h"

namespace {

std::string Format(Extended v) {
    char text[kMaxNumberText];
    std::size_t n = FormatNumber(v, text);
    return n == 0 ? "(refused)" : std::string(text, n);
}

// The C library's "%.15LG" rounds the extended value exactly and switches to
// scientific at the same place; only its exponent is spelt differently
// ("1.5E+20", "1E-05").
std::string Reference(Extended v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.15LG", v);
    std::string s = text;
    std::size_t e = s.find('E');
    if (e == std::string::npos) return s;
    std::string exponent = s.substr(e + 1);
    bool negative = exponent[0] == '-';
    exponent.erase(0, 1);
    exponent.erase(0, exponent.find_first_not_of('0'));
    return s.substr(0, e + 1) + (negative ? "-" : "") + exponent;
}

TEST(FormatNumber, WritesFifteenDigitsFixedOrScientific) {
    struct Case {
        Extended value;
        const char* text;
    };
    const Case cases[] = {
        {100, "100"},
        {1.5L, "1.5"},
        {1.0L / 3, "0.333333333333333"},
        {0.05L, "0.05"},
        {0.0001L, "0.0001"},
        {0.000123L, "0.000123"},
        {1e-5L, "1E-5"},
        {-1.23e-5L, "-1.23E-5"},
        {1e16L, "1E16"},
        {1.5e20L, "1.5E20"},
        {1.23456789012345678e17L, "1.23456789012346E17"},
        {999999999999999, "999999999999999"},
        {1e15L, "1E15"},
        {-1234.5L, "-1234.5"},
        {0.1, "0.1"},  // the double nearest 0.1
        {-0.0L, "0"},
        {0, "0"},
        {1e-4000L, "1E-4000"},
        // Exact ties at the 15th digit go to the even neighbour.
        {1000000000000005, "1E15"},
        {1000000000000015, "1.00000000000002E15"},
        {999999999999999.5L, "1E15"},
        {12345678901234.25L, "12345678901234.2"},
        {12345678901234.75L, "12345678901234.8"},
        // Rounding the double nearest this value would give ...02E16.
        {10000000000000149.5L, "1.00000000000001E16"},
        // The largest text that still reads back as a double.
        {1.79769313486231e308L, "1.79769313486231E308"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Format(c.value), c.text) << Reference(c.value);
    }
}

TEST(FormatNumber, RefusesWhatWouldNotReadBackAsADouble) {
    const Extended refused[] = {
        DBL_MAX,  // 1.79769313486232E308 lies beyond it
        -4.294967194e315L,
        1e309L,
        std::numeric_limits<Extended>::infinity(),
        -std::numeric_limits<Extended>::infinity(),
        std::numeric_limits<Extended>::quiet_NaN(),
    };
    for (Extended v : refused) {
        EXPECT_EQ(Format(v), "(refused)") << Reference(v);
    }
    // Tiny values read back as the nearest double, so they are written.
    EXPECT_EQ(Format(-1e-4930L), "-1E-4930") << Reference(-1e-4930L);
}

TEST(FormatNumber, AgreesWithTheCLibraryOnRandomValues) {
    std::mt19937_64 random(20261207);
    std::uniform_int_distribution<int> exponent(-80, 80);
    std::uniform_int_distribution<int> far_exponent(-16000, 950);
    int mismatches = 0;
    for (int i = 0; i < 200000 && mismatches < 10; ++i) {
        Extended v;
        switch (i % 4) {
        case 0:  // any 64-bit mantissa near 1
            v = std::ldexp(static_cast<Extended>(random() | (1ull << 63)), exponent(random) - 63);
            break;
        case 1:  // integers with a 16th digit of 5: exact ties
            v = static_cast<Extended>((random() % 900'000'000'000'000 + 100'000'000'000'000) * 10 + 5);
            break;
        case 2:  // values with a few binary fraction digits: ties after the point
            v = static_cast<Extended>(random() % 10'000'000'000'000'000) / 4;
            break;
        default:  // far from 1
            v = std::ldexp(static_cast<Extended>(random() | (1ull << 63)), far_exponent(random));
            break;
        }
        if (random() & 1) v = -v;
        std::string expected = Reference(v);
        if (Format(v) != expected) {
            ++mismatches;
            ADD_FAILURE() << Format(v) << " != " << expected;
        }
    }
}

}  // namespace
