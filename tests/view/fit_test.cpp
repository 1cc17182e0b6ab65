#include "view/fit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "shape/errors.h"
#include "shape/vane.h"
#include "shapes.h"
#include "view/settings.h"

using view_test::Point;
using view_test::ShapeList;

namespace {

// An object whose vertices span the box from lo to hi.
TVANE_Object* AddBox(ShapeList& shape, Point lo, Point hi) {
    TVANE_Object* object = shape.AddObject();
    ShapeList::AddPolygon(object, {lo, {hi[0], lo[1], lo[2]}, hi});
    return object;
}

TVANE_ViewSettings Settings(std::uint8_t kind) {
    TVANE_ViewSettings settings;
    VANE->DefaultViewSettings(settings);
    settings.ViewKind = kind;
    settings.Camera.HalfSize = 3;
    settings.ObjectRotation = {1, 2, 3};
    settings.ObjectOffset = {4, 5, 6};
    return settings;
}

void ExpectSame(const TVANE_ViewSettings& a, const TVANE_ViewSettings& b) {
    EXPECT_EQ(a.ViewKind, b.ViewKind);
    EXPECT_EQ(a.Camera.Eye.X, b.Camera.Eye.X);
    EXPECT_EQ(a.Camera.FieldOfView, b.Camera.FieldOfView);
    EXPECT_EQ(a.Camera.HalfSize, b.Camera.HalfSize);
    EXPECT_EQ(a.Camera.ViewCentre.X, b.Camera.ViewCentre.X);
    EXPECT_EQ(a.Camera.ViewCentre.Y, b.Camera.ViewCentre.Y);
    EXPECT_EQ(a.Camera.ViewCentre.Z, b.Camera.ViewCentre.Z);
    EXPECT_EQ(a.ObjectOffset.X, b.ObjectOffset.X);
    EXPECT_EQ(a.GridSpacing, b.GridSpacing);
}

}  // namespace

TEST(FitView, CentreAndHalfSizeOfTheWholeList) {
    {
        ShapeList shape;
        AddBox(shape, {-10, 0, 5}, {30, 10, 5});
        TVANE_ViewSettings s = Settings(kViewXY);
        VANE->FitView(shape.Head(), s, s);  // in place
        EXPECT_EQ(s.Camera.ViewCentre.X, 10);
        EXPECT_EQ(s.Camera.ViewCentre.Y, 5);
        EXPECT_EQ(s.Camera.ViewCentre.Z, 5);
        EXPECT_EQ(s.Camera.HalfSize, 20);
        EXPECT_EQ(s.ObjectOffset.X, 4);  // untouched by the orthographic rule
    }
    {
        ShapeList shape;
        AddBox(shape, {0, 0, 0}, {1, 1, 1});
        AddBox(shape, {2, -1, 0}, {4, 0, 0});
        TVANE_ViewSettings fitted;
        VANE->FitView(shape.Head(), Settings(kViewZX), fitted);
        EXPECT_EQ(fitted.Camera.ViewCentre.X, 2);
        EXPECT_EQ(fitted.Camera.ViewCentre.Y, 0);
        EXPECT_EQ(fitted.Camera.ViewCentre.Z, 0.5);
        EXPECT_EQ(fitted.Camera.HalfSize, 2);
    }
    {
        // An object without vertices keeps its zero extents and joins the union.
        ShapeList shape;
        shape.AddObject();
        AddBox(shape, {10, 10, 10}, {20, 20, 20});
        TVANE_ViewSettings fitted;
        VANE->FitView(shape.Head(), Settings(7), fitted);
        EXPECT_EQ(fitted.Camera.ViewCentre.X, 10);
        EXPECT_EQ(fitted.Camera.HalfSize, 10);
    }
}

TEST(FitView, RefreshesStaleExtents) {
    ShapeList shape;
    TVANE_Object* object = AddBox(shape, {0, 0, 0}, {2, 4, 6});
    object->MinX = -100;
    object->MaxZ = 100;
    TVANE_ViewSettings fitted;
    VANE->FitView(shape.Head(), Settings(200), fitted);  // kind 200 fits nothing ...
    EXPECT_EQ(object->MinX, 0);                          // ... yet extents are refreshed
    EXPECT_EQ(object->MaxZ, 6);
    ExpectSame(fitted, Settings(200));
    VANE->FitView(shape.Head(), Settings(kViewYZ), fitted);
    EXPECT_EQ(fitted.Camera.HalfSize, 3);
    EXPECT_EQ(fitted.Camera.ViewCentre.Z, 3);
}

