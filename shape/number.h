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

// Whether Text is exactly what FormatNumber writes for the value ToValue
// reads from Text: then a value read from a file can be written again by
// copying its text. Answers from the text alone, and says no to some texts
// that would come back the same (values near the ends of the double range).
bool IsFormattedNumber(std::string_view Text);

// The value of Token, which as a whole must be a decimal literal: optional
// sign, digits with an optional '.' and more digits (a digit or the point
// at least), an optional exponent ('e' or 'E', optional sign, digits). The
// nearest double; one that underflows becomes 0 or a subnormal. Throws
// SufConvertError ("'<token>' は浮動小数点数ではありません") for any other
// text and for a value whose nearest double is beyond the largest.
double ToValue(std::string_view Token);

// ToValue without the exception: false, Value untouched, where ToValue throws.
bool TryToValue(std::string_view Token, double& Value);

// Reads the literal at the front of Text when a blank (byte 0..32) or the
// end of Text follows it, giving the value ToValue gives for the literal's
// text. More says that Text may go on past its end: a literal reaching the
// end is then not read. Returns the literal's length, or 0 with nothing read.
// Throws as ToValue for a literal beyond the double range.
std::size_t ReadPlainValue(std::string_view Text, bool More, double& Value);

// ReadPlainValue of a Text that ends there, giving 0 also for a literal
// beyond the double range rather than throwing.
std::size_t TryPlainValue(std::string_view Text, double& Value);

// B if B >= A, else A.
Extended MaxExtended(Extended A, Extended B);

// sqrt((A * A + B * B) + C * C) in extended precision.
Extended VectorLength(Extended A, Extended B, Extended C);
