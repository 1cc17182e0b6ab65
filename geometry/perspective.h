#pragma once
#include <cstdint>

#include "shape/records.h"
#include "shape/state.h"

struct TBitmap;
struct TVANE_Camera;
struct TVANE_Colors;
struct TVANE_ViewSettings;

// The pinhole camera view. Spaces:
// - vertex space: a vertex's X, Y, Z; the camera's Eye and ViewCentre are
//   given here too;
// - view space: a vertex as (X, -Y, Z);
// - camera space: view space after the view matrix. The eye sits at the origin
//   and looks along -X; the depth of a point is its X, and it lies in front
//   when that is below NearPlane. Camera Y runs to the left of the picture,
//   camera Z to its top.
// The members of TVANE that belong here (SetPerspective, SetNearPlane,
// ProjectPoint, DrawClippedLine) are declared in shape/vane.h.

// The projection state (ScreenCentreX, ScreenCentreY, FocalLength,
// NearPlane) is library-level state: shape/state.h.

// A projected point in pixels, not yet rounded: X grows to the right, Y down.
struct TVANE_ScreenPoint {
    Extended X = 0;
    Extended Y = 0;
};

// True when Value lies outside the range a canvas coordinate may take,
// -32768..32767.
bool OutsideCoordRange(std::int32_t Value);

// Direction of the vector from A to B in the XY plane, in radians,
// 0 <= result < 2 pi, counted from +X towards +Y. 0 when the vector has no
// XY part.
Extended HeadingAngle(const TVANE_Point3& A, const TVANE_Point3& B);

// Turns (U, V) counter-clockwise by Angle radians.
void RotateXY(Extended& U, Extended& V, Extended Angle);

// Angle of the vector from A to B above the XY plane, in radians, measured in
// the vertical plane of direction Heading (normally HeadingAngle(A, B)).
// 0 <= result < 2 pi: a vector below the horizontal gives 3 pi / 2 .. 2 pi.
Extended ElevationAngle(const TVANE_Point3& A, const TVANE_Point3& B, Extended Heading);

// Elevation and heading in degrees of the line of sight of Camera: the
// camera at Eye looking at ViewCentre, both vertex-space points.
void CameraAngles(const TVANE_Camera& Camera, Extended& Elevation, Extended& Heading);

// Draws every polygon of Object closed, edge by edge, through the camera of
// Settings, cut at the near plane. Uses the projection state, so call
// VANE->SetPerspective for this bitmap first. Object must not be nullptr.
void DrawPerspectiveObject(TVANE_Object* Object, TBitmap& Bitmap,
                           const TVANE_ViewSettings& Settings, const TVANE_Colors& Colors);
