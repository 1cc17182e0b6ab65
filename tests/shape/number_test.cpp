#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
    if (!std::isfinite(v)) return "(refused)";
    if (v == 0) return "0";  // zero has no digits, and no sign either
    char text[64];
    // Beyond the largest double once rounded to 15 digits: would not read back.
    std::snprintf(text, sizeof text, "%.14Le", std::fabs(v));
    const int exponent10 = std::atoi(text + 17);
    if (exponent10 > 308 || (exponent10 == 308 && std::string(text, 16) > "1.79769313486231")) {
        return "(refused)";
    }
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

// How many values the comparison below tries: PLIVRA_FORMAT_CHECKS, or a
// count that keeps the suite quick.
long FormatChecks() {
    const char* text = std::getenv("PLIVRA_FORMAT_CHECKS");
    return text != nullptr ? std::atol(text) : 100000;
}

// A value whose 16-digit decimal expansion ends in 5: an exact tie between two
// 15-digit texts. q * 5^t has 16 digits and q is odd, so q / 2^t has 16
// significant digits and ends in 5; t from 1 to 22 puts the tie before and
// after the decimal point.
Extended Tie(std::mt19937_64& random) {
    const int t = static_cast<int>(random() % 22) + 1;
    long double five_t = 1;
    for (int i = 0; i < t; ++i) five_t *= 5;
    const auto low = static_cast<unsigned long long>(std::ceil(1e15L / five_t));
    const auto high = static_cast<unsigned long long>(std::floor((1e16L - 1) / five_t));
    unsigned long long q = low + random() % (high - low + 1);
    if ((q & 1) == 0) q = q < high ? q + 1 : q - 1;
    return std::ldexp(static_cast<Extended>(q), -t);
}

TEST(FormatNumber, AgreesWithTheCLibraryOnRandomValues) {
    std::mt19937_64 random(20261207);
    std::uniform_int_distribution<int> exponent(-80, 80);
    std::uniform_int_distribution<int> far_exponent(-16000, 950);
    std::uniform_int_distribution<int> power(-4950, 4932);
    int mismatches = 0;
    const long checks = FormatChecks();
    for (long i = 0; i < checks && mismatches < 10; ++i) {
        Extended v;
        switch (i % 8) {
        case 0:  // any 64-bit mantissa near 1
            v = std::ldexp(static_cast<Extended>(random() | (1ull << 63)), exponent(random) - 63);
            break;
        case 1:  // integers with a 16th digit of 5: exact ties
            v = static_cast<Extended>((random() % 900'000'000'000'000 + 100'000'000'000'000) * 10 + 5);
            break;
        case 2:  // values with a few binary fraction digits: ties after the point
            v = static_cast<Extended>(random() % 10'000'000'000'000'000) / 4;
            break;
        case 3:  // exact ties at many places, and their neighbours
            v = Tie(random);
            if (random() % 3 == 1) v = std::nextafter(v, 0.0L);
            if (random() % 3 == 2) v = std::nextafter(v, 1e30L);
            break;
        case 4:  // powers of ten and their neighbours, over the whole extended range
            v = std::pow(10.0L, static_cast<Extended>(power(random)));
            if (random() & 1) v = std::nextafter(v, (random() & 2) != 0 ? 0.0L : HUGE_VALL);
            break;
        case 5: {  // any double, as read from a file (some beyond the 15-digit limit)
            const std::uint64_t bits = random() & 0x7fff'ffff'ffff'ffffull;
            double d;
            std::memcpy(&d, &bits, sizeof d);
            v = std::isfinite(d) ? d : 1.0;
            break;
        }
        case 6: {  // blends of two doubles: extended results between them
            const double a = std::ldexp(static_cast<double>(random() >> 11), exponent(random) - 53);
            const double b = std::ldexp(static_cast<double>(random() >> 11), exponent(random) - 53);
            const Extended percent = static_cast<Extended>(random() % 1201) - 100;
            v = a + percent * ((static_cast<Extended>(b) - a) / 100);
            break;
        }
        default:  // far from 1
            v = std::ldexp(static_cast<Extended>(random() | (1ull << 63)), far_exponent(random));
            break;
        }
        if (random() & 1) v = -v;
        std::string expected = Reference(v);
        if (Format(v) != expected) {
            ++mismatches;
            char exact[64];
            std::snprintf(exact, sizeof exact, "%.25Le", v);
            ADD_FAILURE() << exact << ": " << Format(v) << " != " << expected;
        }
    }
}

// A text is taken as written only where writing its value gives it again;
// every value of a double written by FormatNumber, in the range a file's
// coordinates live in, is taken so.
TEST(IsFormattedNumber, TakesWhatTheWriterWritesAndNothingElse) {
    for (const char* text : {"0", "1", "-1", "0.5", "-0.0001", "0.00012345", "123456789012345", "1000",
                             "12345678901234.5", "1E15", "1.5E20", "-2.5E-5", "1E-300", "9.99999999999999E300"}) {
        EXPECT_TRUE(IsFormattedNumber(text)) << text;
        EXPECT_EQ(Format(ToValue(text)), text);
    }
    for (const char* text : {"", "-", "-0", "00", "01", "+1", "1.", ".5", "1.50", "0.00001", "1e20", "1E+20", "1E05",
                             "1.0E20", "10E20", "1E14", "1E-4", "1234567890123456", "0.1234567890123456",
                             "1.234567890123456E20", "1E-301",
                             "1E400", "1 ", "0x1", "1E", "1E-"}) {
        EXPECT_FALSE(IsFormattedNumber(text)) << text;
    }
    std::mt19937_64 random(20261208);
    for (int i = 0; i < 200000; ++i) {
        const std::uint64_t bits = random() & 0x7fff'ffff'ffff'ffffull;
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (!std::isfinite(d)) d = 1.5;
        if (d != 0 && (std::fabs(d) < 1e-290 || std::fabs(d) > 1e290)) d = std::ldexp(d, -std::ilogb(d));
        if (random() & 1) d = -d;
        const std::string written = Format(d);
        ASSERT_TRUE(IsFormattedNumber(written)) << written;
        // A digit more, or one changed at the end, is written otherwise.
        std::string longer = written;
        const std::size_t e = longer.find('E');
        longer.insert(e == std::string::npos ? longer.size() : e, longer.find('.') == std::string::npos ? ".0" : "0");
        ASSERT_FALSE(IsFormattedNumber(longer)) << longer;
    }
}

}  // namespace
