// Checks ReadInteger against a plain reading of the percentage field's rule,
// written here without looking at the library's code path: big-number
// arithmetic on the digit string, then the range test.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/morph.h"

namespace {

struct Reading {
    std::int32_t value;
    bool valid;
};

int Digit(char c, bool hex) {
    if (c >= '0' && c <= '9') return c - '0';
    if (hex && c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The magnitude of a digit run, as a string of decimal digits without
// leading zeros ("" for zero). Past 12 digits it is out of any 32-bit range
// and stops growing, which keeps long runs cheap.
std::string Magnitude(std::string_view digits, bool hex) {
    std::string dec;  // most significant first
    for (char c : digits) {
        if (dec.size() > 12) break;
        int carry = Digit(c, hex);
        for (auto it = dec.rbegin(); it != dec.rend(); ++it) {
            int d = (*it - '0') * (hex ? 16 : 10) + carry;
            *it = static_cast<char>('0' + d % 10);
            carry = d / 10;
        }
        while (carry > 0) {
            dec.insert(dec.begin(), static_cast<char>('0' + carry % 10));
            carry /= 10;
        }
    }
    std::size_t nz = dec.find_first_not_of('0');
    return nz == std::string::npos ? std::string() : dec.substr(nz);
}

bool NotAbove(const std::string& a, std::string_view b) {
    return a.size() != b.size() ? a.size() < b.size() : a <= b;
}

// Magnitude clamped into what an int32 can show with the given sign.
std::int32_t Clamp(const std::string& mag, bool negative) {
    if (negative) {
        if (!NotAbove(mag, "2147483648")) return INT32_MIN;
        return static_cast<std::int32_t>(-std::stoll(mag.empty() ? "0" : mag));
    }
    if (!NotAbove(mag, "2147483647")) return INT32_MAX;
    return static_cast<std::int32_t>(std::stoll(mag.empty() ? "0" : mag));
}

Reading Reference(std::string_view text) {
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string_view::npos) return {0, false};
    bool negative = false, hex = false;
    if (text[i] == '-' || text[i] == '+') {
        negative = text[i++] == '-';
    } else if (text[i] == '$') {
        hex = true;
        ++i;
    }
    std::size_t end = i;
    while (end < text.size() && Digit(text[end], hex) >= 0) ++end;
    const std::string mag = Magnitude(text.substr(i, end - i), hex);
    if (end < text.size()) return {Clamp(mag, negative), false};  // stray character
    if (end == i) return {0, false};                           // no digit at all
    const bool fits = negative ? NotAbove(mag, "2147483648") : NotAbove(mag, "2147483647");
    return {Clamp(mag, negative), fits};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const TIntegerReading got = ReadInteger(text);
    const Reading want = Reference(text);
    if (got.Value != want.value || got.Valid != want.valid) {
        std::fprintf(stderr, "ReadInteger('%.*s') gave %d %s, want %d %s\n",
                     static_cast<int>(size), text.data(), got.Value, got.Valid ? "valid" : "invalid",
                     want.value, want.valid ? "valid" : "invalid");
        std::abort();
    }
    return 0;
}
