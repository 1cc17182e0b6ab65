#pragma once
#include <stdexcept>
#include <string>

// A token that is not a decimal floating-point literal, or whose value lies
// beyond the double range; also a fitted view whose centre or eye would lie
// beyond it. what() is the UTF-8 text shown to the user, for a token
// "'<token>' は浮動小数点数ではありません".
class SufConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A shape file that cannot be opened or read. what() names the file and the cause.
class SufIOError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Japanese wording of an operating-system error number, for the messages of
// SufIOError and of a failed save.
std::string SufErrnoText(int err);
