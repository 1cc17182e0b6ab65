#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "shape/probes.h"
#include "shape/vane.h"
#include "shapes.h"
#include "view/canvas.h"
#include "view/draw.h"
#include "view/settings.h"

using view_test::CountPixels;
using view_test::Point;
using view_test::ShapeList;

namespace {

constexpr TVANE_Color kRed = RGBColor(255, 0, 0);

struct Scene {
    TVANE_ViewSettings settings;
    TVANE_Colors colors;
    TBitmap bitmap{97, 85};

    Scene() {
        VANE->DefaultViewSettings(settings);
        VANE->DefaultViewColors(colors);
        settings.ClearFirst = true;
        settings.ShowGrid = false;
        settings.Camera.HalfSize = 48;  // one pixel per unit, centre pixel (48, 42)
        bitmap.Canvas.Brush.Color = kRed;
        bitmap.Canvas.FillRect(0, 0, 97, 85);
    }
    void Draw(TVANE_Object* shape) { VANE->DrawSuf(shape, bitmap, settings, colors); }
    int Background() const { return CountPixels(bitmap, colors.BackgroundColor); }
};

//   |        object 1: a vertical edge on x = 0 (over the solid grid column 48)
// --+--      object 2: an unmarked horizontal edge on y = 0 (over grid row 42)
//   |        object 3: an edge along y = 20, away from the first two
void AddThreeObjects(ShapeList& shape) {
    ShapeList::AddPolygon(shape.AddObject(), {{0, -30, 0}, {0, 30, 0}});
    ShapeList::AddPolygon(shape.AddObject(), {{-30, 0, 0}, {30, 0, 0}}, 0);
    ShapeList::AddPolygon(shape.AddObject(), {{-30, 20, 0}, {30, 20, 0}});
}

}  // namespace

TEST(DrawSuf, EmptyListOnlyClears) {
    Scene scene;
    scene.settings.ShowGrid = true;
    scene.Draw(nullptr);
    EXPECT_EQ(scene.Background(), 97 * 85);
}

TEST(DrawSuf, WithoutClearFirstKeepsWhatIsThere) {
    Scene scene;
    scene.settings.ClearFirst = false;
    ShapeList shape;
    AddThreeObjects(shape);
    scene.Draw(shape.Head());
    EXPECT_EQ(scene.Background(), 0);
    EXPECT_EQ(scene.bitmap.Pixel(0, 0), kRed);
    EXPECT_EQ(scene.bitmap.Pixel(48, 20), scene.colors.MarkedLineColor);
}

TEST(DrawSuf, GridOnceBeneathTheFirstObject) {
    Scene scene;
    scene.settings.ShowGrid = true;
    scene.settings.GridSpacing = 20;
    ShapeList shape;
    AddThreeObjects(shape);
    scene.Draw(shape.Head());
    const TBitmap& b = scene.bitmap;
    EXPECT_EQ(b.Pixel(48, 20), scene.colors.MarkedLineColor);  // object 1 over the grid column
    EXPECT_EQ(b.Pixel(30, 42), scene.colors.LineColor);        // object 2 not covered by a later grid
    EXPECT_EQ(b.Pixel(48, 42), scene.colors.LineColor);        // the later object lies on top
    EXPECT_EQ(b.Pixel(30, 22), scene.colors.MarkedLineColor);
    EXPECT_EQ(b.Pixel(48, 80), scene.colors.GridColor);        // the grid itself is there
    EXPECT_EQ(b.Pixel(28, 0), scene.colors.GridColor);         // column at x = -20 (dotted, on at row 0)
}

TEST(DrawSuf, LeavesTheCallersRecordsAsTheyWere) {
    Scene scene;
    scene.settings.ShowGrid = true;
    const TVANE_ViewSettings before = scene.settings;
    const TVANE_Colors colors_before = scene.colors;
    ShapeList shape;
    AddThreeObjects(shape);
    scene.Draw(shape.Head());
    EXPECT_TRUE(scene.settings.ClearFirst);
    EXPECT_TRUE(scene.settings.ShowGrid);
    EXPECT_EQ(scene.settings.Camera.HalfSize, before.Camera.HalfSize);
    EXPECT_EQ(scene.settings.ViewKind, before.ViewKind);
    EXPECT_EQ(scene.colors.BackgroundColor, colors_before.BackgroundColor);
    EXPECT_EQ(scene.colors.GridColor, colors_before.GridColor);
}

TEST(DrawSuf, OnlyDrawModes0135AndViewKinds0To2Draw) {
    ShapeList shape;
    AddThreeObjects(shape);
    for (int mode = 0; mode < 256; ++mode) {
        Scene scene;
        scene.settings.DrawMode = static_cast<std::uint8_t>(mode);
        scene.Draw(shape.Head());
        const bool draws = mode == 0 || mode == 1 || mode == 3 || mode == 5;
        EXPECT_EQ(scene.Background() < 97 * 85, draws) << "mode " << mode;
        EXPECT_EQ(scene.Background() > 0, true) << "mode " << mode;
    }
    for (int kind : {0, 1, 2, 3, 4, 5, 7, 8, 100, 255}) {
        Scene scene;
        scene.settings.ViewKind = static_cast<std::uint8_t>(kind);
        scene.settings.ShowGrid = true;
        scene.Draw(shape.Head());
        EXPECT_EQ(scene.Background() < 97 * 85, kind <= 2) << "kind " << kind;
    }
}

