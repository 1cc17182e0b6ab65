// render: one wireframe view of a shape file written as a PNG picture.
#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/shape_files.h"
#include "shape/vane.h"
#include "view/canvas.h"
#include "view/settings.h"

namespace {

constexpr TUsage kRenderUsage = {
    "render", "FILE.suf OUT.png [--view xy|yz|zx|perspective] [--size WxH] [--grid]",
    "Fits the view to the whole shape and draws its wireframe in the default\n"
    "colours (grey background; polygons read from a file in cyan) into a PNG.\n"
    "  --view xy|yz|zx  which axes go across and up (default xy)\n"
    "  --view perspective  through the library's pinhole camera from the +X side,\n"
    "                   aimed at the shape's centre (never with a grid)\n"
    "  --size WxH       picture size in pixels, each 1..8192 (default 400x400)\n"
    "  --grid           draw the blue grid, 10 units apart, beneath the shape\n"};

constexpr std::int32_t kMaxSide = 8192;

struct TViewName {
    std::string_view Name;
    std::uint8_t Kind;
};
constexpr TViewName kViews[] = {{"xy", kViewXY},
                                {"yz", kViewYZ},
                                {"zx", kViewZX},
                                {"perspective", kViewPerspective}};

bool ParseView(std::string_view text, std::uint8_t& kind) {
    for (const TViewName& view : kViews) {
        if (text == view.Name) {
            kind = view.Kind;
            return true;
        }
    }
    return false;
}

bool ParseSize(std::string_view text, std::int32_t& width, std::int32_t& height) {
    const std::size_t x = text.find('x');
    if (x == std::string_view::npos) return false;
    return ParseWholeNumber(text.substr(0, x), width) && ParseWholeNumber(text.substr(x + 1), height) &&
           width >= 1 && width <= kMaxSide && height >= 1 && height <= kMaxSide;
}

// libpng reports errors through this function, which must not return.
struct TPngError {
    char Message[200] = "";
};

[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
    auto* error = static_cast<TPngError*>(png_get_error_ptr(png));
    std::snprintf(error->Message, sizeof error->Message, "%s", message);
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Writes the libpng stream; false with error->Message set on failure. Only
// plain values live in this frame, so the long jump out of libpng is safe.
bool WritePngStream(std::FILE* file, const TBitmap& bitmap, TPngError* error) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error, OnPngError, OnPngWarning);
    if (png == nullptr) {
        std::snprintf(error->Message, sizeof error->Message, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(bitmap.Width()),
                 static_cast<png_uint_32>(bitmap.Height()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // Pixels lie in memory as red, green, blue and an opaque filler byte.
    png_set_filler(png, 0, PNG_FILLER_AFTER);
    for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
        const std::uint32_t* row = bitmap.Pixels() + static_cast<std::size_t>(y) * static_cast<std::size_t>(bitmap.Width());
        png_write_row(png, reinterpret_cast<png_const_bytep>(row));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// Writes Bitmap to FileName as an 8-bit RGB PNG. On failure prints
// "FILE: MESSAGE" on stderr, removes the partial file and returns false.
bool WritePng(const std::string& file_name, const TBitmap& bitmap) {
    std::FILE* file = std::fopen(file_name.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "%s: %s\n", file_name.c_str(), std::strerror(errno));
        return false;
    }
    TPngError error;
    bool ok = WritePngStream(file, bitmap, &error);
    if (std::fflush(file) != 0 || std::ferror(file)) {
        if (ok) std::snprintf(error.Message, sizeof error.Message, "%s", std::strerror(errno));
        ok = false;
    }
    if (std::fclose(file) != 0 && ok) {
        std::snprintf(error.Message, sizeof error.Message, "%s", std::strerror(errno));
        ok = false;
    }
    if (!ok) {
        std::fprintf(stderr, "%s: %s\n", file_name.c_str(), error.Message);
        std::remove(file_name.c_str());
    }
    return ok;
}

}  // namespace

int RunRender(int argc, char** argv) {
    TArguments args;
    if (!ParseArguments(argc, argv, kRenderUsage, {"--grid"}, args, {"--view", "--size"}))
        return kExitUsage;
    if (args.Help) return ShowHelp(kRenderUsage);
    if (args.Positionals.size() != 2) return UsageError(kRenderUsage, "needs two arguments");

    std::uint8_t kind = kViewXY;
    if (const std::string_view* view = args.Value("--view"); view && !ParseView(*view, kind))
        return UsageError(kRenderUsage, "unknown view '" + std::string(*view) + "'");
    std::int32_t width = 400, height = 400;
    if (const std::string_view* size = args.Value("--size"); size && !ParseSize(*size, width, height))
        return UsageError(kRenderUsage, "bad size '" + std::string(*size) + "'");

    TShapeList shape;
    if (!LoadShapeFile(std::string(args.Positionals[0]), shape)) return kExitFailed;

    TVANE_ViewSettings settings;
    VANE->DefaultViewSettings(settings);
    settings.ViewKind = kind;
    settings.ClearFirst = true;
    settings.ShowGrid = args.Has("--grid");
    VANE->FitView(shape.Get(), settings, settings);
    TVANE_Colors colors;
    VANE->DefaultViewColors(colors);
    TBitmap bitmap(width, height);
    VANE->DrawSuf(shape.Get(), bitmap, settings, colors);
    return WritePng(std::string(args.Positionals[1]), bitmap) ? kExitOk : kExitFailed;
}
