#pragma once
#include <cstdint>
#include <string>
#include <string_view>

struct TBitmap;

// Pictures of shapes for the commands that write PNG files.

constexpr std::int32_t kMaxPictureSide = 8192;

// "xy", "yz", "zx" or "perspective" into a view kind; false for anything else.
bool ParseView(std::string_view Text, std::uint8_t& Kind);

// "WxH", each side a whole number 1..kMaxPictureSide; false for anything else.
bool ParseSize(std::string_view Text, std::int32_t& Width, std::int32_t& Height);

// Writes Bitmap to FileName as an 8-bit RGB PNG. On failure prints
// "FILE: MESSAGE" on stderr, removes the partial file and returns false.
bool WritePng(const std::string& FileName, const TBitmap& Bitmap);
