#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Exit statuses shared by every command.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // input not a shape, output not written, shapes not corresponding
constexpr int kExitUsage = 2;

// One command's usage: its synopsis line and the text below it.
struct TUsage {
    const char* Command;   // "morph"
    const char* Synopsis;  // "START.suf TARGET.suf PERCENT OUT.suf [--timings]"
    const char* Details;   // paragraphs after the synopsis, each line ended by '\n'
};

// The arguments after the command word, split into positionals and the
// options that the command accepts: flags ("--timings") and options that take
// the next word as their value ("--view xy"). "--help" is always accepted;
// "--" ends the options, so a file name may begin with "--". A word that
// begins with a single '-' is a positional ("-50").
struct TArguments {
    std::vector<std::string_view> Positionals;
    std::vector<std::string_view> Options;
    std::vector<std::pair<std::string_view, std::string_view>> Values;  // option, value
    bool Help = false;

    bool Has(std::string_view Option) const;
    // The value given to Option (the last one when given twice), or nullptr.
    const std::string_view* Value(std::string_view Option) const;
};

// Splits argv (argv[0] is the command word). Returns false, after printing
// the error and the usage on stderr, for an option the command does not take
// and for a value option at the end without its value.
bool ParseArguments(int argc, char** argv, const TUsage& Usage,
                    std::initializer_list<std::string_view> Accepted, TArguments& Out,
                    std::initializer_list<std::string_view> WithValue = {});

// What ParseCommand returns when the command goes on.
constexpr int kGoOn = -1;

// The start of a command that takes Count positionals: splits argv as
// ParseArguments does and answers --help, a bad option and another count
// itself ("needs two arguments"). Returns kGoOn, or the status the command
// ends with.
int ParseCommand(int argc, char** argv, const TUsage& Usage, std::size_t Count, TArguments& Out,
                 std::initializer_list<std::string_view> Accepted = {},
                 std::initializer_list<std::string_view> WithValue = {});

// Prints the usage on stdout for --help; returns kExitOk.
int ShowHelp(const TUsage& Usage);
// Prints "plivra-cli COMMAND: Message" and the usage on stderr; returns kExitUsage.
int UsageError(const TUsage& Usage, const std::string& Message);

// Reads a whole decimal number in the signed 32-bit range: an optional '-'
// or '+' and digits, nothing else. False for anything else.
bool ParseWholeNumber(std::string_view Text, std::int32_t& Value);
