#pragma once
#include <string>

struct TBitmap;

// Writes Bitmap to FileName ("-" is standard output) as an 8-bit RGB PNG
// through the output layer. On failure prints "FILE: MESSAGE" on stderr,
// leaves what stood at FileName as it was and returns false.
bool WritePng(const std::string& FileName, const TBitmap& Bitmap);
