#include "view/canvas.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace {

constexpr std::uint32_t kColorBits = 0x00FFFFFFu;

// Below kNear in magnitude the clipping sums fit 64-bit integers; below kFar
// they fit 128-bit ones. End points beyond kFar are first pulled back along
// the line to the square of side 2 * kFar, which lies far outside any bitmap.
constexpr std::int64_t kNear = std::int64_t{1} << 29;
constexpr std::int64_t kFar = std::int64_t{1} << 61;

template <typename T>
T FloorDiv(T a, T b) {  // b > 0
    T q = a / b;
    if (a % b != 0 && a < 0) --q;
    return q;
}

template <typename T>
T CeilDiv(T a, T b) {  // b > 0
    return -FloorDiv<T>(-a, b);
}

// Cuts the segment (x0, y0)-(x1, y1) to the square |x|, |y| <= kFar along its
// own direction. False when nothing of it lies in the square.
bool PullBack(std::int64_t& x0, std::int64_t& y0, std::int64_t& x1, std::int64_t& y1) {
    // Extended reals hold every 64-bit integer exactly.
    const long double px = static_cast<long double>(x0), py = static_cast<long double>(y0);
    const long double dx = static_cast<long double>(x1) - px;
    const long double dy = static_cast<long double>(y1) - py;
    const long double limit = static_cast<long double>(kFar);
    long double t0 = 0, t1 = 1;
    // Keeps the part of [t0, t1] where p * t <= q (Liang and Barsky).
    auto keep = [&](long double p, long double q) {
        if (p == 0) return q >= 0;
        const long double r = q / p;
        if (p < 0) {
            if (r > t1) return false;
            t0 = std::max(t0, r);
        } else {
            if (r < t0) return false;
            t1 = std::min(t1, r);
        }
        return true;
    };
    if (!keep(-dx, px + limit) || !keep(dx, limit - px) || !keep(-dy, py + limit) ||
        !keep(dy, limit - py)) {
        return false;
    }
    auto to_int = [&](long double v) {
        return static_cast<std::int64_t>(std::nearbyint(std::clamp(v, -limit, limit)));
    };
    const std::int64_t nx0 = to_int(px + t0 * dx), ny0 = to_int(py + t0 * dy);
    x1 = to_int(px + t1 * dx);
    y1 = to_int(py + t1 * dy);
    x0 = nx0;
    y0 = ny0;
    return true;
}

// Plots steps first..last of a line from (major, minor), the pixel of step
// `first`, with the error term e of that step; each step moves sM along the
// major axis and, when the error wraps, sm along the minor one.
template <typename PlotFn>
void WalkLine(std::int64_t major, std::int64_t minor, std::int64_t first, std::int64_t last,
              std::uint64_t e, std::uint64_t wrap, std::uint64_t step, int sM, int sm,
              PlotFn plot) {
    for (std::int64_t n = first;; ++n) {
        plot(major, minor, n);
        if (n == last) break;
        major += sM;
        e += step;
        if (e >= wrap) {
            e -= wrap;
            minor += sm;
        }
    }
}