TEST(FitToExtents, KindsChooseTheRule) {
    const TVANE_Extents box{-1, -1, -1, 1, 3, 1};
    for (int kind = 0; kind < 256; ++kind) {
        TVANE_ViewSettings fitted;
        FitToExtents(box, Settings(static_cast<std::uint8_t>(kind)), fitted);
        if (kind == 6) continue;
        if (kind <= 7) {
            EXPECT_EQ(fitted.Camera.HalfSize, 2) << kind;
            EXPECT_EQ(fitted.Camera.ViewCentre.Y, 1) << kind;
        } else {
            ExpectSame(fitted, Settings(static_cast<std::uint8_t>(kind)));
        }
    }
}

TEST(FitToExtents, PerspectiveMovesTheEyeAlongItsLine) {
    TVANE_ViewSettings s = Settings(kViewPerspective);
    s.Camera.FieldOfView = 40;
    FitToExtents({-1, -1, -1, 1, 1, 1}, s, s);
    EXPECT_NEAR(s.Camera.Eye.X, std::sqrt(12.0) / 1.5, 1e-12);  // about 2.30940
    EXPECT_EQ(s.Camera.Eye.Y, 0);
    EXPECT_EQ(s.Camera.Eye.Z, 0);
    EXPECT_EQ(s.Camera.FieldOfView, 90);
    EXPECT_EQ(s.Camera.ViewCentre.X, 0);
    EXPECT_EQ(s.ObjectOffset.X, 0);
    EXPECT_EQ(s.ObjectOffset.Z, 0);
    EXPECT_EQ(s.ObjectRotation.Y, 2);
    EXPECT_EQ(s.Camera.HalfSize, 3);

    // Off-centre box: the eye keeps its direction from the new centre.
    TVANE_ViewSettings t = Settings(kViewPerspective);
    t.Camera.Eye = {10, 30, 0};
    FitToExtents({9, 9, 0, 11, 11, 0}, t, t);
    const double len = std::sqrt(8.0) / 1.5;
    EXPECT_NEAR(t.Camera.Eye.X, 10, 1e-12);
    EXPECT_NEAR(t.Camera.Eye.Y, 10 + len, 1e-12);
    EXPECT_EQ(t.Camera.ViewCentre.Y, 10);
}

