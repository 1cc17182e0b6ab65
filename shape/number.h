#pragma once
#include <cstddef>
#include <string_view>

#include "shape/records.h"

// Room for the longest text FormatNumber writes ("-1.23456789012346E-4951").
inline constexpr std::size_t kMaxNumberText = 32;

// Writes Value into Out (not terminated) the way shape files hold numbers:
// rounded to 15 significant digits (exact ties to the even digit), without
// trailing zeros, '.' as the decimal point, fixed-point for magnitudes from
// 1E-4 below 1E15 and otherwise scientific ("1E-5", "1.5E20"); zero, also
// negative zero, is "0". Returns the length, or 0 (nothing usable written)
// when the text could not be read back: a value that is not finite, or one
// beyond the largest double once rounded to 15 digits.
std::size_t FormatNumber(Extended Value, char* Out);

// The value of Text, the whole of it, read as the shape reader reads a vertex
// value: a decimal literal (optional sign, digits with an optional '.', an
// optional exponent) as the nearest double, an underflow as that nearest
// double (0 or subnormal). Throws SufConvertError, with the reader's message,
// for any other text and for a value beyond the largest double. Defined
// beside the reader, which it shares the scanner with.
double ReadSufValue(std::string_view Text);