// Plots the pixels of one line that fall inside the bitmap, without visiting
// the others. The line runs along its major axis (the longer extent, aM steps
// in direction sM from M0) and follows along the minor axis by Bresenham's
// rule: after n steps the minor offset is floor((2 n am + aM) / (2 aM)).
// lim_major/lim_minor are the bitmap's extents along those axes. Plot(major,
// minor, n) receives in-bitmap coordinates and the step count n.
template <typename T, typename PlotFn>
void RasterizeClipped(T M0, T m0, T aM, T am, int sM, int sm, T lim_major, T lim_minor,
                      PlotFn plot) {
    // Steps whose major coordinate lies inside.
    T lo = 0, hi = aM;
    if (sM > 0) {
        lo = std::max(lo, -M0);
        hi = std::min(hi, lim_major - 1 - M0);
    } else {
        lo = std::max(lo, M0 - (lim_major - 1));
        hi = std::min(hi, M0);
    }
    // Minor offsets that lie inside, and the steps that reach them.
    T klo = sm > 0 ? -m0 : m0 - (lim_minor - 1);
    T khi = sm > 0 ? lim_minor - 1 - m0 : m0;
    klo = std::max(klo, T{0});
    khi = std::min(khi, am);
    if (klo > khi) return;
    if (am > 0) {
        lo = std::max(lo, CeilDiv<T>(2 * aM * klo - aM, 2 * am));
        hi = std::min(hi, FloorDiv<T>(2 * aM * (khi + 1) - aM - 1, 2 * am));
    }
    if (lo > hi) return;

    const T num = 2 * lo * am + aM;
    const T k = aM > 0 ? num / (2 * aM) : 0;
    // The error term stays below 4 aM <= 2^64, so it fits an unsigned 64-bit value.
    const std::uint64_t e = aM > 0 ? static_cast<std::uint64_t>(num % (2 * aM)) : 0;
    WalkLine(static_cast<std::int64_t>(M0 + (sM > 0 ? lo : -lo)),
             static_cast<std::int64_t>(m0 + (sm > 0 ? k : -k)), static_cast<std::int64_t>(lo),
             static_cast<std::int64_t>(hi), e, static_cast<std::uint64_t>(2 * aM),
             static_cast<std::uint64_t>(2 * am), sM, sm, plot);
}

template <typename T>
void DrawLine(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
              std::int32_t width, std::int32_t height, std::uint32_t* pixels, std::uint32_t value,
              bool dotted) {
    const T dx = T{x1} - T{x0}, dy = T{y1} - T{y0};
    const T ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
    const int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    const auto w = static_cast<std::uint64_t>(width), h = static_cast<std::uint64_t>(height);
    auto put = [&](std::int64_t x, std::int64_t y, std::int64_t n) {
        if (dotted && (n & 1) != 0) return;
        // The clipping already keeps every pixel inside; this guards the memory.
        if (static_cast<std::uint64_t>(x) >= w || static_cast<std::uint64_t>(y) >= h) return;
        pixels[static_cast<std::size_t>(y) * w + static_cast<std::size_t>(x)] = value;
    };
    if (ax >= ay) {
        RasterizeClipped<T>(T{x0}, T{y0}, ax, ay, sx, sy, T{width}, T{height}, put);
    } else {
        RasterizeClipped<T>(T{y0}, T{x0}, ay, ax, sy, sx, T{height}, T{width},
                            [&](std::int64_t y, std::int64_t x, std::int64_t n) { put(x, y, n); });
    }
}

// A line with both ends in the bitmap, as nearly every line of a fitted
// view is: the same pixels as the clipped walk from step 0 (minor offset 0,
// error aM), without its divisions.
void DrawInside(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                std::int32_t width, std::uint32_t* pixels, std::uint32_t value, bool dotted) {
    const std::int64_t ax = x1 > x0 ? x1 - x0 : x0 - x1, ay = y1 > y0 ? y1 - y0 : y0 - y1;
    const int sx = x1 < x0 ? -1 : 1, sy = y1 < y0 ? -1 : 1;
    const auto w = static_cast<std::size_t>(width);
    auto put = [&](std::int64_t x, std::int64_t y, std::int64_t n) {
        if (dotted && (n & 1) != 0) return;
        pixels[static_cast<std::size_t>(y) * w + static_cast<std::size_t>(x)] = value;
    };
    if (ax >= ay) {
        WalkLine(x0, y0, 0, ax, static_cast<std::uint64_t>(ax), static_cast<std::uint64_t>(2 * ax),
                 static_cast<std::uint64_t>(2 * ay), sx, sy, put);
    } else {
        WalkLine(y0, x0, 0, ay, static_cast<std::uint64_t>(ay), static_cast<std::uint64_t>(2 * ay),
                 static_cast<std::uint64_t>(2 * ax), sy, sx,
                 [&](std::int64_t y, std::int64_t x, std::int64_t n) { put(x, y, n); });
    }
}

bool Inside(std::int64_t v, std::int32_t size) {
    return static_cast<std::uint64_t>(v) < static_cast<std::uint64_t>(size);
}

bool Within(std::int64_t v, std::int64_t limit) {
    return v >= -limit && v <= limit;
}

}  // namespace

