#include "view/canvas.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <set>
#include <utility>

namespace {

constexpr TVANE_Color kWhite = RGBColor(255, 255, 255);
constexpr TVANE_Color kInk = RGBColor(10, 20, 30);

using PixelSet = std::set<std::pair<std::int64_t, std::int64_t>>;

PixelSet InkedPixels(const TBitmap& bitmap) {
    PixelSet inked;
    for (std::int32_t y = 0; y < bitmap.Height(); ++y)
        for (std::int32_t x = 0; x < bitmap.Width(); ++x)
            if (bitmap.Pixel(x, y) == kInk) inked.insert({x, y});
    return inked;
}

PixelSet DrawOne(std::int32_t w, std::int32_t h, std::int64_t x0, std::int64_t y0, std::int64_t x1,
                 std::int64_t y1, TPenStyle style = TPenStyle::Solid) {
    TBitmap bitmap(w, h);
    bitmap.Canvas.Pen.Color = kInk;
    bitmap.Canvas.Pen.Style = style;
    bitmap.Canvas.MoveTo(x0, y0);
    bitmap.Canvas.LineTo(x1, y1);
    return InkedPixels(bitmap);
}

// Plain Bresenham over every step of the line, keeping the pixels inside:
// the clipped drawing must give exactly these.
PixelSet Reference(std::int32_t w, std::int32_t h, std::int64_t x0, std::int64_t y0,
                   std::int64_t x1, std::int64_t y1, bool dotted = false) {
    PixelSet inked;
    const std::int64_t dx = x1 - x0, dy = y1 - y0;
    const std::int64_t ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
    const std::int64_t sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    const bool x_major = ax >= ay;
    const std::int64_t steps = x_major ? ax : ay, follow = x_major ? ay : ax;
    std::int64_t x = x0, y = y0, e = steps;
    for (std::int64_t n = 0; n <= steps; ++n) {
        if (x >= 0 && x < w && y >= 0 && y < h && !(dotted && n % 2 == 1)) inked.insert({x, y});
        e += 2 * follow;
        const bool side = e >= 2 * steps;
        if (side) e -= 2 * steps;
        if (x_major) {
            x += sx;
            if (side) y += sy;
        } else {
            y += sy;
            if (side) x += sx;
        }
    }
    return inked;
}

}  // namespace

TEST(TBitmap, StoresRowsFromTheTopAsOpaqueRgbaBytes) {
    TBitmap bitmap(3, 2);
    EXPECT_EQ(bitmap.Pixel(2, 1), kWhite);
    bitmap.SetPixel(1, 1, RGBColor(1, 2, 3));
    const std::uint32_t* stored = bitmap.Pixels() + (3 + 1);  // row 1, column 1
    unsigned char bytes[4];
    std::memcpy(bytes, stored, 4);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[1], 2);
    EXPECT_EQ(bytes[2], 3);
    EXPECT_EQ(bytes[3], 0xFF);
    EXPECT_EQ(bitmap.Pixel(1, 1), RGBColor(1, 2, 3));
}

TEST(TBitmap, CopyDrawsIntoItsOwnPixels) {
    TBitmap original(4, 4);
    TBitmap copy = original;
    copy.Canvas.Pen.Color = kInk;
    copy.Canvas.MoveTo(0, 0);
    copy.Canvas.LineTo(3, 0);
    EXPECT_EQ(copy.Pixel(3, 0), kInk);
    EXPECT_EQ(original.Pixel(3, 0), kWhite);
}

TEST(TCanvas, FillRectIsClippedAndExcludesRightAndBottom) {
    TBitmap bitmap(5, 4);
    bitmap.Canvas.Brush.Color = kInk;
    bitmap.Canvas.FillRect(-100, 1, 3, 1000);
    const PixelSet expected = {{0, 1}, {1, 1}, {2, 1}, {0, 2}, {1, 2}, {2, 2}, {0, 3}, {1, 3}, {2, 3}};
    EXPECT_EQ(InkedPixels(bitmap), expected);
    bitmap.Canvas.FillRect(std::numeric_limits<std::int64_t>::min(), 0,
                           std::numeric_limits<std::int64_t>::max(), 4);
    EXPECT_EQ(InkedPixels(bitmap).size(), 20u);
}

TEST(TCanvas, LinesIncludeBothEnds) {
    struct Case {
        std::int64_t x0, y0, x1, y1;
        PixelSet pixels;
    };
    const Case cases[] = {
        {2, 2, 2, 2, {{2, 2}}},  // zero length marks its pixel
        {1, 0, 4, 0, {{1, 0}, {2, 0}, {3, 0}, {4, 0}}},
        {3, 3, 3, 1, {{3, 3}, {3, 2}, {3, 1}}},
        {0, 0, 3, 3, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},
        {0, 0, 3, 1, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}},
        {0, 4, 1, 1, {{0, 4}, {0, 3}, {1, 2}, {1, 1}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DrawOne(6, 6, c.x0, c.y0, c.x1, c.y1), c.pixels)
            << c.x0 << "," << c.y0 << " -> " << c.x1 << "," << c.y1;
    }
}

