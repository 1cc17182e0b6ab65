#include "view/ortho.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "shapes.h"
#include "view/canvas.h"
#include "view/settings.h"

using view_test::CountPixels;
using view_test::Point;
using view_test::ShapeList;

namespace {

constexpr TVANE_Color kBack = RGBColor(128, 128, 128);
constexpr TVANE_Color kLine = RGBColor(255, 255, 255);
constexpr TVANE_Color kMarked = RGBColor(0, 255, 255);
constexpr TVANE_Color kPlain = RGBColor(0, 0, 0);
constexpr TVANE_Color kGrid = RGBColor(0, 0, 255);

TVANE_Colors Colors() {
    TVANE_Colors colors;
    colors.LineColor = kLine;
    colors.MarkedLineColor = kMarked;
    colors.PlainLineColor = kPlain;
    colors.GridColor = kGrid;
    return colors;
}

// The 97 by 85 view of the examples: 48 pixels per HalfSize, centre pixel (48, 42).
TVANE_ViewSettings View(std::uint8_t kind, Extended half_size) {
    TVANE_ViewSettings settings;
    settings.ViewKind = kind;
    settings.ColorByMark = true;
    settings.Camera.HalfSize = half_size;
    settings.GridSpacing = 10;
    return settings;
}

TBitmap Cleared() {
    TBitmap bitmap(97, 85);
    bitmap.Canvas.Brush.Color = kBack;
    bitmap.Canvas.FillRect(0, 0, 97, 85);
    return bitmap;
}

// Draws a one-vertex polygon (a zero-length edge: exactly one pixel when visible).
TBitmap DrawPoint(const TVANE_ViewSettings& settings, Point p) {
    ShapeList shape;
    ShapeList::AddPolygon(shape.AddObject(), {p});
    TBitmap bitmap = Cleared();
    DrawOrthoObject(*shape.Head(), bitmap, settings, Colors());
    return bitmap;
}

}  // namespace

TEST(DrawOrthoObject, PlacesPointsByScaleCentreAndFlippedVerticalAxis) {
    struct Case {
        std::uint8_t kind;
        Extended half_size;
        Point world;
        int x, y;  // -1: off the bitmap
    };
    const Case cases[] = {
        {kViewXY, 20, {0, 0, 0}, 48, 42},
        {kViewXY, 20, {20, 0, 0}, 96, 42},
        {kViewXY, 20, {-20, -10, 0}, 0, 66},
        {kViewXY, 20, {0, 20, 0}, -1, -1},  // y = -6, above the top edge
        {kViewZX, 20, {1, 2, 3}, 50, 35},   // X across, Z up, Y ignored
        {kViewYZ, 20, {1, 2, 3}, 53, 35},   // Y across, Z up
        // One pixel per unit: halves go to the even neighbour.
        {kViewXY, 48, {2.5L, 0.5L, 0}, 50, 42},
        {kViewXY, 48, {3.5L, -1.5L, 0}, 52, 44},
        {kViewXY, 48, {-1.5L, 1.5L, 0}, 46, 40},
    };
    for (const Case& c : cases) {
        const TBitmap bitmap = DrawPoint(View(c.kind, c.half_size), c.world);
        const std::string where = "kind " + std::to_string(c.kind) + " point " +
                                  std::to_string(static_cast<double>(c.world[0])) + "," +
                                  std::to_string(static_cast<double>(c.world[1]));
        if (c.x < 0) {
            EXPECT_EQ(CountPixels(bitmap, kMarked), 0) << where;
        } else {
            EXPECT_EQ(CountPixels(bitmap, kMarked), 1) << where;
            EXPECT_EQ(bitmap.Pixel(c.x, c.y), kMarked) << where;
        }
    }
}

