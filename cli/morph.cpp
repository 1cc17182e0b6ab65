// morph and frames: blends of START toward TARGET written as shape files.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "app/morph.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/picture.h"
#include "cli/png.h"
#include "cli/progress.h"
#include "cli/shape_files.h"
#include "cli/sheet.h"
#include "cli/timings.h"
#include "shape/state.h"
#include "shape/vane.h"
#include "view/canvas.h"
#include "view/fit.h"
#include "view/settings.h"

namespace {

constexpr TUsage kMorphUsage = {
    "morph", "START.suf TARGET.suf PERCENT OUT.suf [--normals lerp|renormalize] [--blend LIST] [--timings]",
    "Moves every vertex value of START PERCENT percent of the way toward the\n"
    "corresponding value of TARGET and writes the result to OUT. PERCENT is a\n"
    "whole number; 0 gives START, 100 gives TARGET, values below 0 or above 100\n"
    "extrapolate. Vertices pair by position: the k-th vertex of the j-th polygon\n"
    "of the i-th object of both files. Where one file has fewer items the blend\n"
    "stops there and the rest keeps START's values. OUT - is standard output.\n"
    "\n"
    "  --normals lerp         blend normals component by component, as the\n"
    "                         desktop program does (the default)\n"
    "  --normals renormalize  then scale each blended normal of a shade or\n"
    "                         uvshade polygon back to unit length; one that blends\n"
    "                         to (near) zero length is left as it is and counted\n"
    "                         in a warning\n"
    "  --blend LIST           which values blend, of pos,normal,uv (default all\n"
    "                         three); the others keep START's values\n"
    "  --timings              print the time of each step on stderr\n"};

constexpr TUsage kFramesUsage = {
    "frames",
    "START.suf TARGET.suf FROM TO STEP PATTERN [--normals lerp|renormalize] [--blend LIST]\n"
    "       [--png | --png-only] [--view xy|yz|zx|perspective] [--size WxH] [--sheet OUT.png] [--quiet]",
    "Writes one blend of START toward TARGET for each percentage FROM,\n"
    "FROM+STEP, ... up to and including TO. PATTERN names the files and holds\n"
    "\"{}\" once, replaced by the percentage with at least three digits\n"
    "(005, 050, 100, 150, -50). STEP may be negative, never 0, and must land\n"
    "on TO. Prints each file name as it is written. --normals and --blend work\n"
    "as for morph. PATTERN always names files, never standard output.\n"
    "\n"
    "  --png            also draw each frame into a PNG named by PATTERN with\n"
    "                   .png in place of .suf (or added)\n"
    "  --png-only       the PNG pictures without the .suf files\n"
    "  --view VIEW      xy, yz, zx (axes across and up) or perspective (default xy)\n"
    "  --size WxH       picture size in pixels, each 1..8192 (default 400x400)\n"
    "  --sheet OUT.png  a contact sheet of every frame, labelled with its\n"
    "                   percentage, each frame at --size; --sheet - writes it to\n"
    "                   standard output and prints no file names\n"
    "  --quiet          no progress; progress (frame k of n, time left) is only\n"
    "                   ever shown when stderr is a terminal\n"
    "Every picture is fitted to the box of all frames together, so the shape\n"
    "does not jump from one frame to the next.\n"};

// Reads --normals and --blend into Options. Returns false after printing
// the usage error.
bool ReadBlendOptions(const TArguments& args, const TUsage& usage, TBlendOptions& options) {
    if (const std::string_view* normals = args.Value("--normals")) {
        if (*normals == "renormalize") {
            options.Renormalize = true;
        } else if (*normals != "lerp") {
            UsageError(usage, "--normals must be lerp or renormalize, not '" + std::string(*normals) + "'");
            return false;
        }
    }
    if (const std::string_view* list = args.Value("--blend")) {
        options.Positions = options.Normals = options.TextureCoordinates = false;
        std::string_view rest = *list;
        while (true) {
            const std::size_t comma = rest.find(',');
            const std::string_view name = rest.substr(0, comma);
            if (name == "pos") {
                options.Positions = true;
            } else if (name == "normal") {
                options.Normals = true;
            } else if (name == "uv") {
                options.TextureCoordinates = true;
            } else {
                UsageError(usage, "--blend takes a list of pos, normal and uv, not '" + std::string(*list) + "'");
                return false;
            }
            if (comma == std::string_view::npos) break;
            rest.remove_prefix(comma + 1);
        }
    }
    return true;
}

// Blends with the options and warns on stderr, naming the file, about
// normals too short to renormalise.
void Blend(const TShapeList& start, const TShapeList& target, TShapeList& result, std::int32_t percent,
           const TBlendOptions& options, const std::string& file_name) {
    const TBlendOutcome outcome = BlendSuf(start.Get(), target.Get(), result.Get(), percent, options);
    if (outcome.NearZeroNormals == 0) return;
    ClearProgress();
    PutBytes(file_name, stderr);
    std::fprintf(stderr, ": warning: %lld blended normals have (near) zero length and were left as they are\n",
                 static_cast<long long>(outcome.NearZeroNormals));
}

// Puts a fresh copy of start into result, ready to be blended. Prints the
// reason and returns false when memory runs out.
bool CopyStart(TVANE_Object* start, TShapeList& result) {
    result.Reset(VANE->CopySuf(start));
    if (!result.Get()) {
        ClearProgress();
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

// The picture's name for a frame file: .png in place of a final .suf, or added.
std::string PictureFileName(const std::string& frame_name) {
    constexpr std::string_view kSuf = ".suf";
    if (frame_name.size() > kSuf.size() && frame_name.ends_with(kSuf))
        return frame_name.substr(0, frame_name.size() - kSuf.size()) + ".png";
    return frame_name + ".png";
}

void PrintName(const std::string& file_name, bool print) {
    if (!print) return;
    PutBytes(file_name, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// What frames draws besides the shape files.
struct TPictures {
    bool Frames = false;       // one PNG per frame
    bool ShapeFiles = true;    // the .suf frames
    std::string SheetName;     // the contact sheet, when not empty
    std::uint8_t ViewKind = kViewXY;
    std::int32_t Width = 400;
    std::int32_t Height = 400;

    bool Any() const { return Frames || !SheetName.empty(); }
};

// Reads the picture options of frames. Returns false after printing the
// usage error.
bool ReadPictures(const TArguments& args, TPictures& pictures) {
    pictures.Frames = args.Has("--png") || args.Has("--png-only");
    pictures.ShapeFiles = !args.Has("--png-only");
    if (const std::string_view* sheet = args.Value("--sheet")) pictures.SheetName = *sheet;
    const std::string_view* view = args.Value("--view");
    const std::string_view* size = args.Value("--size");
    if ((view || size) && !pictures.Any()) {
        UsageError(kFramesUsage, "--view and --size need --png, --png-only or --sheet");
        return false;
    }
    if (view && !ParseView(*view, pictures.ViewKind)) {
        UsageError(kFramesUsage, "unknown view '" + std::string(*view) + "'");
        return false;
    }
    if (size && !ParseSize(*size, pictures.Width, pictures.Height)) {
        UsageError(kFramesUsage, "bad size '" + std::string(*size) + "'");
        return false;
    }
    return true;
}

}  // namespace

int RunMorph(int argc, char** argv) {
    TArguments args;
    if (!ParseArguments(argc, argv, kMorphUsage, {"--timings"}, args, {"--normals", "--blend"}))
        return kExitUsage;
    if (args.Help) return ShowHelp(kMorphUsage);
    if (args.Positionals.size() != 4) return UsageError(kMorphUsage, "needs four arguments");
    std::int32_t percent = 0;
    if (!ParseWholeNumber(args.Positionals[2], percent))
        return UsageError(kMorphUsage, "PERCENT must be a whole number in the signed 32-bit range, not '" +
                                           std::string(args.Positionals[2]) + "'");
    TBlendOptions options;
    if (!ReadBlendOptions(args, kMorphUsage, options)) return kExitUsage;
    const std::string out_name(args.Positionals[3]);

    TStepTimer timer(args.Has("--timings"));
    TShapeList start, target;
    if (!LoadShapeFiles(std::string(args.Positionals[0]), start, std::string(args.Positionals[1]), target))
        return kExitFailed;
    timer.Lap("load start and target");
    // START is blended in place: a copy of it would be the same list, values
    // aside, and would hold as much memory again.
    Blend(start, target, start, percent, options, out_name);
    target.Reset(nullptr);
    timer.Lap("blend");
    if (!SaveShapeFile(out_name, start.Get())) return kExitFailed;
    timer.Lap("save");
    return kExitOk;
}

int RunFrames(int argc, char** argv) {
    TArguments args;
    if (!ParseArguments(argc, argv, kFramesUsage, {"--png", "--png-only", "--quiet"}, args,
                        {"--normals", "--blend", "--view", "--size", "--sheet"}))
        return kExitUsage;
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
    const std::int64_t count = (to - from) / step + 1;
    const std::string pattern(args.Positionals[5]);
    const std::size_t slot = pattern.find("{}");
    if (slot == std::string::npos || pattern.find("{}", slot + 2) != std::string::npos)
        return UsageError(kFramesUsage, "PATTERN must hold \"{}\" exactly once");
    TBlendOptions options;
    if (!ReadBlendOptions(args, kFramesUsage, options)) return kExitUsage;
    TPictures pictures;
    if (!ReadPictures(args, pictures)) return kExitUsage;
    TContactSheet sheet(count, pictures.Width, pictures.Height);
    if (!pictures.SheetName.empty() && !sheet.Fits())
        return UsageError(kFramesUsage, "a sheet of " + std::to_string(count) + " frames at " +
                                            std::to_string(pictures.Width) + "x" +
                                            std::to_string(pictures.Height) + " would be " +
                                            std::to_string(sheet.SheetWidth()) + "x" +
                                            std::to_string(sheet.SheetHeight()) +
                                            " pixels, too large; choose a smaller --size");

    TShapeList start, target, result;
    if (!LoadShapeFile(std::string(args.Positionals[0]), start)) return kExitFailed;
    if (!LoadShapeFile(std::string(args.Positionals[1]), target)) return kExitFailed;
    // One copy serves every frame: each blend overwrites every value it
    // reaches, and the values it does not reach are the start's.
    if (!CopyStart(start.Get(), result)) return kExitFailed;

    TVANE_ViewSettings settings;
    TVANE_Colors colors;
    TBitmap picture;
    if (pictures.Any()) {
        // Fit once to the box of all frames together, so that the pictures
        // share one scale and the shape does not jump between them.
        TBoxGrowth<Extended> box;
        for (std::int64_t p = from;; p += step) {
            BlendSuf(start.Get(), target.Get(), result.Get(), static_cast<std::int32_t>(p), options);
            AddShapeExtents(result.Get(), box);
            if (p == to) break;
        }
        VANE->DefaultViewSettings(settings);
        settings.ViewKind = pictures.ViewKind;
        settings.ClearFirst = true;
        settings.ShowGrid = false;
        FitPicture(box.Box(), pictures.Width, pictures.Height, settings);
        VANE->DefaultViewColors(colors);
        picture.SetSize(pictures.Width, pictures.Height);
    }

    // A sheet on standard output is alone there.
    const bool print_names = pictures.SheetName != "-";
    TProgress progress(count, args.Has("--quiet"));
    std::int64_t done = 0;
    for (std::int64_t p = from;; p += step, ++done) {
        progress.Show(done);
        const auto percent = static_cast<std::int32_t>(p);
        const std::string file_name = FrameFileName(pattern, slot, percent);
        const std::string picture_name = PictureFileName(file_name);
        Blend(start, target, result, percent, options, pictures.ShapeFiles ? file_name : picture_name);
        if (pictures.ShapeFiles && !SaveShapeFile(file_name, result.Get())) return kExitFailed;
        if (pictures.Any()) VANE->DrawSuf(result.Get(), picture, settings, colors);
        if (pictures.Frames && !WritePng(picture_name, picture)) return kExitFailed;
        if (!pictures.SheetName.empty()) sheet.Place(done, picture, std::to_string(percent) + "%");
        progress.Clear();
        if (pictures.ShapeFiles) PrintName(file_name, print_names);
        if (pictures.Frames) PrintName(picture_name, print_names);
        if (p == to) break;
    }
    progress.Clear();
    if (!pictures.SheetName.empty()) {
        if (!WritePng(pictures.SheetName, sheet.Bitmap())) return kExitFailed;
        PrintName(pictures.SheetName, print_names);
    }
    return kExitOk;
}
