#include "geometry/perspective.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "shape/state.h"
#include "shape/vane.h"
#include "view/canvas.h"
#include "view/settings.h"
#include "tests/view/shapes.h"

namespace {

constexpr Extended kPi = 3.14159265358979323846L;
constexpr TVANE_Color kGrey = RGBColor(128, 128, 128);
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
using Pixels = std::vector<std::pair<int, int>>;
using view_test::Point;
using view_test::ShapeList;

// Grey, so that white and black pens both show.
TBitmap Blank(std::int32_t width = 200, std::int32_t height = 200) {
    TBitmap bitmap(width, height);
    bitmap.Canvas.Brush.Color = kGrey;
    bitmap.Canvas.FillRect(0, 0, width, height);
    return bitmap;
}

Pixels Drawn(const TBitmap& bitmap) {
    Pixels drawn;
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x)
            if (bitmap.Pixel(x, y) != kGrey) drawn.emplace_back(x, y);
    return drawn;
}

Pixels Row(int x0, int x1, int y) {
    Pixels run;
    for (int x = x0; x <= x1; ++x) run.emplace_back(x, y);
    return run;
}

// The default camera (eye at (600, 0, 0), 90 degrees, looking at the origin)
// on a 200 x 200 bitmap unless a test changes it.
class Perspective : public testing::Test {
protected:
    void SetUp() override {
        VANE->SetNearPlane(-1.0L);
        VANE->DefaultViewSettings(settings_);
        VANE->DefaultViewColors(colors_);
    }
    // As the view-kind-6 branch of the rendering entry does.
    TBitmap Draw(const ShapeList& shape, std::int32_t width = 200) {
        TBitmap bitmap = Blank(width);
        VANE->SetPerspective(width, 200, static_cast<double>(settings_.Camera.FieldOfView));
        DrawPerspectiveObject(shape.Head(), bitmap, settings_, colors_);
        return bitmap;
    }
    // Where a single vertex lands: a one-vertex polygon draws a zero-length edge.
    Pixels Spot(Point vertex, std::int32_t width = 200) {
        ShapeList shape;
        ShapeList::AddPolygon(shape.AddObject(), {vertex});
        return Drawn(Draw(shape, width));
    }
    // DrawClippedLine with camera-space ends, focal length 100, axis at (100, 100).
    Pixels Line(TVANE_Point3 a, TVANE_Point3 b) {
        TBitmap bitmap = Blank();
        VANE->SetPerspective(200, 200, 90.0);
        VANE->DrawClippedLine(bitmap, a, b);
        return Drawn(bitmap);
    }
    TVANE_ViewSettings settings_;
    TVANE_Colors colors_;
};

}  // namespace

TEST(SetNearPlane, LibraryStartUpPutsThePlaneAtMinusOne) {
    VANE->SetNearPlane(-5.0L);
    VANE_SourceInitialize();
    EXPECT_EQ(NearPlane, -1.0L);
}

TEST_F(Perspective, DefaultCameraShowsWhatTheSideViewShows) {
    VANE->SetPerspective(201, 99, 60.0);
    EXPECT_EQ(ScreenCentreX, 100.5L);
    EXPECT_EQ(ScreenCentreY, 49.5L);
    EXPECT_NEAR(static_cast<double>(FocalLength), 100.5 * std::sqrt(3.0), 1e-12);

    EXPECT_EQ(Spot({0, 0, 0}), (Pixels{{100, 100}}));
    EXPECT_EQ(Spot({0, 100, 0}), (Pixels{{117, 100}}));   // +Y to the right
    EXPECT_EQ(Spot({0, 0, 100}), (Pixels{{100, 83}}));    // +Z up
    EXPECT_EQ(Spot({300, 0, 100}), (Pixels{{100, 67}}));  // nearer, larger
    // An axis at column 100.5 rounds to 100, one at 101.5 to 102.
    EXPECT_EQ(Spot({0, 0, 0}, 201), (Pixels{{100, 100}}));
    EXPECT_EQ(Spot({0, 0, 0}, 203), (Pixels{{102, 100}}));
}

