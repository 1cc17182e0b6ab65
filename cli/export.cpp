// export: shapes written as glTF 2.0 (a morph with its animation) or OBJ.
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/shape_files.h"
#include "formats/export.h"
#include "shape/number.h"

namespace {

constexpr TUsage kExportUsage = {
    "export", "START.suf [TARGET.suf ...] OUT.glb|OUT.gltf [--from PERCENT] [--to PERCENT] [--seconds S]\n"
    "       plivra-cli export SHAPE.suf OUT.obj",
    "Writes START as a glTF 2.0 mesh, each TARGET as one of its morph targets\n"
    "(named after the file), and an animation that takes every target's weight\n"
    "from --from to --to percent (default 0 and 100; beyond 0..100 extrapolates)\n"
    "in --seconds seconds (default 2). Polygons become fans of triangles. .glb\n"
    "is the binary container, .gltf one JSON file with the data inside. Targets\n"
    "pair with START vertex by vertex, as morph pairs them.\n"
    "With OUT.obj, writes the one shape as an OBJ file.\n"};

std::string_view Extension(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    const std::size_t slash = name.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    return name.substr(dot + 1);
}

// The file's name without folder and extension: the target's name in the file.
std::string Stem(std::string_view name) {
    const std::size_t slash = name.rfind('/');
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    const std::size_t dot = name.rfind('.');
    return std::string(name.substr(0, dot == 0 ? name.size() : dot));
}

bool ReadNumber(const TArguments& args, std::string_view option, Extended& value) {
    const std::string_view* text = args.Value(option);
    if (text == nullptr) return true;
    double read = 0;
    if (!TryToValue(*text, read)) {
        UsageError(kExportUsage, std::string(option) + " must be a number, not '" + std::string(*text) + "'");
        return false;
    }
    value = read;
    return true;
}

}  // namespace

int RunExport(int argc, char** argv) {
    TArguments args;
    if (!ParseArguments(argc, argv, kExportUsage, {}, args, {"--from", "--to", "--seconds"})) return kExitUsage;
    if (args.Help) return ShowHelp(kExportUsage);
    if (args.Positionals.size() < 2) return UsageError(kExportUsage, "needs a shape and an output file");
    const std::string out_name(args.Positionals.back());
    const std::string_view ext = Extension(out_name);
    const bool obj = ext == "obj" || ext == "OBJ";
    const bool glb = ext == "glb" || ext == "GLB";
    if (!obj && !glb && ext != "gltf" && ext != "GLTF")
        return UsageError(kExportUsage, "OUT must end in .glb, .gltf or .obj");
    if (obj && (args.Positionals.size() != 2 || !args.Values.empty()))
        return UsageError(kExportUsage, "an OBJ file holds one shape and no animation");
    TGltfAnimation animation;
    Extended seconds = animation.Seconds;
    if (!ReadNumber(args, "--from", animation.FromPercent) || !ReadNumber(args, "--to", animation.ToPercent) ||
        !ReadNumber(args, "--seconds", seconds))
        return kExitUsage;
    // The animation's times are floats that must increase: 0, then the
    // seconds rounded to float.
    if (!(seconds > 0) || seconds > 1e9L) return UsageError(kExportUsage, "--seconds must be above 0 and at most 1e9");
    if (!(static_cast<float>(seconds) > 0))
        return UsageError(kExportUsage, "--seconds is too small for a glTF time (it rounds to 0 as a float)");
    animation.Seconds = static_cast<double>(seconds);

    std::vector<TShapePtr> shapes(args.Positionals.size() - 1);
    for (std::size_t i = 0; i < shapes.size(); ++i)
        if (!LoadShapeFile(std::string(args.Positionals[i]), shapes[i])) return kExitFailed;
    std::vector<TGltfTarget> targets;
    for (std::size_t i = 1; i < shapes.size(); ++i) targets.push_back({shapes[i].get(), Stem(args.Positionals[i])});
    return ExportShapeFile(out_name, shapes[0].get(), targets, animation) ? kExitOk : kExitFailed;
}
