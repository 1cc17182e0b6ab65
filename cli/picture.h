#pragma once
#include <cstdint>
#include <string_view>

// The picture options of the commands that write PNG files.

constexpr std::int32_t kMaxPictureSide = 8192;

// "xy", "yz", "zx" or "perspective" into a view kind; false for anything else.
bool ParseView(std::string_view Text, std::uint8_t& Kind);

// "WxH", each side a whole number 1..kMaxPictureSide; false for anything else.
bool ParseSize(std::string_view Text, std::int32_t& Width, std::int32_t& Height);
