#include "cli/arguments.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iterator>
#include <string>

namespace {

void PrintUsage(std::FILE* out, const TUsage& usage) {
    std::fprintf(out, "usage: plivra-cli %s %s\n", usage.Command, usage.Synopsis);
    if (usage.Details[0] != '\0') std::fprintf(out, "\n%s", usage.Details);
}

}  // namespace

bool TArguments::Has(std::string_view Option) const {
    return std::find(Options.begin(), Options.end(), Option) != Options.end();
}

const std::string_view* TArguments::Value(std::string_view Option) const {
    for (auto it = Values.rbegin(); it != Values.rend(); ++it)
        if (it->first == Option) return &it->second;
    return nullptr;
}

bool ParseArguments(int argc, char** argv, const TUsage& Usage,
                    std::initializer_list<std::string_view> Accepted, TArguments& Out,
                    std::initializer_list<std::string_view> WithValue) {
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (options_ended || arg.size() < 2 || arg.substr(0, 2) != "--") {
            Out.Positionals.push_back(arg);
        } else if (arg == "--") {
            options_ended = true;
        } else if (arg == "--help") {
            Out.Help = true;
        } else if (std::find(Accepted.begin(), Accepted.end(), arg) != Accepted.end()) {
            Out.Options.push_back(arg);
        } else if (std::find(WithValue.begin(), WithValue.end(), arg) != WithValue.end()) {
            if (i + 1 == argc) {
                UsageError(Usage, "option '" + std::string(arg) + "' needs a value");
                return false;
            }
            Out.Values.emplace_back(arg, argv[++i]);
        } else {
            UsageError(Usage, "unknown option '" + std::string(arg) + "'");
            return false;
        }
    }
    return true;
}

int ParseCommand(int argc, char** argv, const TUsage& Usage, std::size_t Count, TArguments& Out,
                 std::initializer_list<std::string_view> Accepted,
                 std::initializer_list<std::string_view> WithValue) {
    if (!ParseArguments(argc, argv, Usage, Accepted, Out, WithValue)) return kExitUsage;
    if (Out.Help) return ShowHelp(Usage);
    if (Out.Positionals.size() != Count) {
        constexpr const char* kCounts[] = {"no arguments", "one argument",   "two arguments", "three arguments",
                                           "four arguments", "five arguments", "six arguments"};
        const std::string count = Count < std::size(kCounts) ? kCounts[Count] : std::to_string(Count) + " arguments";
        return UsageError(Usage, "needs " + count);
    }
    return kGoOn;
}

int ShowHelp(const TUsage& Usage) {
    PrintUsage(stdout, Usage);
    return kExitOk;
}

int UsageError(const TUsage& Usage, const std::string& Message) {
    std::fprintf(stderr, "plivra-cli %s: %s\n", Usage.Command, Message.c_str());
    PrintUsage(stderr, Usage);
    return kExitUsage;
}

bool ParseWholeNumber(std::string_view Text, std::int32_t& Value) {
    // from_chars takes a '-' but no '+'.
    if (!Text.empty() && Text[0] == '+') {
        Text.remove_prefix(1);
        if (!Text.empty() && Text[0] == '-') return false;
    }
    const char* end = Text.data() + Text.size();
    const auto [ptr, ec] = std::from_chars(Text.data(), end, Value);
    return !Text.empty() && ec == std::errc() && ptr == end;
}
