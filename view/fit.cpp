#include "view/fit.h"

#include <cmath>

#include "shape/vane.h"
#include "view/settings.h"

namespace {

// The box centre as doubles; false when a component lies beyond the double range.
bool BoxCentre(const TVANE_Extents& e, TVANE_Point3& centre) {
    centre = {static_cast<double>((e.MinX + e.MaxX) / 2), static_cast<double>((e.MinY + e.MaxY) / 2),
              static_cast<double>((e.MinZ + e.MaxZ) / 2)};
    return std::isfinite(centre.X) && std::isfinite(centre.Y) && std::isfinite(centre.Z);
}

void FitOrthographic(const TVANE_Extents& e, TVANE_ViewSettings& s) {
    TVANE_Point3 centre;
    if (!BoxCentre(e, centre)) return;
    s.Camera.ViewCentre = centre;
    // Measured from the stored doubles, so every view of one fit shares centre and scale.
    s.Camera.HalfSize = MaxExtended(MaxExtended(std::fabs(e.MaxX - centre.X), std::fabs(e.MaxY - centre.Y)),
                                    std::fabs(e.MaxZ - centre.Z));
}

void FitPerspective(const TVANE_Extents& e, TVANE_ViewSettings& s) {
    s.ObjectOffset = {0.0, 0.0, 0.0};
    TVANE_Point3 centre;
    if (!BoxCentre(e, centre)) return;
    const TVANE_Point3& eye = s.Camera.Eye;
    const Extended d = VectorLength(eye.X - static_cast<Extended>(centre.X),
                                    eye.Y - static_cast<Extended>(centre.Y),
                                    eye.Z - static_cast<Extended>(centre.Z));
    const Extended g = VectorLength(e.MaxX - e.MinX, e.MaxY - e.MinY, e.MaxZ - e.MinZ);
    // Both would divide by zero: no direction to keep, or no size to fit.
    if (!(d > 0) || !(g > 0)) return;
    const Extended f = d / (g / 1.5L);
    const TVANE_Point3 moved = {
        static_cast<double>((eye.X - static_cast<Extended>(centre.X)) / f + centre.X),
        static_cast<double>((eye.Y - static_cast<Extended>(centre.Y)) / f + centre.Y),
        static_cast<double>((eye.Z - static_cast<Extended>(centre.Z)) / f + centre.Z)};
    if (!std::isfinite(moved.X) || !std::isfinite(moved.Y) || !std::isfinite(moved.Z)) return;
    s.Camera.ViewCentre = centre;
    s.Camera.Eye = moved;
    s.Camera.FieldOfView = 90.0L;
}

}  // namespace

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
