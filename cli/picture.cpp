#include "cli/picture.h"

#include <png.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <new>
#include <numbers>

#include "cli/arguments.h"
#include "cli/shape_files.h"
#include "geometry/perspective.h"
#include "shape/output.h"
#include "view/canvas.h"
#include "view/ortho.h"
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

// Share of the picture left free on each side by FitPicture.
constexpr Extended kMarginShare = 0.04L;

// A 5 x 7 pixel font: one row per byte, the leftmost pixel in bit 4.
struct TGlyph {
    char Character;
    std::uint8_t Rows[7];
};
constexpr std::int32_t kGlyphWidth = 5, kGlyphHeight = 7, kGlyphGap = 1;
constexpr TGlyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'%', {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03}},
};

const TGlyph* FindGlyph(char c) {
    for (const TGlyph& glyph : kGlyphs)
        if (glyph.Character == c) return &glyph;
    return nullptr;
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
    const std::string path = OutputPath(FileName);
    TPngBytes png;
    TPngError error;
    if (!WritePngStream(&png, Bitmap, &error)) {
        ReportFailure(FileName, SaveFailureText(path, error.Message));
        return false;
    }
    try {
        WriteOutputFile(path, png.Bytes);
    } catch (const OutputError& failure) {
        ReportFailure(FileName, SaveFailureText(path, failure.what()));
        return false;
    }
    return true;
}

void AddShapeExtents(const TVANE_Object* Shape, TBoxGrowth<Extended>& Box) {
    for (; Shape; Shape = Shape->Next)
        for (const TVANE_Polygon* p = Shape->Polygons; p; p = p->Next)
            for (const TVANE_Vertex* v = p->Vertices; v; v = v->Next) Box.Add(v->X, v->Y, v->Z);
}

void FitPicture(const TVANE_Extents& Box, std::int32_t Width, std::int32_t Height,
                TVANE_ViewSettings& Settings) {
    TVANE_ViewSettings settings = Settings;  // Settings stay as they are if the fit throws
    FitToExtents(Box, settings, settings);
    if (settings.ViewKind != kViewPerspective) {
        // The fit maps half the box's longest side onto the larger half of the
        // picture, whatever the view and the picture's shape, and its far edge
        // then falls on the pixel just outside. Take the scale instead from the
        // two axes this view shows, each against its own side of the picture
        // less the margins.
        Extended across = Box.MaxX - Box.MinX, up = Box.MaxY - Box.MinY;
        if (settings.ViewKind == kViewYZ) across = Box.MaxY - Box.MinY;
        if (settings.ViewKind != kViewXY) up = Box.MaxZ - Box.MinZ;
        const Extended free = 1 - 2 * kMarginShare;
        Extended pixels_per_unit = 0;
        if (across > 0) pixels_per_unit = free * Width / across;
        if (up > 0 && (pixels_per_unit == 0 || free * Height / up < pixels_per_unit))
            pixels_per_unit = free * Height / up;
        if (pixels_per_unit > 0) settings.Camera.HalfSize = MaxInteger(Width / 2, Height / 2) / pixels_per_unit;
        Settings = settings;
        return;
    }
    // The angle of view runs across the width; up the height it is narrower
    // when the picture is wider than tall.
    const Extended half_across = settings.Camera.FieldOfView / 2 * std::numbers::pi_v<Extended> / 180;
    Extended half = std::atan(std::tan(half_across) * (1 - 2 * kMarginShare));
    if (Height < Width) half = std::atan(std::tan(half) * Height / Width);
    const Extended radius = VectorLength(Box.MaxX - Box.MinX, Box.MaxY - Box.MinY, Box.MaxZ - Box.MinZ) / 2;
    TVANE_Camera& camera = settings.Camera;
    const Extended dx = camera.Eye.X - camera.ViewCentre.X;
    const Extended dy = camera.Eye.Y - camera.ViewCentre.Y;
    const Extended dz = camera.Eye.Z - camera.ViewCentre.Z;
    const Extended distance = VectorLength(dx, dy, dz);
    if (radius != 0 && distance != 0) {
        // Nothing nearer than the near plane is drawn, so a small shape also
        // keeps its whole sphere beyond it, however small that makes it look.
        const Extended wanted =
            MaxExtended(radius / std::sin(half), (radius - NearPlane) * (1 + kMarginShare));
        const Extended scale = wanted / distance;
        camera.Eye = FittedPoint(camera.ViewCentre.X + dx * scale, camera.ViewCentre.Y + dy * scale,
                                 camera.ViewCentre.Z + dz * scale, "視点");
    }
    Settings = settings;
}