TEST(DrawOrthoObject, ViewCentreIsDrawnAtTheCentrePixel) {
    TVANE_ViewSettings settings = View(kViewYZ, 20);
    settings.Camera.ViewCentre = {100, 7, -3};
    const TBitmap bitmap = DrawPoint(settings, {-50, 7, -3});
    EXPECT_EQ(bitmap.Pixel(48, 42), kMarked);
}

TEST(DrawOrthoObject, DrawsEveryPolygonClosedAndSkipsEmptyOnes) {
    // 0,10
    //  |  \      one pixel per unit; the closing edge is the left one
    // 0,0 - 10,0
    ShapeList shape;
    TVANE_Object* object = shape.AddObject();
    ShapeList::AddPolygon(object, {});
    ShapeList::AddPolygon(object, {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}});
    ShapeList::AddPolygon(object, {{-20, -20, 0}, {-10, -20, 0}});
    TBitmap bitmap = Cleared();
    DrawOrthoObject(*object, bitmap, View(kViewXY, 48), Colors());
    EXPECT_EQ(bitmap.Pixel(53, 42), kMarked);  // (5, 0)
    EXPECT_EQ(bitmap.Pixel(53, 37), kMarked);  // (5, 5) on the slanted edge
    EXPECT_EQ(bitmap.Pixel(48, 37), kMarked);  // (0, 5) on the closing edge
    EXPECT_EQ(bitmap.Pixel(50, 40), kBack);    // (2, 2) inside
    EXPECT_EQ(bitmap.Pixel(33, 62), kMarked);  // two vertices: the segment
    EXPECT_EQ(bitmap.Canvas.Pen.Style, TPenStyle::Solid);
}

TEST(DrawOrthoObject, PenColourFollowsColorByMarkAndMarked) {
    struct Case {
        bool color_by_mark;
        std::uint8_t marked;
        TVANE_Color expected;
    };
    const Case cases[] = {
        {true, 1, kMarked}, {true, 0, kLine}, {false, 1, kPlain}, {false, 0, kPlain}};
    for (const Case& c : cases) {
        ShapeList shape;
        ShapeList::AddPolygon(shape.AddObject(), {{0, 0, 0}, {5, 0, 0}}, c.marked);
        TVANE_ViewSettings settings = View(kViewXY, 48);
        settings.ColorByMark = c.color_by_mark;
        TBitmap bitmap = Cleared();
        DrawOrthoObject(*shape.Head(), bitmap, settings, Colors());
        EXPECT_EQ(bitmap.Pixel(50, 42), c.expected) << c.color_by_mark << " " << int{c.marked};
    }
}

TEST(DrawOrthoObject, TinyHalfSizeDrawsNothing) {
    for (Extended half : {0.0L, 9.9e-6L, -9.9e-6L}) {
        const TBitmap bitmap = DrawPoint(View(kViewXY, half), {0, 0, 0});
        EXPECT_EQ(CountPixels(bitmap, kBack), 97 * 85) << static_cast<double>(half);
        TBitmap grid = Cleared();
        DrawOrthoGrid(grid, View(kViewXY, half), Colors());
        EXPECT_EQ(CountPixels(grid, kBack), 97 * 85) << static_cast<double>(half);
    }
    EXPECT_EQ(CountPixels(DrawPoint(View(kViewXY, 1e-5L), {0, 0, 0}), kMarked), 1);
}

TEST(DrawOrthoObject, FarAwayVerticesDrawTheVisiblePart) {
    // A tiny HalfSize puts the ends about 1e15 pixels out; the edge still
    // crosses the centre row.
    ShapeList shape;
    ShapeList::AddPolygon(shape.AddObject(), {{-1e10L, 0, 0}, {1e10L, 0, 0}});
    TBitmap bitmap = Cleared();
    DrawOrthoObject(*shape.Head(), bitmap, View(kViewXY, 1e-4L), Colors());
    EXPECT_EQ(CountPixels(bitmap, kMarked), 97);
    EXPECT_EQ(bitmap.Pixel(0, 42), kMarked);
    EXPECT_EQ(bitmap.Pixel(96, 42), kMarked);
}

