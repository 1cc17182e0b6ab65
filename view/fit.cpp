#include "view/fit.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "shape/errors.h"
#include "shape/vane.h"
#include "view/settings.h"

namespace {

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
        if (std::isfinite(static_cast<double>(value))) continue;
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

Extended MaxExtended(Extended A, Extended B) {
    return B >= A ? B : A;
}

Extended VectorLength(Extended A, Extended B, Extended C) {
    return std::sqrt((A * A + B * B) + C * C);
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
