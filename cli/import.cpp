// import: a mesh file of another format written as a shape file, and a
// glTF file's morph targets as shape files of their own.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/shape_files.h"
#include "formats/builder.h"

namespace {

constexpr TUsage kImportUsage = {
    "import", "IN OUT.suf [--targets PATTERN]",
    "Reads IN, an OBJ, glTF (.gltf, .glb), PLY or STL file, and writes it as the\n"
    "shape file OUT. Vertices keep the file's order, face by face and corner by\n"
    "corner, so two files of one topology give corresponding shapes. Every\n"
    "command that reads a shape file reads these formats the same way.\n"
    "\n"
    "  --targets PATTERN  also write each morph target of a glTF file as a whole\n"
    "                     shape that corresponds to OUT vertex for vertex, to\n"
    "                     PATTERN with {} replaced by the target's name (from\n"
    "                     the file, else target1, target2, ...; made unique and\n"
    "                     safe for a file name)\n"};

// PATTERN with its first {} replaced by name.
std::string FillPattern(const std::string& pattern, const std::string& name) {
    std::string out = pattern;
    out.replace(out.find("{}"), 2, name);
    return out;
}

}  // namespace

int RunImport(int argc, char** argv) {
    TArguments args;
    if (const int status = ParseCommand(argc, argv, kImportUsage, 2, args, {}, {"--targets"}); status != kGoOn)
        return status;
    const std::string in_name(args.Positionals[0]), out_name(args.Positionals[1]);
    const std::string_view* pattern = args.Value("--targets");
    if (pattern != nullptr && pattern->find("{}") == std::string_view::npos)
        return UsageError(kImportUsage, "--targets PATTERN must hold {}, which becomes each target's name");
    TShapePtr shape;
    std::vector<TImportedTarget> targets;
    if (!LoadShapeFile(in_name, shape, targets, pattern != nullptr)) return kExitFailed;

    std::vector<std::string> files;
    if (pattern != nullptr) {
        std::vector<std::string> names;
        for (std::size_t t = 0; t < targets.size(); ++t)
            names.push_back(FileNamePart(targets[t].Name, "target" + std::to_string(t + 1)));
        MakeUnique(names);
        for (const std::string& name : names) {
            files.push_back(FillPattern(std::string(*pattern), name));
            // Two outputs at one path would leave only the last one there.
            bool twice = files.back() == out_name;
            for (std::size_t i = 0; i + 1 < files.size(); ++i) twice = twice || files[i] == files.back();
            if (twice) {
                ReportFailure(files.back(), "would be written twice by this command; nothing was written");
                return kExitFailed;
            }
        }
    }
    if (!SaveShapeFile(out_name, shape.get())) return kExitFailed;
    for (std::size_t t = 0; t < files.size(); ++t)
        if (!SaveShapeFile(files[t], targets[t].Shape.get())) return kExitFailed;
    if (pattern != nullptr && targets.empty()) {
        PutBytes(in_name, stderr);
        std::fputs(": holds no morph target; only the shape was written\n", stderr);
    }
    if (pattern == nullptr && !targets.empty()) {
        PutBytes(in_name, stderr);
        std::fprintf(stderr,
                     ": %zu morph target%s not written; add --targets 'PATTERN' (a file name with {} for the "
                     "target's name) to write %s\n",
                     targets.size(), targets.size() == 1 ? " was" : "s were", targets.size() == 1 ? "it" : "them");
    }
    return kExitOk;
}
