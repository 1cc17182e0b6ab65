#include "geometry/perspective.h"

#include <cassert>
#include <cmath>
#include <limits>
#include <utility>

#include "geometry/matrix.h"
#include "shape/vane.h"
#include "view/canvas.h"
#include "view/round.h"
#include "view/settings.h"

namespace {

constexpr Extended kHalfRadiansPerDegree = 0.00872664625997164788L;  // pi / 360
constexpr Extended kTwoPi = 6.28318530717958647703L;

// The rounded pixel coordinate of Value, or false when it falls outside the
// canvas range (a value beyond 32 bits, an infinity or a NaN included).
bool RoundedPixel(Extended value, std::int32_t& pixel) {
    const Extended rounded = RoundHalfEven(value);
    if (!(rounded >= std::numeric_limits<std::int32_t>::min() &&
          rounded <= std::numeric_limits<std::int32_t>::max()))
        return false;
    pixel = static_cast<std::int32_t>(rounded);
    return !OutsideCoordRange(pixel);
}

// Projects both ends, both in front of the near plane, and draws the line
// between them; an end off the canvas range drops the whole edge.
void DrawSegment(TBitmap& bitmap, const TVANE_Point3& start, const TVANE_Point3& end) {
    const TVANE_ScreenPoint s = VANE->ProjectPoint(start);
    const TVANE_ScreenPoint e = VANE->ProjectPoint(end);
    std::int32_t sx, sy, ex, ey;
    if (!RoundedPixel(s.X, sx) || !RoundedPixel(s.Y, sy) || !RoundedPixel(e.X, ex) ||
        !RoundedPixel(e.Y, ey))
        return;
    bitmap.Canvas.MoveTo(sx, sy);
    bitmap.Canvas.LineTo(ex, ey);
}

// The point a vertex stands for in view space.
TVANE_Point3 ViewPoint(const TVANE_Vertex& vertex) {
    return {static_cast<double>(vertex.X), static_cast<double>(-vertex.Y),
            static_cast<double>(vertex.Z)};
}

// Object placement followed by the camera: a view-space point is moved by
// ObjectOffset, turned about Z, Y and X, then moved by minus the eye and
// turned so that the line of sight runs along -X.
TVANE_Matrix ViewMatrix(const TVANE_ViewSettings& settings) {
    TVANE_Matrix object = MatrixIdentity();
    object = MatrixRotateX(object, settings.ObjectRotation.X);
    object = MatrixRotateY(object, settings.ObjectRotation.Y);
    object = MatrixRotateZ(object, settings.ObjectRotation.Z);
    object = MatrixTranslateZ(object, settings.ObjectOffset.Z);
    object = MatrixTranslateX(object, settings.ObjectOffset.X);
    object = MatrixTranslateY(object, settings.ObjectOffset.Y);

    const TVANE_Point3& eye = settings.Camera.Eye;
    Extended elevation, heading;
    CameraAngles(settings.Camera, elevation, heading);
    TVANE_Matrix camera = MatrixIdentity();
    camera = MatrixRotateY(camera, static_cast<double>(-elevation));
    camera = MatrixRotateZ(camera, static_cast<double>(-heading));
    // The eye is a vertex-space point: in view space it sits at (X, -Y, Z).
    camera = MatrixTranslateX(camera, -eye.X);
    camera = MatrixTranslateY(camera, eye.Y);
    camera = MatrixTranslateZ(camera, -eye.Z);

    return MatrixMultiply(object, camera);
}

}  // namespace

void TVANE::SetPerspective(std::int32_t Width, std::int32_t Height, double FieldOfView) {
    ScreenCentreX = static_cast<Extended>(Width) / 2;
    ScreenCentreY = static_cast<Extended>(Height) / 2;
    // Only an angle strictly between 0 and 180 degrees gives a finite, positive
    // focal length; any other leaves it 0, and nothing is drawn.
    if (!(FieldOfView > 0.0 && FieldOfView < 180.0)) {
        FocalLength = 0;
        return;
    }
    FocalLength = ScreenCentreX / std::tan(FieldOfView * kHalfRadiansPerDegree);
}

void TVANE::SetNearPlane(Extended Value) {
    NearPlane = Value;
}

TVANE_ScreenPoint TVANE::ProjectPoint(const TVANE_Point3& P) {
    return {static_cast<Extended>(P.Y) / P.X * FocalLength + ScreenCentreX,
            static_cast<Extended>(P.Z) / P.X * FocalLength + ScreenCentreY};
}