TEST_F(Perspective, EdgesAreCutAtTheNearPlane) {
    // (700, 100, 0) lies behind the eye: drawn along row 100 far past the edge.
    ShapeList shape;
    ShapeList::AddPolygon(shape.AddObject(), {{0, 0, 0}, {700, 100, 0}});
    EXPECT_EQ(Drawn(Draw(shape)), Row(100, 199, 100));

    EXPECT_TRUE(Line({-1, 0, 0}, {-1, 50, 0}).empty());      // both on the plane
    EXPECT_TRUE(Line({-0.5, 0, 0}, {20, 10, 10}).empty());   // both behind it
    EXPECT_EQ(Line({-100, 0, 0}, {-1, -0.5, 0}), Row(100, 150, 100));  // end on it kept
    // Front end at column 150; the plane is crossed halfway, at column 100.
    EXPECT_EQ(Line({-2, -1, 0}, {0, 1, 0}), Row(100, 150, 100));
    EXPECT_EQ(Line({0, 1, 0}, {-2, -1, 0}), Row(100, 150, 100));
}

TEST_F(Perspective, EdgeWithAnEndOffTheCoordinateRangeIsDroppedWhole) {
    // Column 100 + 100 * 1000, though the edge crosses the bitmap.
    EXPECT_TRUE(Line({-100, 0, 0}, {-1, -1000, 0}).empty());
    EXPECT_TRUE(Line({-100, 0, 0}, {-1, 0, 1e9}).empty());  // beyond 32 bits
    EXPECT_TRUE(Line({-100, 0, 0}, {-1, kNaN, 0}).empty());
    EXPECT_TRUE(Line({-100, 0, 0}, {-1, -326.68, 0}).empty());           // 32768
    EXPECT_EQ(Line({-100, 0, 0}, {-1, -326.67, 0}), Row(100, 199, 100));  // 32767
    EXPECT_TRUE(Line({-100, 0, 0}, {-1, 328.69, 0}).empty());            // -32769
    EXPECT_EQ(Line({-100, 0, 0}, {-1, 328.68, 0}), Row(0, 100, 100));    // -32768
}

TEST_F(Perspective, EveryPolygonIsDrawnClosed) {
    // (100,100)--(110,100)
    //         \  |         the closing edge is the diagonal
    //       (110,110)
    ShapeList triangle, others;
    ShapeList::AddPolygon(triangle.AddObject(), {{0, 0, 0}, {0, 60, 0}, {0, 60, -60}});
    const TBitmap bitmap = Draw(triangle);
    EXPECT_EQ(bitmap.Pixel(105, 105), colors_.MarkedLineColor);
    EXPECT_EQ(Drawn(bitmap).size(), 11u + 10u + 9u);

    // Two vertices: their segment; none: nothing, and the next polygon still drawn.
    TVANE_Object* object = others.AddObject();
    ShapeList::AddPolygon(object, {{0, -60, 0}, {0, -60, 60}});
    ShapeList::AddPolygon(object, {});
    ShapeList::AddPolygon(object, {{0, 60, 60}});
    const TBitmap second = Draw(others);
    EXPECT_EQ(Drawn(second).size(), 11u + 1u);
    EXPECT_NE(second.Pixel(110, 90), kGrey);
}

TEST_F(Perspective, PenColourFollowsTheMarkOnlyWhenAsked) {
    ShapeList shape;
    ShapeList::AddPolygon(shape.AddObject(), {{0, -60, 0}});
    ShapeList::AddPolygon(shape.Head(), {{0, 60, 0}}, 0);
    TBitmap bitmap = Draw(shape);
    EXPECT_EQ(bitmap.Pixel(90, 100), colors_.MarkedLineColor);
    EXPECT_EQ(bitmap.Pixel(110, 100), colors_.LineColor);
    settings_.ColorByMark = false;
    bitmap = Draw(shape);
    EXPECT_EQ(bitmap.Pixel(90, 100), colors_.PlainLineColor);
    EXPECT_EQ(bitmap.Pixel(110, 100), colors_.PlainLineColor);
}

TEST_F(Perspective, ObjectIsMovedBeforeItIsTurned) {
    settings_.ObjectOffset.Y = 100;  // view space mirrors Y: to the left
    EXPECT_EQ(Spot({0, 0, 0}), (Pixels{{83, 100}}));
    // Moved to (100, 0, 0), then turned to (0, -100, 0); turned first it would
    // stay on the axis.
    settings_.ObjectOffset = {100, 0, 0};
    settings_.ObjectRotation = {0, 0, 90};
    EXPECT_EQ(Spot({0, 0, 0}), (Pixels{{117, 100}}));
}

