#include "view/fit.h"

#include <cmath>
#include <cstdint>
#include <numbers>
#include <cstdio>
#include <limits>
#include <string>

#include "shape/errors.h"
#include "shape/number.h"
#include "shape/vane.h"
#include "shape/state.h"
#include "view/ortho.h"
#include "view/settings.h"

namespace {

// Share of the picture left free on each side by FitPicture.
constexpr Extended kMarginShare = 0.04L;


// The box centre, each sum formed in extended precision.
TVANE_Point3 BoxCentre(const TVANE_Extents& e) {
    return FittedPoint((e.MinX + e.MaxX) / 2, (e.MinY + e.MaxY) / 2, (e.MinZ + e.MaxZ) / 2, "中心");
}

void FitOrthographic(const TVANE_Extents& e, TVANE_ViewSettings& s) {
    const TVANE_Point3 centre = BoxCentre(e);
    s.Camera.ViewCentre = centre;
    // Measured from the stored doubles, so every view of one fit shares centre and scale.
    s.Camera.HalfSize = MaxExtended(MaxExtended(std::fabs(e.MaxX - centre.X), std::fabs(e.MaxY - centre.Y)),
                                    std::fabs(e.MaxZ - centre.Z));
}

void FitPerspective(const TVANE_Extents& e, TVANE_ViewSettings& s) {
    s.ObjectOffset = {0.0, 0.0, 0.0};
    const TVANE_Point3 centre = BoxCentre(e);
    const TVANE_Point3& eye = s.Camera.Eye;
    const Extended d = VectorLength(eye.X - static_cast<Extended>(centre.X),
                                    eye.Y - static_cast<Extended>(centre.Y),
                                    eye.Z - static_cast<Extended>(centre.Z));
    const Extended g = VectorLength(e.MaxX - e.MinX, e.MaxY - e.MinY, e.MaxZ - e.MinZ);
    // Both would divide by zero: no direction to keep, or no size to fit.
    if (!(d > 0) || !(g > 0)) return;
    const Extended f = d / (g / 1.5L);
    const TVANE_Point3 moved = FittedPoint((eye.X - static_cast<Extended>(centre.X)) / f + centre.X,
                                           (eye.Y - static_cast<Extended>(centre.Y)) / f + centre.Y,
                                           (eye.Z - static_cast<Extended>(centre.Z)) / f + centre.Z,
                                           "視点");
    s.Camera.ViewCentre = centre;
    s.Camera.Eye = moved;
    s.Camera.FieldOfView = 90.0L;
}

}  // namespace

TVANE_Point3 FittedPoint(Extended X, Extended Y, Extended Z, const char* What) {
    const Extended values[] = {X, Y, Z};
    static constexpr const char* kAxes[] = {"X", "Y", "Z"};
    for (int i = 0; i < 3; ++i) {
        const Extended value = values[i];
        // Compared before converting: a conversion out of range is undefined.
        if (std::fabs(value) <= std::numeric_limits<double>::max()) continue;
        std::string shown = std::isnan(value) ? "非数" : std::isinf(value) ? "無限大" : "";
        if (shown.empty()) {
            char wide[64];
            std::snprintf(wide, sizeof wide, "%.15LG", value);
            shown = wide;
        }
        throw SufConvertError(std::string("表示を合わせられません（") + What + "の " + kAxes[i] +
                              " 座標 " + shown + " は倍精度浮動小数点数の範囲を超えています）。");
    }
    return {static_cast<double>(X), static_cast<double>(Y), static_cast<double>(Z)};
}

void FitToExtents(const TVANE_Extents& Extents, const TVANE_ViewSettings& Settings,
                  TVANE_ViewSettings& Fitted) {
    TVANE_ViewSettings settings = Settings;
    if (settings.ViewKind <= 5 || settings.ViewKind == 7)
        FitOrthographic(Extents, settings);
    else if (settings.ViewKind == kViewPerspective)
        FitPerspective(Extents, settings);
    Fitted = settings;
}

void TVANE::FitView(TVANE_Object* Shape, const TVANE_ViewSettings& Settings,
                    TVANE_ViewSettings& Fitted) {
    const TVANE_ViewSettings settings = Settings;
    if (Shape == nullptr) {  // nothing to measure: the settings stay as they are
        Fitted = settings;
        return;
    }
    TBoxGrowth<Extended> box;
    for (TVANE_Object* object = Shape; object != nullptr; object = object->Next) {
        CalcSufExtents(object);
        box.Add(ObjectExtents(*object));
    }
    FitToExtents(box.Box(), settings, Fitted);
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
