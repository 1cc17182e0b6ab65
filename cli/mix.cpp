// mix: one blend of a start shape toward several targets at once.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "app/morph.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/shape_files.h"
#include "shape/errors.h"
#include "shape/number.h"
#include "shape/state.h"
#include "shape/vane.h"

namespace {

constexpr TUsage kMixUsage = {
    "mix", "START.suf OUT.suf --target TARGET.suf PERCENT [--target TARGET.suf PERCENT ...]",
    "Moves every vertex value of START toward several targets at once and writes\n"
    "the result to OUT: the value becomes START + the sum of PERCENT/100 times\n"
    "(TARGET - START) over the targets, in their order. PERCENT is a number as a\n"
    "shape file writes one (50, -25, 12.5); beyond 0..100 it extrapolates.\n"
    "Vertices pair by position as for morph, and mix with one target writes\n"
    "the very bytes morph writes.\n"};

}  // namespace

int RunMix(int argc, char** argv) {
    std::vector<std::string_view> positionals;
    std::vector<std::string> target_names;
    std::vector<Extended> percents;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help") return ShowHelp(kMixUsage);
        if (arg != "--target") {
            if (arg.size() > 1 && arg.substr(0, 2) == "--")
                return UsageError(kMixUsage, "unknown option '" + std::string(arg) + "'");
            positionals.push_back(arg);
            continue;
        }
        if (i + 2 >= argc) return UsageError(kMixUsage, "--target needs a file and a percentage");
        target_names.emplace_back(argv[i + 1]);
        const std::string_view percent = argv[i + 2];
        double value = 0;
        if (!TryToValue(percent, value))
            return UsageError(kMixUsage, "PERCENT must be a number, not '" + std::string(percent) + "'");
        percents.push_back(value);
        i += 2;
    }
    if (positionals.size() != 2) return UsageError(kMixUsage, "needs START and OUT");
    if (target_names.empty()) return UsageError(kMixUsage, "needs at least one --target");

    TShapePtr start, result;
    std::vector<TShapePtr> targets(target_names.size());
    if (!LoadShapeFile(std::string(positionals[0]), start)) return kExitFailed;
    std::vector<TMixTarget> mix;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        if (!LoadShapeFile(target_names[i], targets[i])) return kExitFailed;
        mix.push_back({targets[i].get(), percents[i]});
    }
    result.reset(VANE->CopySuf(start.get()));
    if (!result.get()) {
        std::fprintf(stderr, "plivra-cli: %s\n", SufErrorMessage.c_str());
        return kExitFailed;
    }
    MixSuf(start.get(), mix.data(), mix.size(), result.get());
    if (!SaveShapeFile(std::string(positionals[1]), result.get())) return kExitFailed;
    return kExitOk;
}
