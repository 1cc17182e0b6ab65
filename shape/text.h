#pragma once
#include <string>
#include <string_view>

// Names in the records are bytes as they stand in their file; shape files
// from Japan hold Shift-JIS. These turn such bytes into Unicode text for
// everything that is read as Unicode (glTF JSON, reports, windows).

// True when Bytes are valid UTF-8 as they stand (no overlong forms, no
// surrogates, nothing beyond U+10FFFF). The empty string is.
bool IsUtf8(std::string_view Bytes);

// Bytes as UTF-8 text: valid UTF-8 as it stands; else, when the whole of
// Bytes is valid Shift-JIS as Windows reads it (CP932, with the NEC and IBM
// extensions), that decoded; else every byte as the code point of the same
// number (Latin-1). Never fails; the result is always valid UTF-8, and for
// one Bytes always the same. Safe to call from several threads at once.
std::string NameText(std::string_view Bytes);
