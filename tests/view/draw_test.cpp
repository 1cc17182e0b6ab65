#include <gtest/gtest.h>

#include "shape/vane.h"
#include "shapes.h"
#include "view/canvas.h"
#include "view/settings.h"

using view_test::CountPixels;
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