// Edges to vertices far beyond 64-bit pixels keep their direction. At k = 2.4
// a vertex at (3e300, 1e300) lies 7.2e300 pixels right and 2.4e300 up: an
// edge from a pixel towards it climbs one row per three columns, never
// halfway between two rows, so its pixels are known. An edge with both ends
// that far out cannot be placed to the pixel and is not drawn, nor is one
// with an end that is not a number.
TEST(DrawOrthoObject, FarVerticesKeepTheEdgesDirection) {
    using Pixels = std::set<std::pair<int, int>>;
    // The pixels from (x0, y0) rightwards to column x1 along that slope.
    auto climb = [](int x0, int y0, int x1, Pixels& pixels) {
        for (int x = x0; x <= x1; ++x)
            pixels.insert({x, y0 - static_cast<int>(std::lround((x - x0) / 3.0))});
    };
    constexpr Extended kFar = 1e300L;
    const Point centre = {0, 0, 0}, far = {3 * kFar, kFar, 0};
    Pixels edge, triangle;
    climb(48, 42, 96, edge);
    climb(48, 42, 96, triangle);
    climb(72, 42, 96, triangle);                                // far vertex to (10, 0)
    for (int x = 48; x <= 72; ++x) triangle.insert({x, 42});  // (10, 0) back to the centre
    struct Case {
        const char* what;
        std::vector<Point> polygon;
        Pixels pixels;  // every pixel drawn
    };
    const Case cases[] = {
        {"near to far", {centre, far}, edge},
        {"far vertex between near ones", {centre, far, {10, 0, 0}}, triangle},
        {"both ends far, through the centre", {{-3 * kFar, -kFar, 0}, far}, {}},
        {"end not a number", {centre, {std::numeric_limits<Extended>::quiet_NaN(), 0, 0}}, {}},
    };
    for (const Case& c : cases) {
        ShapeList shape;
        TVANE_Object* object = shape.AddObject();
        if (c.polygon.size() == 2)
            ShapeList::AddPolygon(object, {c.polygon[0], c.polygon[1]});
        else
            ShapeList::AddPolygon(object, {c.polygon[0], c.polygon[1], c.polygon[2]});
        TBitmap bitmap = Cleared();
        DrawOrthoObject(*shape.Head(), bitmap, View(kViewXY, 20), Colors());
        EXPECT_EQ(CountPixels(bitmap, kMarked), static_cast<int>(c.pixels.size())) << c.what;
        for (const auto& [x, y] : c.pixels)
            EXPECT_EQ(bitmap.Pixel(x, y), kMarked) << c.what << " at " << x << "," << y;
    }
}

TEST(DrawOrthoGrid, LinesAtMultiplesSolidOnlyWhereTheSweepRoundsToZero) {
    TBitmap bitmap = Cleared();
    DrawOrthoGrid(bitmap, View(kViewXY, 20), Colors());
    // k = 2.4: columns 0, 24, 48, 72, 96; rows 66, 42, 18 (-6 and 90 fall off).
    // Row 1 lies on no horizontal line: a dotted column is off there, on at row 0.
    for (int x : {0, 24, 72, 96}) {
        EXPECT_EQ(bitmap.Pixel(x, 0), kGrid) << x;
        EXPECT_EQ(bitmap.Pixel(x, 1), kBack) << x;
    }
    EXPECT_EQ(bitmap.Pixel(48, 1), kGrid);
    EXPECT_EQ(bitmap.Pixel(48, 84), kGrid);
    EXPECT_EQ(bitmap.Pixel(1, 42), kGrid);  // the solid row
    EXPECT_EQ(bitmap.Pixel(1, 18), kBack);  // dotted rows
    EXPECT_EQ(bitmap.Pixel(2, 18), kGrid);
    EXPECT_EQ(bitmap.Pixel(2, 66), kGrid);
    for (int y = 0; y < 85; ++y) {
        if (y != 18 && y != 42 && y != 66) {
            EXPECT_EQ(bitmap.Pixel(12, y), kBack) << y;
        }
    }
}