std::int32_t LabelHeight(std::int32_t Scale) { return kGlyphHeight * Scale; }

std::int32_t DrawLabel(TCanvas& Canvas, std::int32_t Left, std::int32_t Top, std::string_view Text,
                       std::int32_t Scale) {
    std::int32_t x = Left;
    for (const char c : Text) {
        if (const TGlyph* glyph = FindGlyph(c)) {
            for (std::int32_t row = 0; row < kGlyphHeight; ++row) {
                for (std::int32_t column = 0; column < kGlyphWidth; ++column) {
                    if (!(glyph->Rows[row] & (0x10 >> column))) continue;
                    const std::int64_t px = x + column * Scale, py = Top + row * Scale;
                    Canvas.FillRect(px, py, px + Scale, py + Scale);
                }
            }
        }
        x += (kGlyphWidth + kGlyphGap) * Scale;
    }
    return LabelWidth(Text, Scale);
}

std::int32_t LabelWidth(std::string_view Text, std::int32_t Scale) {
    if (Text.empty()) return 0;
    return (static_cast<std::int32_t>(Text.size()) * (kGlyphWidth + kGlyphGap) - kGlyphGap) * Scale;
}

TContactSheet::TContactSheet(std::int64_t Count, std::int32_t Width, std::int32_t Height)
    : width_(Width), height_(Height) {
    // Labels grow with the pictures: 7 pixels high per 100 of the shorter side.
    scale_ = std::max(1, std::min(Width, Height) / 100);
    gap_ = 3 * scale_;
    label_height_ = LabelHeight(scale_) + 2 * gap_;
    columns_ = 1;
    while (columns_ * columns_ < Count) ++columns_;
    const std::int64_t rows = (Count + columns_ - 1) / columns_;
    sheet_width_ = gap_ + columns_ * (Width + gap_);
    sheet_height_ = gap_ + rows * (Height + label_height_);
}

bool TContactSheet::Fits() const {
    return sheet_width_ <= 32767 && sheet_height_ <= 32767 && sheet_width_ * sheet_height_ <= kMaxPixels;
}

void TContactSheet::Place(std::int64_t Index, const TBitmap& Picture, std::string_view Label) {
    if (!sheet_) {
        sheet_ = std::make_unique<TBitmap>(static_cast<std::int32_t>(sheet_width_),
                                           static_cast<std::int32_t>(sheet_height_));
        sheet_->Canvas.Brush.Color = RGBColor(48, 48, 48);
        sheet_->Canvas.FillRect(0, 0, sheet_width_, sheet_height_);
    }
    const auto left = static_cast<std::int32_t>(gap_ + (Index % columns_) * (width_ + gap_));
    const auto top = static_cast<std::int32_t>(gap_ + (Index / columns_) * (height_ + label_height_));
    for (std::int32_t y = 0; y < height_; ++y)
        for (std::int32_t x = 0; x < width_; ++x) sheet_->SetPixel(left + x, top + y, Picture.Pixel(x, y));
    sheet_->Canvas.Brush.Color = RGBColor(255, 255, 255);
    DrawLabel(sheet_->Canvas, left + (width_ - LabelWidth(Label, scale_)) / 2, top + height_ + gap_, Label,
              scale_);
}

const TBitmap& TContactSheet::Bitmap() const {
    assert(sheet_);
    return *sheet_;
}