void TVANE::DrawClippedLine(TBitmap& Bitmap, const TVANE_Point3& A, const TVANE_Point3& B) {
    if (!(FocalLength > 0)) return;
    // P is the end further in front of the camera (smaller depth).
    TVANE_Point3 p = A;
    TVANE_Point3 q = B;
    if (p.X > q.X) std::swap(p, q);
    if (q.X < NearPlane) {
        DrawSegment(Bitmap, p, q);
    } else if (p.X < NearPlane) {
        // The edge crosses the plane: keep the part in front, up to the crossing.
        const Extended t = (static_cast<Extended>(p.X) - q.X) / (p.X - NearPlane);
        const TVANE_Point3 cut{static_cast<double>(NearPlane),
                               static_cast<double>(p.Y - (static_cast<Extended>(p.Y) - q.Y) / t),
                               static_cast<double>(p.Z - (static_cast<Extended>(p.Z) - q.Z) / t)};
        DrawSegment(Bitmap, p, cut);
    }
}

bool OutsideCoordRange(std::int32_t Value) {
    return Value < kMinCanvasCoord || Value > kMaxCanvasCoord;
}

Extended HeadingAngle(const TVANE_Point3& A, const TVANE_Point3& B) {
    const Extended dx = static_cast<Extended>(B.X) - A.X;
    const Extended dy = static_cast<Extended>(B.Y) - A.Y;
    if (dx == 0 && dy == 0) return 0;
    const Extended h = ArcCos(dx / std::sqrt(dx * dx + dy * dy));
    return dy < 0 ? kTwoPi - h : h;
}

void RotateXY(Extended& U, Extended& V, Extended Angle) {
    const Extended c = std::cos(Angle);
    const Extended s = std::sin(Angle);
    const Extended u = U * c - V * s;
    V = U * s + V * c;
    U = u;
}

Extended ElevationAngle(const TVANE_Point3& A, const TVANE_Point3& B, Extended Heading) {
    Extended dx = static_cast<Extended>(B.X) - A.X;
    Extended dy = static_cast<Extended>(B.Y) - A.Y;
    const Extended dz = static_cast<Extended>(B.Z) - A.Z;
    // Turns the horizontal part onto +X, so dx becomes its length.
    RotateXY(dx, dy, -Heading);
    if (dx == 0 && dz == 0) return 0;
    const Extended e = ArcCos(dx / std::sqrt(dx * dx + dz * dz));
    return dz < 0 ? kTwoPi - e : e;
}

void CameraAngles(const TVANE_Camera& Camera, Extended& Elevation, Extended& Heading) {
    // The camera matrix turns view space by minus these angles so that the
    // line from ViewCentre back to Eye runs along +X, and the line of sight
    // along -X. View space mirrors Y, which mirrors every heading, so the
    // angles are those of the vertex-space vector.
    const Extended heading = HeadingAngle(Camera.ViewCentre, Camera.Eye);
    const Extended elevation = ElevationAngle(Camera.ViewCentre, Camera.Eye, heading);
    Elevation = RadToDeg(elevation);
    Heading = RadToDeg(heading);
}

void DrawPerspectiveObject(TVANE_Object* Object, TBitmap& Bitmap,
                           const TVANE_ViewSettings& Settings, const TVANE_Colors& Colors) {
    assert(Object != nullptr);
    const TVANE_ViewSettings settings = Settings;
    const TVANE_Colors colors = Colors;
    const TVANE_Matrix view = ViewMatrix(settings);

    TCanvas& canvas = Bitmap.Canvas;
    canvas.Pen.Style = TPenStyle::Solid;
    for (const TVANE_Polygon* polygon = Object->Polygons; polygon; polygon = polygon->Next) {
        canvas.Pen.Color = PolygonLineColor(polygon->Marked, settings, colors);
        const TVANE_Vertex* vertex = polygon->Vertices;
        if (!vertex) continue;
        // Each vertex is transformed once: the first is kept for the closing edge.
        const TVANE_Point3 first = TransformPoint(ViewPoint(*vertex), view);
        TVANE_Point3 previous = first;
        for (vertex = vertex->Next; vertex; vertex = vertex->Next) {
            const TVANE_Point3 current = TransformPoint(ViewPoint(*vertex), view);
            VANE->DrawClippedLine(Bitmap, previous, current);
            previous = current;
        }
        VANE->DrawClippedLine(Bitmap, previous, first);
    }
}
