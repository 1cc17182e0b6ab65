// morph and frames: blends of START toward TARGET written as shape files.
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/morph.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/shape_files.h"
#include "cli/timings.h"
#include "shape/state.h"
#include "shape/vane.h"

namespace {

constexpr TUsage kMorphUsage = {
    "morph", "START.suf TARGET.suf PERCENT OUT.suf [--timings]",
    "Moves every vertex value of START PERCENT percent of the way toward the\n"
    "corresponding value of TARGET and writes the result to OUT. PERCENT is a\n"
    "whole number; 0 gives START, 100 gives TARGET, values below 0 or above 100\n"
    "extrapolate. Vertices pair by position: the k-th vertex of the j-th polygon\n"
    "of the i-th object of both files. Where one file has fewer items the blend\n"
    "stops there and the rest keeps START's values.\n"
    "\n"
    "  --timings  print the time of each step on stderr\n"};

constexpr TUsage kFramesUsage = {
    "frames", "START.suf TARGET.suf FROM TO STEP PATTERN",
    "Writes one blend of START toward TARGET for each percentage FROM,\n"
    "FROM+STEP, ... up to and including TO. PATTERN names the files and holds\n"
    "\"{}\" once, replaced by the percentage with at least three digits\n"
    "(005, 050, 100, 150, -50). STEP may be negative, never 0, and must land\n"
    "on TO. Prints each file name as it is written.\n"};

// Puts a fresh copy of start into result, ready to be blended. Prints the
// reason and returns false when memory runs out.
bool CopyStart(TVANE_Object* start, TShapeList& result) {
    result.Reset(VANE->CopySuf(start));
    if (!result.Get()) {
        std::fprintf(stderr, "plivra-cli: %s\n", SufErrorMessage.c_str());
        return false;
    }
    return true;
}

// PATTERN with its "{}" replaced by the percentage, printed like "%03d".
std::string FrameFileName(const std::string& pattern, std::size_t slot, std::int32_t percent) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%03d", static_cast<int>(percent));
    return pattern.substr(0, slot) + digits + pattern.substr(slot + 2);
}

}  // namespace

int RunMorph(int argc, char** argv) {
    TArguments args;
    if (!ParseArguments(argc, argv, kMorphUsage, {"--timings"}, args)) return kExitUsage;
    if (args.Help) return ShowHelp(kMorphUsage);
    if (args.Positionals.size() != 4) return UsageError(kMorphUsage, "needs four arguments");
    std::int32_t percent = 0;
    if (!ParseWholeNumber(args.Positionals[2], percent))
        return UsageError(kMorphUsage, "PERCENT must be a whole number in the signed 32-bit range, not '" +
                                           std::string(args.Positionals[2]) + "'");
    TStepTimer timer(args.Has("--timings"));
    TShapeList start, target, result;
    if (!LoadShapeFile(std::string(args.Positionals[0]), start)) return kExitFailed;
    timer.Lap("load start");
    if (!LoadShapeFile(std::string(args.Positionals[1]), target)) return kExitFailed;
    timer.Lap("load target");
    if (!CopyStart(start.Get(), result)) return kExitFailed;
    timer.Lap("copy");
    BlendSuf(start.Get(), target.Get(), result.Get(), percent);
    timer.Lap("blend");
    if (!SaveShapeFile(std::string(args.Positionals[3]), result.Get())) return kExitFailed;
    timer.Lap("save");
    return kExitOk;
}

int RunFrames(int argc, char** argv) {
    TArguments args;
    if (!ParseArguments(argc, argv, kFramesUsage, {}, args)) return kExitUsage;
    if (args.Help) return ShowHelp(kFramesUsage);
    if (args.Positionals.size() != 6) return UsageError(kFramesUsage, "needs six arguments");
    std::int32_t range[3] = {};
    const char* names[3] = {"FROM", "TO", "STEP"};
    for (int i = 0; i < 3; ++i) {
        if (!ParseWholeNumber(args.Positionals[2 + i], range[i]))
            return UsageError(kFramesUsage, std::string(names[i]) +
                                                " must be a whole number in the signed 32-bit range, not '" +
                                                std::string(args.Positionals[2 + i]) + "'");
    }
    const std::int64_t from = range[0], to = range[1], step = range[2];
    if (step == 0) return UsageError(kFramesUsage, "STEP must not be 0");
    if ((to - from) % step != 0 || (to - from) / step < 0)
        return UsageError(kFramesUsage, "STEP " + std::to_string(step) + " never reaches TO " +
                                            std::to_string(to) + " from " + std::to_string(from));
    const std::string pattern(args.Positionals[5]);
    const std::size_t slot = pattern.find("{}");
    if (slot == std::string::npos || pattern.find("{}", slot + 2) != std::string::npos)
        return UsageError(kFramesUsage, "PATTERN must hold \"{}\" exactly once");

    TShapeList start, target, result;
    if (!LoadShapeFile(std::string(args.Positionals[0]), start)) return kExitFailed;
    if (!LoadShapeFile(std::string(args.Positionals[1]), target)) return kExitFailed;
    for (std::int64_t p = from;; p += step) {
        const auto percent = static_cast<std::int32_t>(p);
        const std::string file_name = FrameFileName(pattern, slot, percent);
        if (!CopyStart(start.Get(), result)) return kExitFailed;
        BlendSuf(start.Get(), target.Get(), result.Get(), percent);
        if (!SaveShapeFile(file_name, result.Get())) return kExitFailed;
        PutBytes(file_name, stdout);
        std::fputc('\n', stdout);
        if (p == to) break;
    }
    return kExitOk;
}
