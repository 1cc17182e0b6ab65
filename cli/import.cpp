// import: a mesh file of another format written as a shape file.
#include <string>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/shape_files.h"

namespace {

constexpr TUsage kImportUsage = {
    "import", "IN OUT.suf",
    "Reads IN, an OBJ, glTF (.gltf, .glb), PLY or STL file, and writes it as the\n"
    "shape file OUT. Vertices keep the file's order, face by face and corner by\n"
    "corner, so two files of one topology give corresponding shapes. Every\n"
    "command that reads a shape file reads these formats the same way.\n"};

}  // namespace

int RunImport(int argc, char** argv) {
    TArguments args;
    if (const int status = ParseCommand(argc, argv, kImportUsage, 2, args); status != kGoOn) return status;
    TShapePtr shape;
    if (!LoadShapeFile(std::string(args.Positionals[0]), shape)) return kExitFailed;
    if (!SaveShapeFile(std::string(args.Positionals[1]), shape.get())) return kExitFailed;
    return kExitOk;
}