void TCanvas::FillRect(std::int64_t Left, std::int64_t Top, std::int64_t Right,
                       std::int64_t Bottom) {
    TBitmap& bitmap = *bitmap_;
    const std::int64_t x0 = std::max<std::int64_t>(Left, 0);
    const std::int64_t x1 = std::min<std::int64_t>(Right, bitmap.Width());
    const std::int64_t y0 = std::max<std::int64_t>(Top, 0);
    const std::int64_t y1 = std::min<std::int64_t>(Bottom, bitmap.Height());
    if (x0 >= x1 || y0 >= y1) return;
    const std::uint32_t value = StoredPixel(Brush.Color);
    for (std::int64_t y = y0; y < y1; ++y) {
        std::uint32_t* row = bitmap.Pixels() + y * bitmap.Width();
        std::fill(row + x0, row + x1, value);
    }
}

void TCanvas::MoveTo(std::int64_t X, std::int64_t Y) {
    pen_x_ = X;
    pen_y_ = Y;
}

void TCanvas::ClippedLine(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) {
    TBitmap& bitmap = *bitmap_;
    const std::int32_t w = bitmap.Width(), h = bitmap.Height();
    if (w == 0 || h == 0) return;
    const std::uint32_t value = StoredPixel(Pen.Color);
    const bool dotted = Pen.Style == TPenStyle::Dotted;
    if (Inside(x0, w) && Inside(x1, w) && Inside(y0, h) && Inside(y1, h)) {
        DrawInside(x0, y0, x1, y1, w, bitmap.Pixels(), value, dotted);
        return;
    }
    if (Within(x0, kNear) && Within(y0, kNear) && Within(x1, kNear) && Within(y1, kNear) &&
        w <= kNear && h <= kNear) {
        DrawLine<std::int64_t>(x0, y0, x1, y1, w, h, bitmap.Pixels(), value, dotted);
        return;
    }
    if (!(Within(x0, kFar) && Within(y0, kFar) && Within(x1, kFar) && Within(y1, kFar)) &&
        !PullBack(x0, y0, x1, y1)) {
        return;
    }
    DrawLine<__int128>(x0, y0, x1, y1, w, h, bitmap.Pixels(), value, dotted);
}

TBitmap::TBitmap(std::int32_t Width, std::int32_t Height) {
    SetSize(Width, Height);
}

TBitmap::TBitmap(const TBitmap& Other)
    : width_(Other.width_), height_(Other.height_), pixels_(Other.pixels_) {
    Canvas.Pen = Other.Canvas.Pen;
    Canvas.Brush = Other.Canvas.Brush;
    Canvas.MoveTo(Other.Canvas.PenX(), Other.Canvas.PenY());
}

TBitmap& TBitmap::operator=(const TBitmap& Other) {
    width_ = Other.width_;
    height_ = Other.height_;
    pixels_ = Other.pixels_;
    Canvas.Pen = Other.Canvas.Pen;
    Canvas.Brush = Other.Canvas.Brush;
    Canvas.MoveTo(Other.Canvas.PenX(), Other.Canvas.PenY());
    return *this;
}

void TBitmap::SetSize(std::int32_t Width, std::int32_t Height) {
    assert(Width >= 0 && Height >= 0);
    width_ = Width;
    height_ = Height;
    pixels_.assign(static_cast<std::size_t>(Width) * static_cast<std::size_t>(Height),
                   StoredPixel(RGBColor(255, 255, 255)));
}

TVANE_Color TBitmap::Pixel(std::int32_t X, std::int32_t Y) const {
    assert(X >= 0 && X < width_ && Y >= 0 && Y < height_);
    return pixels_[static_cast<std::size_t>(Y) * static_cast<std::size_t>(width_) +
                   static_cast<std::size_t>(X)] &
           kColorBits;
}

void TBitmap::SetPixel(std::int32_t X, std::int32_t Y, TVANE_Color Color) {
    assert(X >= 0 && X < width_ && Y >= 0 && Y < height_);
    pixels_[static_cast<std::size_t>(Y) * static_cast<std::size_t>(width_) +
            static_cast<std::size_t>(X)] = StoredPixel(Color);
}
