#include "cli/picture.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/arguments.h"
#include "view/canvas.h"
#include "view/settings.h"

namespace {

struct TViewName {
    std::string_view Name;
    std::uint8_t Kind;
};
constexpr TViewName kViews[] = {{"xy", kViewXY},
                                {"yz", kViewYZ},
                                {"zx", kViewZX},
                                {"perspective", kViewPerspective}};

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

}  // namespace

bool ParseView(std::string_view Text, std::uint8_t& Kind) {
    for (const TViewName& view : kViews) {
        if (Text == view.Name) {
            Kind = view.Kind;
            return true;
        }
    }
    return false;
}

bool ParseSize(std::string_view Text, std::int32_t& Width, std::int32_t& Height) {
    const std::size_t x = Text.find('x');
    if (x == std::string_view::npos) return false;
    return ParseWholeNumber(Text.substr(0, x), Width) && ParseWholeNumber(Text.substr(x + 1), Height) &&
           Width >= 1 && Width <= kMaxPictureSide && Height >= 1 && Height <= kMaxPictureSide;
}

bool WritePng(const std::string& FileName, const TBitmap& Bitmap) {
    std::FILE* file = std::fopen(FileName.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "%s: %s\n", FileName.c_str(), std::strerror(errno));
        return false;
    }
    TPngError error;
    bool ok = WritePngStream(file, Bitmap, &error);
    if (std::fflush(file) != 0 || std::ferror(file)) {
        if (ok) std::snprintf(error.Message, sizeof error.Message, "%s", std::strerror(errno));
        ok = false;
    }
    if (std::fclose(file) != 0 && ok) {
        std::snprintf(error.Message, sizeof error.Message, "%s", std::strerror(errno));
        ok = false;
    }
    if (!ok) {
        std::fprintf(stderr, "%s: %s\n", FileName.c_str(), error.Message);
        std::remove(FileName.c_str());
    }
    return ok;
}