TEST(TCanvas, LineToLeavesThePenAtTheEnd) {
    TBitmap bitmap(6, 6);
    bitmap.Canvas.Pen.Color = kInk;
    bitmap.Canvas.MoveTo(0, 0);
    bitmap.Canvas.LineTo(5, 0);
    bitmap.Canvas.LineTo(5, 5);
    EXPECT_EQ(bitmap.Canvas.PenX(), 5);
    EXPECT_EQ(bitmap.Canvas.PenY(), 5);
    EXPECT_EQ(bitmap.Pixel(5, 3), kInk);
}

TEST(TCanvas, DottedMarksEveryOtherPixelFromTheStart) {
    EXPECT_EQ(DrawOne(10, 3, 0, 1, 6, 1, TPenStyle::Dotted),
              (PixelSet{{0, 1}, {2, 1}, {4, 1}, {6, 1}}));
    EXPECT_EQ(DrawOne(10, 3, 7, 1, 3, 1, TPenStyle::Dotted), (PixelSet{{7, 1}, {5, 1}, {3, 1}}));
}

TEST(TCanvas, ClippedLinesMatchTheUnclippedPixels) {
    std::mt19937_64 random(7);
    std::uniform_int_distribution<std::int64_t> coord(-300, 300);
    for (int i = 0; i < 3000; ++i) {
        const std::int64_t x0 = coord(random), y0 = coord(random);
        const std::int64_t x1 = coord(random), y1 = coord(random);
        ASSERT_EQ(DrawOne(23, 17, x0, y0, x1, y1), Reference(23, 17, x0, y0, x1, y1))
            << x0 << "," << y0 << " -> " << x1 << "," << y1;
    }
}

// Nearly every line of a fitted view lies wholly inside the bitmap, which
// is drawn without the clipping arithmetic: the same pixels, solid or dotted.
TEST(TCanvas, LinesInsideMatchThePlainWalk) {
    std::mt19937_64 random(11);
    std::uniform_int_distribution<std::int64_t> x(0, 22), y(0, 16);
    for (int i = 0; i < 3000; ++i) {
        const std::int64_t x0 = x(random), y0 = y(random), x1 = x(random), y1 = y(random);
        const bool dotted = i % 2 == 1;
        ASSERT_EQ(DrawOne(23, 17, x0, y0, x1, y1, dotted ? TPenStyle::Dotted : TPenStyle::Solid),
                  Reference(23, 17, x0, y0, x1, y1, dotted))
            << x0 << "," << y0 << " -> " << x1 << "," << y1 << (dotted ? " dotted" : "");
    }
}

TEST(TCanvas, FarAwayEndsDrawTheVisiblePart) {
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    PixelSet row3, diagonal, half_slope;
    for (std::int64_t x = 0; x < 8; ++x) row3.insert({x, 3});
    for (std::int64_t i = 0; i < 6; ++i) diagonal.insert({i, i});

    EXPECT_EQ(DrawOne(8, 6, -1000000000000, 3, 1000000000000, 3), row3);
    EXPECT_EQ(DrawOne(8, 6, kMin, 3, kMax, 3), row3);
    EXPECT_EQ(DrawOne(8, 6, kMax, 3, 2, 3), (PixelSet{{2, 3}, {3, 3}, {4, 3}, {5, 3}, {6, 3}, {7, 3}}));
    EXPECT_EQ(DrawOne(8, 6, -(std::int64_t{1} << 40), -(std::int64_t{1} << 40), std::int64_t{1} << 40,
                      std::int64_t{1} << 40),
              diagonal);
    EXPECT_EQ(DrawOne(8, 6, kMin + 1, kMin + 1, kMax, kMax), diagonal);

    // y = x / 2 + 1 meets lattice points at even x, whatever the ends' distance.
    for (std::int64_t far : {std::int64_t{1} << 40, std::int64_t{1} << 62}) {
        const PixelSet drawn = DrawOne(8, 6, -far, -far / 2 + 1, far, far / 2 + 1);
        for (std::int64_t x = 0; x < 8; x += 2) EXPECT_TRUE(drawn.count({x, x / 2 + 1})) << far << " " << x;
        EXPECT_EQ(drawn.size(), 8u) << far;
    }

    // Entirely outside, or only passing by a corner: nothing.
    EXPECT_TRUE(DrawOne(8, 6, kMin, -1, kMax, -1).empty());
    EXPECT_TRUE(DrawOne(8, 6, -1000000000000, 1000000000000 + 5, 1000000000000, -1000000000000 + 30).empty());
    EXPECT_TRUE(DrawOne(0, 0, 0, 0, 5, 5).empty());
}
