// Numbers in shape files: reading a value token (its grammar checked, then
// the nearest double) and writing a value back with 15 significant digits.
#include "shape/number.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

#include "shape/errors.h"

namespace {

// 10^0 .. 10^22, every one an exact double: the fast path of reading, and
// the first guess of the first digit's place in writing.
constexpr int kMaxExactPower = 22;
constexpr double kPowersOfTen[kMaxExactPower + 1] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// ---- reading ----------------------------------------------------------------

[[noreturn]] void ThrowNotANumber(std::string_view token) {
    std::string text = "'";
    text.append(token);
    text.append("' は浮動小数点数ではありません");
    throw SufConvertError(text);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Where the parts of a decimal literal stand in its text: optional sign,
// digits with an optional '.' and more digits (a digit or the point must be
// there), an optional exponent with an optional sign and at least one digit.
struct TLiteral {
    bool valid = false;  // the text up to `end` is a literal
    std::size_t end = 0;  // where the literal's grammar stopped
    bool negative = false;
    std::uint64_t digits = 0;  // the significant digits, while there are at most 19
    std::int64_t significant = 0;
    std::size_t int_begin = 0, int_end = 0, frac_begin = 0, frac_end = 0;
    std::size_t first = 0;  // the first nonzero digit, or frac_end when there is none
    std::int64_t exponent = 0;  // clamped to +-10^9
};

// Eight ASCII digits at p as one number; false when a byte is no digit.
[[gnu::always_inline]] inline bool EightDigits(const char* p, std::uint64_t& value) {
    std::uint64_t x;
    std::memcpy(&x, p, 8);  // the first digit in the lowest byte
    // Each byte is 0x30..0x39: high half 3, and adding 6 does not carry out of the low half.
    constexpr std::uint64_t kHigh = 0xF0F0F0F0F0F0F0F0u;
    if (((x & kHigh) | (((x + 0x0606060606060606u) & kHigh) >> 4)) != 0x3333333333333333u) {
        return false;
    }
    x -= 0x3030303030303030u;
    x = x * 10 + (x >> 8);  // pairs of digits
    constexpr std::uint64_t kMask = 0x000000FF000000FFu;
    x = ((x & kMask) * (100 + (1000000ull << 32)) + ((x >> 16) & kMask) * (1 + (10000ull << 32))) >> 32;
    value = x;
    return true;
}

// Scans the longest literal at the front of t; inlined, as it runs for
// every value read.
[[gnu::always_inline]] inline TLiteral ScanLiteral(std::string_view t) {
    TLiteral lit;
    const std::size_t n = t.size();
    std::size_t i = 0;
    if (i < n && (t[i] == '+' || t[i] == '-')) lit.negative = t[i++] == '-';
    // Gathers a run of digits into lit.digits, eight at a time where it can;
    // past 19 significant digits the sum wraps, which nobody then reads.
    auto gather = [&] {
        std::uint64_t eight = 0;
        while (n - i >= 8 && EightDigits(t.data() + i, eight)) {
            lit.digits = lit.digits * 100000000u + eight;
            i += 8;
        }
        for (; i < n && IsDigit(t[i]); ++i) lit.digits = lit.digits * 10 + static_cast<std::uint64_t>(t[i] - '0');
    };
    lit.int_begin = i;
    gather();
    lit.int_end = lit.frac_begin = lit.frac_end = i;
    bool point = false;
    if (i < n && t[i] == '.') {
        point = true;
        lit.frac_begin = ++i;
        gather();
        lit.frac_end = i;
    }
    lit.end = i;
    if (lit.int_begin == lit.int_end && !point) return lit;
    // Leading zeros are not significant.
    lit.first = lit.int_begin;
    while (lit.first < lit.int_end && t[lit.first] == '0') ++lit.first;
    std::size_t leading = lit.first - lit.int_begin;
    if (lit.first == lit.int_end) {
        lit.first = lit.frac_begin;
        while (lit.first < lit.frac_end && t[lit.first] == '0') ++lit.first;
        leading += lit.first - lit.frac_begin;
    }
    const std::size_t all = (lit.int_end - lit.int_begin) + (lit.frac_end - lit.frac_begin);
    lit.significant = static_cast<std::int64_t>(all - leading);
    if (i < n && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        bool exp_negative = false;
        if (i < n && (t[i] == '+' || t[i] == '-')) exp_negative = t[i++] == '-';
        const std::size_t exp_begin = i;
        while (i < n && IsDigit(t[i])) {
            lit.exponent = std::min<std::int64_t>(lit.exponent * 10 + (t[i] - '0'), 1'000'000'000);
            ++i;
        }
        lit.end = i;
        if (i == exp_begin) return lit;
        if (exp_negative) lit.exponent = -lit.exponent;
    }
    lit.valid = true;
    return lit;
}

// The value of the literal t, scanned whole into lit, when the fast path
// has no answer: from the C++ library's conversion. False where the text
// is no number after all or its nearest double is beyond the largest.
bool ConvertLiteral(std::string_view t, const TLiteral& lit, double& value) {
    const double zero = lit.negative ? -0.0 : 0.0;
    const std::size_t n = t.size();
    const char* first = t.data() + (t[0] == '+' ? 1 : 0);
    auto [end, ec] = std::from_chars(first, t.data() + n, value);
    if (end != t.data() + n) return false;
    if (ec == std::errc::result_out_of_range) {
        // Tell overflow from underflow by the place of the first nonzero digit.
        constexpr std::size_t kMost = 1'000'000'000'000;
        const std::int64_t magnitude =
            lit.first < lit.int_end
                ? static_cast<std::int64_t>(std::min(lit.int_end - lit.first, kMost))
                : -static_cast<std::int64_t>(std::min(lit.first - lit.frac_begin, kMost));
        if (magnitude + lit.exponent > 0) return false;
        value = zero;
        return true;
    }
    return ec == std::errc();
}

// The value of the literal t, scanned whole into lit: the nearest double;
// one that underflows becomes that nearest double (0 or subnormal), one
// whose nearest double would be beyond the largest finite one is rejected
// (false) like a token that is not a number. Inlined into the readers of
// values.
[[gnu::always_inline]] inline bool LiteralValue(std::string_view t, const TLiteral& lit, double& value) {
    if (lit.int_begin == lit.int_end && lit.frac_begin == lit.frac_end) {
        value = lit.negative ? -0.0 : 0.0;  // ".", "-.", ".e5"
        return true;
    }
    // Clinger's fast path: with at most 15 significant digits and a power of
    // ten up to 10^22, both factors are exact doubles, so one multiplication
    // or division gives the correctly rounded double, as from_chars would.
    const std::int64_t scale = lit.exponent - static_cast<std::int64_t>(lit.frac_end - lit.frac_begin);
    if (lit.significant <= 15 && scale >= -22 && scale <= 22) {
        const double d = static_cast<double>(lit.digits);
        const double v = scale >= 0 ? d * kPowersOfTen[scale] : d / kPowersOfTen[-scale];
        value = lit.negative ? -v : v;
        return true;
    }
    return ConvertLiteral(t, lit, value);
}


// ---- writing ----------------------------------------------------------------

using U128 = unsigned __int128;

constexpr std::uint64_t kLow = 100'000'000'000'000;     // 10^14
constexpr std::uint64_t kHigh = 1'000'000'000'000'000;  // 10^15
// 15 digits of the largest double 1.7976931348623157E308 round up to a text
// that reads back beyond it; the digit below is the largest usable.
constexpr std::uint64_t kLargestDigits = 179'769'313'486'231;
constexpr int kLargestExponent = 309;

constexpr int kMaxPow5 = 27;  // 5^27 < 2^64
constexpr auto kPowersOfFive = [] {
    std::array<std::uint64_t, kMaxPow5 + 1> powers{};
    powers[0] = 1;
    for (int n = 1; n <= kMaxPow5; ++n) powers[n] = 5 * powers[n - 1];
    return powers;
}();
constexpr std::uint64_t Pow5(int n) { return kPowersOfFive[n]; }

// num / 2^shift (0 < shift < 128) rounded to nearest, ties to even.
U128 ShiftRound(U128 num, int shift) {
    U128 q = num >> shift;
    U128 rem = num - (q << shift);
    U128 half = U128{1} << (shift - 1);
    if (rem > half || (rem == half && (q & 1) != 0)) ++q;
    return q;
}

// num / d rounded to nearest, ties to even.
U128 DivRound(U128 num, U128 d) {
    U128 q = num / d;
    U128 rem = num % d;
    if (rem > d - rem || (rem == d - rem && (q & 1) != 0)) ++q;
    return q;
}

// round(m * 2^k / 10^s) in exact integer arithmetic; false when the numbers
// do not fit 128 bits.
bool Scale(std::uint64_t m, int k, int s, U128& n) {
    const int a = k - s;  // 10^s = 5^s * 2^s
    if (s <= 0) {
        if (-s > kMaxPow5) return false;
        U128 num = U128{m} * Pow5(-s);
        if (a >= 0) {
            if (a >= 64 || (num >> (127 - a)) != 0) return false;
            n = num << a;
        } else {
            if (-a >= 128) return false;
            n = ShiftRound(num, -a);
        }
        return true;
    }
    if (s > kMaxPow5) return false;
    U128 d = Pow5(s);
    if (a >= 0) {
        if (a > 63) return false;
        n = DivRound(U128{m} << a, d);
    } else {
        if (-a > 63) return false;
        n = DivRound(U128{m}, d << -a);
    }
    return true;
}

// |value| ~= digits * 10^s with 10^14 <= digits < 10^15, correctly rounded.
void Round15(Extended magnitude, std::uint64_t& digits, int& s) {
    // The 80-bit format: a 64-bit mantissa with its integer bit, then the
    // sign and a 15-bit biased exponent.
    std::uint64_t m = 0;
    std::uint16_t sign_exponent = 0;
    std::memcpy(&m, &magnitude, sizeof m);
    std::memcpy(&sign_exponent, reinterpret_cast<const char*>(&magnitude) + 8, sizeof sign_exponent);
    const int biased = sign_exponent & 0x7fff;
    int k = (biased == 0 ? 1 : biased) - 16383 - 63;  // magnitude = m * 2^k
    const int zeros = std::countl_zero(m);
    m <<= zeros;
    k -= zeros;
    // 2^(k+63) <= magnitude < 2^(k+64): the first digit's place is this or one more.
    // Where the table reaches, it tells which; elsewhere (and where the
    // product below rounds the wrong way) the attempts below correct it.
    // floor(x * log10(2)) in integers, within one of it for every exponent
    // there is (1292913986 / 2^32 is log10(2) to within 10^-10).
    const std::int64_t scaled = std::int64_t{k + 63} * std::int64_t{1292913986};
    int place = static_cast<int>(scaled >> 32);
    const int next = place + 1;
    if (next >= 0 && next <= kMaxExactPower) {
        if (magnitude >= kPowersOfTen[next]) ++place;
    } else if (next < 0 && -next <= kMaxExactPower) {
        if (magnitude * kPowersOfTen[-next] >= 1) ++place;
    }
    s = place - 14;
    for (int attempt = 0; attempt < 4; ++attempt) {
        U128 n = 0;
        if (!Scale(m, k, s, n)) break;
        if (n >= kHigh) {
            ++s;
        } else if (n < kLow) {
            --s;
        } else {
            digits = static_cast<std::uint64_t>(n);
            return;
        }
    }
    // Far from 1 the exact integers outgrow 128 bits; the C library's
    // conversion is exact too (and rounds ties to even), only slower.
    char text[64];
    std::snprintf(text, sizeof text, "%.14Le", magnitude);  // d.dddddddddddddde±x
    digits = static_cast<std::uint64_t>(text[0] - '0');
    for (int i = 2; i < 16; ++i) digits = digits * 10 + static_cast<std::uint64_t>(text[i] - '0');
    s = std::atoi(text + 17) - 14;
}

// The digits of 0 .. 99, two at a time: the fifteen digits come from a
// handful of independent divisions instead of fifteen chained ones.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The two digits of VALUE (below 100) as the two bytes of a word.
std::uint64_t TwoDigits(std::uint32_t value) {
    std::uint16_t pair = 0;
    std::memcpy(&pair, kDigitPairs + std::size_t{2} * value, sizeof pair);
    return pair;
}

// The eight digits of VALUE (below 10^8, leading zeros included) as the
// bytes of a word, the first digit in the lowest byte: how they stand in
// memory on this little-endian machine.
std::uint64_t EightDigits(std::uint32_t value) {
    static_assert(std::endian::native == std::endian::little);
    const std::uint32_t high = value / 10000, low = value % 10000;
    return TwoDigits(high / 100) | TwoDigits(high % 100) << 16 | TwoDigits(low / 100) << 32 |
           TwoDigits(low % 100) << 48;
}

// DIGITS (10^14 <= DIGITS < 10^15) as fifteen decimal digits at OUT + 1
// (OUT has room for sixteen bytes); returns how many of them stand before
// the trailing zeros. The digits are made in two words and the zeros found
// in them, before and without reading them back from memory.
int WriteFifteenDigits(std::uint64_t digits, char* out) {
    constexpr std::uint64_t kZeros = 0x3030303030303030;
    const std::uint64_t first = EightDigits(static_cast<std::uint32_t>(digits / 100000000));  // "0" and seven
    const std::uint64_t last = EightDigits(static_cast<std::uint32_t>(digits % 100000000));
    std::memcpy(out, &first, sizeof first);
    std::memcpy(out + 8, &last, sizeof last);
    // The highest byte that is not '0' holds the last significant digit.
    if ((last ^ kZeros) != 0) return 15 - std::countl_zero(last ^ kZeros) / 8;
    return 7 - std::countl_zero(first ^ kZeros) / 8;
}

}  // namespace

std::size_t FormatNumber(Extended Value, char* Out) {
    if (!std::isfinite(Value)) return 0;
    if (Value == 0) {
        Out[0] = '0';
        return 1;
    }
    std::uint64_t digits = 0;
    int s = 0;
    Round15(std::fabs(Value), digits, s);
    const int e = s + 15;  // Value ~= 0.d1d2...d15 * 10^e
    if (e > kLargestExponent || (e == kLargestExponent && digits > kLargestDigits)) return 0;

    char text[16];
    const int n = WriteFifteenDigits(digits, text);
    const char* const d = text + 1;

    char* out = Out;
    if (Value < 0) *out++ = '-';
    if (e >= -3 && e <= 15) {
        if (e <= 0) {
            *out++ = '0';
            *out++ = '.';
            for (int i = 0; i < -e; ++i) *out++ = '0';
            for (int i = 0; i < n; ++i) *out++ = d[i];
        } else {
            for (int i = 0; i < e; ++i) *out++ = i < n ? d[i] : '0';
            if (n > e) {
                *out++ = '.';
                for (int i = e; i < n; ++i) *out++ = d[i];
            }
        }
    } else {
        *out++ = d[0];
        if (n > 1) {
            *out++ = '.';
            for (int i = 1; i < n; ++i) *out++ = d[i];
        }
        *out++ = 'E';
        int exponent = e - 1;
        if (exponent < 0) {
            *out++ = '-';
            exponent = -exponent;
        }
        char reversed[8];
        int length = 0;
        do {
            reversed[length++] = static_cast<char>('0' + exponent % 10);
            exponent /= 10;
        } while (exponent != 0);
        while (length > 0) *out++ = reversed[--length];
    }
    return static_cast<std::size_t>(out - Out);
}

bool IsFormattedNumber(std::string_view Text) {
    if (Text == "0") return true;
    if (!Text.empty() && Text.front() == '-') Text.remove_prefix(1);
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    // Where the digits of Text from At on stop.
    const auto digits_from = [&](std::size_t at) {
        std::size_t end = at;
        while (end < Text.size() && digit(Text[end])) ++end;
        return end;
    };
    const std::size_t whole = digits_from(0);
    if (whole == 0) return false;
    // The digits after a point at Point (when there is one): one at least, the
    // last not 0. Returns where they stop, or 0 when they are not so.
    const auto fraction = [&](std::size_t point) -> std::size_t {
        if (point >= Text.size() || Text[point] != '.') return point;
        const std::size_t end = digits_from(point + 1);
        return end > point + 1 && Text[end - 1] != '0' ? end : 0;
    };
    if (Text.front() == '0') {
        // 0.000ddd: at most three zeros after the point, then the digits.
        if (whole != 1 || Text.size() < 3 || Text[1] != '.') return false;
        const std::size_t end = fraction(1);
        if (end != Text.size()) return false;
        std::size_t zeros = 0;
        while (Text[2 + zeros] == '0') ++zeros;
        return zeros <= 3 && end - 2 - zeros <= 15;
    }
    const std::size_t end = fraction(whole);
    if (end == 0) return false;
    const std::size_t significant = whole + (end > whole ? end - whole - 1 : 0);
    if (end == Text.size()) return whole <= 15 && significant <= 15;
    // d.dddE-x: one digit before the point, the exponent without a '+' or
    // leading zeros, and only where fixed-point would not be written.
    if (whole != 1 || significant > 15 || Text[end] != 'E') return false;
    std::size_t at = end + 1;
    const bool negative = at < Text.size() && Text[at] == '-';
    at += negative ? 1 : 0;
    const std::size_t exponent_end = digits_from(at);
    if (exponent_end != Text.size() || exponent_end == at || Text[at] == '0' || exponent_end - at > 3) return false;
    int exponent = 0;
    for (std::size_t i = at; i < exponent_end; ++i) exponent = exponent * 10 + (Text[i] - '0');
    // Well inside the normal doubles, where every 15 digits come back.
    constexpr int kFarthest = 300;
    return negative ? exponent > 4 && exponent <= kFarthest : exponent > 14 && exponent <= kFarthest;
}

double ToValue(std::string_view Token) {
    double value = 0;
    if (!TryToValue(Token, value)) ThrowNotANumber(Token);
    return value;
}

bool TryToValue(std::string_view Token, double& Value) {
    const TLiteral lit = ScanLiteral(Token);
    double value = 0;
    if (!lit.valid || lit.end != Token.size() || !LiteralValue(Token, lit, value)) return false;
    Value = value;
    return true;
}

std::size_t TryPlainValue(std::string_view Text, double& Value) {
    // Most values have a few digits, maybe a point, and no exponent: with at
    // most 15 digits, leading zeros and all, the fast path of LiteralValue
    // applies, and it is taken here without the full scan.
    const char* const first = Text.data();
    const char* const end = first + Text.size();
    const char* p = first;
    const bool negative = p < end && *p == '-';
    p += static_cast<std::ptrdiff_t>(p < end && (*p == '-' || *p == '+'));
    std::uint64_t digits = 0;
    const char* const int_begin = p;
    while (p < end && static_cast<unsigned>(*p - '0') < 10) digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
    std::ptrdiff_t count = p - int_begin, fraction = 0;
    if (p < end && *p == '.') {
        const char* const frac_begin = ++p;
        while (p < end && static_cast<unsigned>(*p - '0') < 10) digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
        fraction = p - frac_begin;
        count += fraction;
    }
    if (count > 0 && count <= 15 && (p == end || static_cast<unsigned char>(*p) <= 32)) {
        const double d = static_cast<double>(digits);
        const double value = fraction == 0 ? d : d / kPowersOfTen[fraction];
        Value = negative ? -value : value;
        return static_cast<std::size_t>(p - first);
    }
    const TLiteral lit = ScanLiteral(Text);
    if (!lit.valid || (lit.end < Text.size() && static_cast<unsigned char>(Text[lit.end]) > 32)) return 0;
    return LiteralValue(Text.substr(0, lit.end), lit, Value) ? lit.end : 0;
}

std::size_t ReadPlainValue(std::string_view Text, bool More, double& Value) {
    const TLiteral lit = ScanLiteral(Text);
    if (!lit.valid) return 0;
    if (lit.end == Text.size()) {
        if (More) return 0;
    } else if (static_cast<unsigned char>(Text[lit.end]) > 32) {
        return 0;
    }
    if (!LiteralValue(Text.substr(0, lit.end), lit, Value)) ThrowNotANumber(Text.substr(0, lit.end));
    return lit.end;
}

Extended MaxExtended(Extended A, Extended B) {
    return B >= A ? B : A;
}

Extended VectorLength(Extended A, Extended B, Extended C) {
    return std::sqrt((A * A + B * B) + C * C);
}
