#include "shape/number.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using U128 = unsigned __int128;

constexpr std::uint64_t kLow = 100'000'000'000'000;     // 10^14
constexpr std::uint64_t kHigh = 1'000'000'000'000'000;  // 10^15
// 15 digits of the largest double 1.7976931348623157E308 round up to a text
// that reads back beyond it; the digit below is the largest usable.
constexpr std::uint64_t kLargestDigits = 179'769'313'486'231;
constexpr int kLargestExponent = 309;

constexpr int kMaxPow5 = 27;  // 5^27 < 2^64
constexpr std::uint64_t Pow5(int n) { return n == 0 ? 1 : 5 * Pow5(n - 1); }

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

// Powers of ten around 1, for placing the first digit; from 1E-27 the
// table's values are not exact, which only costs another attempt below.
constexpr int kTableLow = -30;
constexpr int kTableHigh = 30;
struct PowersOfTen {
    Extended value[kTableHigh - kTableLow + 1];
    constexpr PowersOfTen() : value() {
        Extended p = 1;
        for (int i = 0; i <= kTableHigh; ++i, p *= 10) {
            value[i - kTableLow] = p;
            if (-i >= kTableLow) value[-i - kTableLow] = 1 / p;
        }
    }
};
constexpr PowersOfTen kPowersOfTen;

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
    int place = static_cast<int>(std::floor((k + 63) * 0.30102999566398120));
    if (place + 1 >= kTableLow && place + 1 <= kTableHigh &&
        magnitude >= kPowersOfTen.value[place + 1 - kTableLow]) {
        ++place;
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

    char d[15];
    for (int i = 14; i >= 0; --i) {
        d[i] = static_cast<char>('0' + digits % 10);
        digits /= 10;
    }
    int n = 15;
    while (d[n - 1] == '0') --n;

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
        out += std::snprintf(out, 8, "%d", e - 1);
    }
    return static_cast<std::size_t>(out - Out);
}
