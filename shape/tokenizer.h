#pragma once
#include <string>
#include <string_view>

// The tokenizer of shape files, for the statement parser. It works on the
// calling thread's reader state (shape/state.h). The views it returns show
// its window or `scratch` and are valid until the next call.

// Next raw word of FileName, opening it at the first line when no file is
// open; "" at the file's end, which closes it. A word ends after the first
// delimiter (shape/vane.h tells them); a line beginning with a delimiter
// gives that byte alone. Throws SufIOError when the file cannot be read.
std::string_view NextWord(const std::string& FileName);

// Next word with comments cut out and blanks trimmed, skipping words that
// come out empty; "" at the file's end. `scratch` holds the word when a
// comment was cut out of its middle.
std::string_view NextToken(const std::string& FileName, std::string& scratch);

// A vertex value standing alone between blanks, read straight from the
// line of the open file FileName; the tokenizer is left where reading it with NextToken and ToValue
// would leave it, and the value is the same. False, with nothing taken, for
// anything else (a comment, a delimiter, the file's end, a file not open).
// Throws SufConvertError as ToValue.
bool NextPlainValue(const std::string& FileName, double& Value);

// Closes the file, so that the next word comes from a file opened afresh.
void EndSufFile();