TEST(FitToExtents, DegenerateCasesLeaveTheCameraAlone) {
    struct Case {
        const char* what;
        TVANE_Extents box;
        TVANE_Point3 eye;
    };
    const Case cases[] = {
        {"point-sized box", {1, 2, 3, 1, 2, 3}, {600, 0, 0}},
        {"eye at the centre", {-1, -1, -1, 1, 1, 1}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        TVANE_ViewSettings s = Settings(kViewPerspective);
        s.Camera.Eye = c.eye;
        s.Camera.FieldOfView = 40;
        const TVANE_ViewSettings before = s;
        FitToExtents(c.box, s, s);
        EXPECT_EQ(s.Camera.Eye.X, before.Camera.Eye.X) << c.what;
        EXPECT_EQ(s.Camera.FieldOfView, 40) << c.what;
        EXPECT_EQ(s.Camera.ViewCentre.X, 0) << c.what;
        EXPECT_TRUE(std::isfinite(s.Camera.Eye.X)) << c.what;
    }
    // A point-sized shape fits HalfSize 0 orthographically (and then draws nothing).
    TVANE_ViewSettings o;
    FitToExtents({1, 2, 3, 1, 2, 3}, Settings(kViewXY), o);
    EXPECT_EQ(o.Camera.HalfSize, 0);
    EXPECT_EQ(o.Camera.ViewCentre.Z, 3);
}

// A centre or eye beyond the double range is an error, as any value would be
// that does not fit a double, and the settings stay as they were.
TEST(FitView, ResultBeyondDoublesThrowsAndKeepsTheSettings) {
    struct Case {
        std::uint8_t kind;
        Point lo, hi;
        const char* message;
    };
    const Case cases[] = {
        {kViewXY, {0, 2e4000L, 0}, {0, 2e4000L, 1},
         "表示を合わせられません（中心の Y 座標 2E+4000 は倍精度浮動小数点数の範囲を超えています）。"},
        {kViewPerspective, {0, 0, 1e4000L}, {1, 1, 1e4000L},
         "表示を合わせられません（中心の Z 座標 1E+4000 は倍精度浮動小数点数の範囲を超えています）。"},
        // Centre 0; the eye at 600 is moved out to 2 * 1.7e308 / 1.5.
        {kViewPerspective, {-1.7e308L, 0, 0}, {1.7e308L, 0, 0},
         "表示を合わせられません（視点の X 座標 2.26666666666667E+308 は倍精度浮動小数点数の範囲を超えています）。"},
    };
    for (const Case& c : cases) {
        ShapeList shape;
        AddBox(shape, c.lo, c.hi);
        TVANE_ViewSettings s = Settings(c.kind);
        try {
            VANE->FitView(shape.Head(), s, s);  // in place
            ADD_FAILURE() << "no error for " << c.message;
        } catch (const SufConvertError& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
        ExpectSame(s, Settings(c.kind));
        EXPECT_EQ(s.ObjectOffset.Y, 5);  // not even the perspective rule's offset
    }
}

TEST(FitView, NullShapeLeavesTheSettings) {
    TVANE_ViewSettings fitted;
    VANE->FitView(nullptr, Settings(kViewXY), fitted);
    ExpectSame(fitted, Settings(kViewXY));
}

// A box 10 wide, 2 high and 4 deep fitted to pictures of both shapes: the
// axes a view shows fill 92 % of the picture side that limits them, the
// other stays within its side, and the box centre lands on the centre pixel.
TEST(FitPicture, OrthographicViewsFillThePictureWithinTheMargins) {
    const TVANE_Extents box{0, 0, 0, 10, 2, 4};
    struct Case {
        std::uint8_t kind;
        Extended across, up;
    };
    for (const Case c : {Case{kViewXY, 10, 2}, Case{kViewYZ, 2, 4}, Case{kViewZX, 10, 4}}) {
        for (const auto& [width, height] : {std::pair{100, 50}, std::pair{50, 100}, std::pair{37, 37}}) {
            TVANE_ViewSettings settings = Settings(c.kind);
            FitPicture(box, width, height, settings);
            // The orthographic drawing maps HalfSize onto the larger half side.
            const Extended pixels_per_unit = std::max(width / 2, height / 2) / settings.Camera.HalfSize;
            const Extended used_across = c.across * pixels_per_unit / width;
            const Extended used_up = c.up * pixels_per_unit / height;
            SCOPED_TRACE(testing::Message() << int(c.kind) << " " << width << "x" << height);
            EXPECT_NEAR(static_cast<double>(std::max(used_across, used_up)), 0.92, 1e-12);
            EXPECT_LE(used_across, 0.92L + 1e-12L);
            EXPECT_LE(used_up, 0.92L + 1e-12L);
            EXPECT_EQ(settings.Camera.ViewCentre.X, 5);
            EXPECT_EQ(settings.Camera.ViewCentre.Y, 1);
            EXPECT_EQ(settings.Camera.ViewCentre.Z, 2);
        }
    }
}

// The perspective view keeps its line of sight and backs off until the box's
// bounding sphere fits the narrower angle of view with the margin.
TEST(FitPicture, PerspectiveBacksOffUntilTheSphereFits) {
    const TVANE_Extents box{-3, -4, -12, 3, 4, 12};  // radius 13
    for (const auto& [width, height] : {std::pair{200, 100}, std::pair{100, 200}}) {
        TVANE_ViewSettings settings = Settings(kViewPerspective);
        settings.Camera.Eye = {1, 0, 0};
        FitPicture(box, width, height, settings);
        const TVANE_Camera& camera = settings.Camera;
        EXPECT_EQ(camera.Eye.Y, 0);
        EXPECT_EQ(camera.Eye.Z, 0);
        // The narrower half angle, with 4 % of the picture free on each side.
        const double field = static_cast<double>(camera.FieldOfView);
        const double half_across = std::atan(std::tan(field / 2 * M_PI / 180) * 0.92);
        const double half = height < width ? std::atan(std::tan(half_across) * height / width) : half_across;
        EXPECT_NEAR(camera.Eye.X, 13 / std::sin(half), 1e-9);
    }
}
