#pragma once
#include <cstdint>
#include <vector>

#include "view/settings.h"

struct TBitmap;

// The range a coordinate of the windows' canvases may take, kept here so
// that pictures stay drawable in the windows too.
constexpr std::int32_t kMinCanvasCoord = -32768;
constexpr std::int32_t kMaxCanvasCoord = 32767;

// A colour as a bitmap stores it: 0xFF in the highest byte (opaque).
constexpr std::uint32_t StoredPixel(TVANE_Color Color) {
    return (Color & 0x00FFFFFFu) | 0xFF000000u;
}

enum class TPenStyle : std::uint8_t {
    Solid,
    Dotted,  // every other pixel, counted from the start of each line
};

struct TPen {
    TVANE_Color Color = 0;
    TPenStyle Style = TPenStyle::Solid;
};

struct TBrush {
    TVANE_Color Color = RGBColor(255, 255, 255);
};

// The drawing surface of one TBitmap. Coordinates are pixels, (0, 0) the top
// left, x to the right and y downwards. Everything is clipped to the bitmap, so
// any 64-bit coordinate is safe and the visible part of a line is drawn.
class TCanvas {
public:
    TPen Pen;
    TBrush Brush;

    explicit TCanvas(TBitmap& Bitmap) : bitmap_(&Bitmap) {}

    // Fills the pixels Left <= x < Right, Top <= y < Bottom with Brush.Color.
    void FillRect(std::int64_t Left, std::int64_t Top, std::int64_t Right, std::int64_t Bottom);
    // Moves the pen without drawing.
    void MoveTo(std::int64_t X, std::int64_t Y);
    // Draws from the pen position to (X, Y), both ends included, with Pen and
    // leaves the pen at (X, Y). A line of length zero marks its pixel.
    void LineTo(std::int64_t X, std::int64_t Y);

    std::int64_t PenX() const { return pen_x_; }
    std::int64_t PenY() const { return pen_y_; }

private:
    friend struct TBitmap;
    void ClippedLine(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1);

    TBitmap* bitmap_;
    std::int64_t pen_x_ = 0;
    std::int64_t pen_y_ = 0;
};

// A Width x Height picture of colours with its canvas. New pixels are white.
// Pixels are stored row by row from the top, Width per row, each the colour
// with 0xFF in its highest byte: on this little-endian machine the bytes in
// memory are red, green, blue, 0xFF, so a window can wrap Pixels() as an
// opaque RGBA 8-8-8-8 image without converting.
struct TBitmap {
    TCanvas Canvas{*this};

    TBitmap() = default;
    // Width and Height must not be negative.
    TBitmap(std::int32_t Width, std::int32_t Height);
    TBitmap(const TBitmap& Other);
    TBitmap& operator=(const TBitmap& Other);

    // Resizes to Width x Height, every pixel white. Must not be negative.
    void SetSize(std::int32_t Width, std::int32_t Height);
    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }

    // The colour at (X, Y), which must lie inside the bitmap; highest byte 0.
    TVANE_Color Pixel(std::int32_t X, std::int32_t Y) const;
    // Sets the pixel at (X, Y), which must lie inside the bitmap.
    void SetPixel(std::int32_t X, std::int32_t Y, TVANE_Color Color);
    // Row-major storage as described above; Width() * Height() values.
    std::uint32_t* Pixels() { return pixels_.data(); }
    const std::uint32_t* Pixels() const { return pixels_.data(); }

private:
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::vector<std::uint32_t> pixels_;
};

inline void TCanvas::LineTo(std::int64_t X, std::int64_t Y) {
    const std::int64_t x0 = pen_x_, y0 = pen_y_;
    pen_x_ = X;
    pen_y_ = Y;
    // A solid line inside the bitmap whose ends are at most one pixel apart
    // in each direction is just its two ends: nearly every line of a dense
    // shape in a small view. Unsigned sums keep any 64-bit end safe.
    const auto w = static_cast<std::uint64_t>(bitmap_->Width());
    const auto h = static_cast<std::uint64_t>(bitmap_->Height());
    const auto ux = static_cast<std::uint64_t>(X), uy = static_cast<std::uint64_t>(Y);
    const auto ux0 = static_cast<std::uint64_t>(x0), uy0 = static_cast<std::uint64_t>(y0);
    if (Pen.Style == TPenStyle::Solid && ux - ux0 + 1 <= 2 && uy - uy0 + 1 <= 2 && ux < w &&
        uy < h && ux0 < w && uy0 < h) {
        std::uint32_t* pixels = bitmap_->Pixels();
        const std::uint32_t value = StoredPixel(Pen.Color);
        pixels[uy0 * w + ux0] = value;
        pixels[uy * w + ux] = value;
        return;
    }
    ClippedLine(x0, y0, X, Y);
}