TEST_F(Perspective, AngleOfViewOutsideTheOpenHalfTurnDrawsNothing) {
    for (double angle : {0.0, -30.0, 180.0, 270.0, kNaN}) {
        settings_.Camera.FieldOfView = angle;
        EXPECT_TRUE(Spot({0, 0, 0}).empty()) << angle;
    }
    settings_.Camera.FieldOfView = 179.0;
    EXPECT_EQ(Spot({0, 0, 0}), (Pixels{{100, 100}}));
}

TEST(CameraAngleParts, HeadingAndElevationRunFromZeroToTwoPi) {
    const TVANE_Point3 o{0, 0, 0};
    const std::pair<TVANE_Point3, Extended> headings[] = {
        {{1, 0, 0}, 0}, {{0, 1, 0}, kPi / 2}, {{-1, 0, 0}, kPi}, {{0, -1, 0}, 3 * kPi / 2},
        {{0, 0, 0}, 0}, {{0, 0, 5}, 0},       {{1, -1, 7}, 7 * kPi / 4},
    };
    for (const auto& [to, heading] : headings)
        EXPECT_NEAR(static_cast<double>(HeadingAngle(o, to)), static_cast<double>(heading), 1e-15)
            << to.X << " " << to.Y << " " << to.Z;

    // Heading 60 degrees, 30 degrees below the horizontal.
    const double level = std::sqrt(3.0) / 2;
    const TVANE_Point3 below{level / 2, level * std::sqrt(3.0) / 2, -0.5};
    EXPECT_NEAR(static_cast<double>(ElevationAngle(o, below, HeadingAngle(o, below))),
                static_cast<double>(11 * kPi / 6), 1e-12);
    EXPECT_EQ(ElevationAngle(o, o, 0), 0.0L);

    Extended u = 2, v = 0;
    RotateXY(u, v, kPi / 2);  // counter-clockwise
    EXPECT_NEAR(static_cast<double>(u), 0.0, 1e-15);
    EXPECT_NEAR(static_cast<double>(v), 2.0, 1e-15);
}

TEST_F(Perspective, CameraAtEyeLooksAtViewCentre) {
    settings_.Camera.Eye = {0, 0, 500};
    Extended elevation, heading;
    CameraAngles(settings_.Camera, elevation, heading);
    EXPECT_EQ(heading, 0.0L);
    EXPECT_NEAR(static_cast<double>(elevation), 90.0, 1e-12);
    EXPECT_EQ(Spot({0, 0, 0}), (Pixels{{100, 100}}));

    // Both in vertex coordinates, off the origin, the eye above and to the side.
    settings_.Camera.ViewCentre = {10, 20, 30};
    settings_.Camera.Eye = {210, 420, 330};
    EXPECT_EQ(Spot({10, 20, 30}), (Pixels{{100, 100}}));
    EXPECT_EQ(Spot({110, 220, 180}), (Pixels{{100, 100}}));  // on the line of sight
    EXPECT_TRUE(Spot({210, 420, 330}).empty());               // the eye itself

    // Level with the centre on its +X side: as the side view shows it.
    settings_.Camera.Eye = {510, 20, 30};
    EXPECT_EQ(Spot({10, 70, 30}), (Pixels{{110, 100}}));
    EXPECT_EQ(Spot({10, 20, 80}), (Pixels{{100, 90}}));
}

TEST_F(Perspective, RenderingEntrySetsUpViewKindSixForTheBitmap) {
    ShapeList shape;
    ShapeList::AddPolygon(shape.AddObject(), {{0, 100, 0}});
    settings_.ViewKind = kViewPerspective;
    VANE->SetPerspective(1000, 1000, 10.0);  // left over from another bitmap
    TBitmap bitmap = Blank();
    VANE->DrawSuf(shape.Head(), bitmap, settings_, colors_);
    EXPECT_EQ(Drawn(bitmap), (Pixels{{117, 100}}));  // and no grid
}