TEST(DrawOrthoGrid, HalfwaySweepGoesToEvenMultiplesAllDotted) {
    TBitmap bitmap = Cleared();
    DrawOrthoGrid(bitmap, View(kViewXY, 25), Colors());
    // k = 1.92: sweep -25, -15, ..., 25 lands on -20, -20, 0, 0, 20, 20: columns
    // 10, 48, 86 and rows 80, 42, 4; none at +-10 (columns 29 and 67).
    for (int x : {10, 48, 86}) {
        EXPECT_EQ(bitmap.Pixel(x, 0), kGrid) << x;
        EXPECT_EQ(bitmap.Pixel(x, 1), kBack) << x;
    }
    for (int x : {29, 67}) EXPECT_EQ(bitmap.Pixel(x, 0), kBack) << x;
    EXPECT_EQ(bitmap.Pixel(0, 42), kGrid);
    EXPECT_EQ(bitmap.Pixel(1, 42), kBack);
    EXPECT_EQ(bitmap.Pixel(0, 80), kGrid);
    EXPECT_EQ(bitmap.Pixel(0, 4), kGrid);
    EXPECT_EQ(bitmap.Pixel(0, 23), kBack);  // world 10: row round(19.2) + 42 - 38
}

TEST(DrawOrthoGrid, SweepFollowsTheViewsCentre) {
    // YZ view takes its horizontal centre from ViewCentre.Y: with Y = 10 the
    // step at t = 0 is world 0, ten units left of centre: column 24.
    TVANE_ViewSettings settings = View(kViewYZ, 20);
    settings.Camera.ViewCentre = {0, 10, 0};
    TBitmap bitmap = Cleared();
    DrawOrthoGrid(bitmap, settings, Colors());
    EXPECT_EQ(bitmap.Pixel(24, 1), kGrid);  // solid
    EXPECT_EQ(bitmap.Pixel(48, 1), kBack);  // dotted
    EXPECT_EQ(bitmap.Pixel(48, 0), kGrid);
}

TEST(DrawOrthoGrid, SpacingThatCannotAdvanceDrawsNoGridAndEnds) {
    for (Extended spacing : {0.0L, -10.0L, 1e-30L}) {
        TVANE_ViewSettings settings = View(kViewXY, 20);
        settings.GridSpacing = spacing;
        TBitmap bitmap = Cleared();
        DrawOrthoGrid(bitmap, settings, Colors());
        EXPECT_EQ(CountPixels(bitmap, kGrid), 0) << static_cast<double>(spacing);
    }
    // Far from the origin a spacing of 10 no longer changes the sweep value:
    // no grid at all, not one lone line, also when only one sweep stalls.
    for (double far_x : {1e25, -1e25}) {
        for (double far_y : {1e25, 0.0}) {
            TVANE_ViewSettings settings = View(kViewXY, 20);
            settings.Camera.ViewCentre = {far_x, far_y, 0};
            TBitmap bitmap = Cleared();
            DrawOrthoGrid(bitmap, settings, Colors());
            EXPECT_EQ(CountPixels(bitmap, kGrid), 0) << far_x << "," << far_y;
        }
    }
    // Where the step still moves the sweep, the grid is drawn as before.
    TVANE_ViewSettings settings = View(kViewXY, 20);
    settings.Camera.ViewCentre = {1e6, 0, 0};
    TBitmap bitmap = Cleared();
    DrawOrthoGrid(bitmap, settings, Colors());
    EXPECT_EQ(bitmap.Pixel(0, 0), kGrid);
    EXPECT_EQ(bitmap.Pixel(1, 42), kGrid);
}