TEST(DrawSuf, FittedDefaultsGiveGreyBackgroundBlueGridCyanEdges) {
    ShapeList shape;
    ShapeList::AddPolygon(shape.AddObject(), {{0, 0, 0}, {40, 0, 0}, {0, 30, 0}});  // marked, as read
    Scene scene;
    VANE->DefaultViewSettings(scene.settings);
    scene.settings.ClearFirst = true;
    VANE->FitView(shape.Head(), scene.settings, scene.settings);
    scene.Draw(shape.Head());
    const int grey = CountPixels(scene.bitmap, RGBColor(128, 128, 128));
    const int blue = CountPixels(scene.bitmap, RGBColor(0, 0, 255));
    const int cyan = CountPixels(scene.bitmap, RGBColor(0, 255, 255));
    EXPECT_GT(grey, blue);
    EXPECT_GT(blue, 0);
    EXPECT_GT(cyan, 0);
    EXPECT_EQ(grey + blue + cyan, 97 * 85);
    EXPECT_EQ(scene.bitmap.Pixel(0, 78), RGBColor(0, 255, 255));  // (0, 0): 20 left, 15 down of centre
}

TEST(DrawSuf, PointSizedShapeDrawsOnlyTheBackground) {
    ShapeList shape;
    ShapeList::AddPolygon(shape.AddObject(), {{3, 4, 5}, {3, 4, 5}});
    Scene scene;
    scene.settings.ShowGrid = true;
    VANE->FitView(shape.Head(), scene.settings, scene.settings);
    scene.Draw(shape.Head());
    EXPECT_EQ(scene.Background(), 97 * 85);
}

// Views of one shape drawn together, in pieces on several threads, set each
// pixel as DrawSuf does: later polygons over earlier ones in other colours,
// edges from far outside, empty polygons and objects, a grid, a view drawn
// over what was there, and views that are no orthographic wireframe.
TEST(DrawSufViews, SetsThePixelsDrawSufSets) {
    ShapeList shape;
    std::uint32_t seed = 7;
    const auto coordinate = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<Extended>(static_cast<int>(seed >> 16) % 121 - 60);
    };
    for (int o = 0; o < 3; ++o) {
        TVANE_Object* object = shape.AddObject();
        if (o == 1) continue;
        for (int p = 0; p < 150; ++p) {
            const auto marked = static_cast<std::uint8_t>(p % 3 != 0);
            const Point far = {1e30L, coordinate(), -1e30L};
            const Point a = {coordinate(), coordinate(), coordinate()};
            const Point b = {coordinate(), coordinate(), coordinate()};
            if (p % 50 == 0) {
                ShapeList::AddPolygon(object, {}, marked);
            } else if (p % 37 == 0) {
                ShapeList::AddPolygon(object, {a, far, b}, marked);
            } else {
                ShapeList::AddPolygon(object, {a, b, {coordinate(), coordinate(), coordinate()}}, marked);
            }
        }
    }
    Scene scene;
    scene.settings.ColorByMark = true;
    std::vector<TVANE_ViewSettings> all;
    for (std::uint8_t kind : {kViewXY, kViewYZ, kViewZX, kViewPerspective}) {
        TVANE_ViewSettings settings = scene.settings;
        settings.ViewKind = kind;
        settings.ShowGrid = kind == kViewXY;
        settings.ClearFirst = kind != kViewZX;
        all.push_back(settings);
    }
    all.push_back(scene.settings);
    all.back().DrawMode = 2;
    all.push_back(scene.settings);
    all.back().Camera.HalfSize = 1e-6L;

    const std::size_t threshold = SufParallelPolygons, piece = SufPiecePolygons;
    SufPiecePolygons = 7;  // pieces cut inside and between objects
    for (std::size_t polygons : {std::size_t{1} << 20, std::size_t{16}}) {  // one pass, then pieces
        SufParallelPolygons = polygons;
        std::vector<TBitmap> expected(all.size(), scene.bitmap), drawn(all.size(), scene.bitmap);
        std::vector<TSufView> views;
        for (std::size_t i = 0; i < all.size(); ++i) {
            VANE->DrawSuf(shape.Head(), expected[i], all[i], scene.colors);
            views.push_back({&drawn[i], all[i]});
        }
        DrawSufViews(shape.Head(), views, scene.colors);
        for (std::size_t i = 0; i < all.size(); ++i) {
            EXPECT_EQ(std::memcmp(drawn[i].Pixels(), expected[i].Pixels(), std::size_t{97} * 85 * 4), 0)
                << "view " << i << ", threshold " << polygons;
            if (i < 3) {
                EXPECT_EQ(drawn[i].Canvas.Pen.Color, expected[i].Canvas.Pen.Color) << i;
            }
        }
    }
    SufParallelPolygons = threshold;
    SufPiecePolygons = piece;
}
