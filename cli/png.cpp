#include "cli/png.h"

#include <png.h>

#include <cstdio>
#include <new>
#include <string>

#include "cli/shape_files.h"
#include "shape/output.h"
#include "view/canvas.h"

namespace {

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

// libpng hands the stream over in pieces; they are gathered in memory and
// written as one file through the output layer.
struct TPngBytes {
    std::string Bytes;
};

void OnPngWrite(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<TPngBytes*>(png_get_io_ptr(png));
    bool stored = true;
    try {
        out->Bytes.append(reinterpret_cast<const char*>(data), length);
    } catch (const std::bad_alloc&) {
        stored = false;
    }
    // No exception may cross libpng's C frames: it leaves by its long jump.
    if (!stored) png_error(png, "out of memory");
}

void OnPngFlush(png_structp) {}

// Encodes the bitmap into out; false with error->Message set on failure.
// Only plain values live in this frame, so the long jump out of libpng is
// safe.
bool WritePngStream(TPngBytes* out, const TBitmap& bitmap, TPngError* error) {
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
    png_set_write_fn(png, out, OnPngWrite, OnPngFlush);
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

bool WritePng(const std::string& FileName, const TBitmap& Bitmap) {
    const std::string path = OutputPath(FileName);
    TPngBytes png;
    TPngError error;
    if (!WritePngStream(&png, Bitmap, &error)) {
        ReportFailure(FileName, SaveFailureText(path, error.Message));
        return false;
    }
    return WriteOutput(FileName, png.Bytes);
}
