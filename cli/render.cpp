// render: one wireframe view of a shape file written as a PNG picture.
#include <string>
#include <string_view>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/picture.h"
#include "cli/png.h"
#include "cli/shape_files.h"
#include "shape/vane.h"
#include "view/canvas.h"
#include "view/settings.h"

namespace {

constexpr TUsage kRenderUsage = {
    "render", "FILE.suf OUT.png [--view xy|yz|zx|perspective] [--size WxH] [--grid]",
    "Fits the view to the whole shape and draws its wireframe in the default\n"
    "colours (grey background; polygons read from a file in cyan) into a PNG.\n"
    "OUT.png - is standard output.\n"
    "  --view xy|yz|zx  which axes go across and up (default xy)\n"
    "  --view perspective  through the library's pinhole camera from the +X side,\n"
    "                   aimed at the shape's centre (never with a grid)\n"
    "  --size WxH       picture size in pixels, each 1..8192 (default 400x400)\n"
    "  --grid           draw the blue grid, 10 units apart, beneath the shape\n"};

}  // namespace

int RunRender(int argc, char** argv) {
    TArguments args;
    if (const int status = ParseCommand(argc, argv, kRenderUsage, 2, args, {"--grid"}, {"--view", "--size"});
        status != kGoOn)
        return status;

    std::uint8_t kind = kViewXY;
    if (const std::string_view* view = args.Value("--view"); view && !ParseView(*view, kind))
        return UsageError(kRenderUsage, "unknown view '" + std::string(*view) + "'");
    std::int32_t width = 400, height = 400;
    if (const std::string_view* size = args.Value("--size"); size && !ParseSize(*size, width, height))
        return UsageError(kRenderUsage, "bad size '" + std::string(*size) + "'");

    TShapePtr shape;
    if (!LoadShapeFile(std::string(args.Positionals[0]), shape)) return kExitFailed;

    TVANE_ViewSettings settings;
    VANE->DefaultViewSettings(settings);
    settings.ViewKind = kind;
    settings.ClearFirst = true;
    settings.ShowGrid = args.Has("--grid");
    VANE->FitView(shape.get(), settings, settings);
    TVANE_Colors colors;
    VANE->DefaultViewColors(colors);
    TBitmap bitmap(width, height);
    VANE->DrawSuf(shape.get(), bitmap, settings, colors);
    return WritePng(std::string(args.Positionals[1]), bitmap) ? kExitOk : kExitFailed;
}
