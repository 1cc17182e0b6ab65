#include "view/ortho.h"

#include <cassert>
#include <cmath>

#include "shape/arena.h"
#include "view/canvas.h"
#include "view/round.h"
#include "view/settings.h"

namespace {

constexpr Extended kMinHalfSize = 1e-5L;

// Pixel offsets are kept within +-2^62; the canvas clips anything that far
// along the line towards its other end.
constexpr Extended kPixelLimit = 4611686018427387904.0L;  // 2^62

std::int64_t PixelOffset(Extended value) {
#if defined(__x86_64__) || defined(__i386__)
    if (std::fabs(value) <= kPixelLimit) {
        // One x87 store: rounds in the current mode, to nearest with halves
        // to even as RoundHalfEven does, and converts in the same step; the
        // drawing of a million triangles spent a sixth of its time on rint
        // and the trip through double below.
        std::int64_t result;
        asm("fistpll %0" : "=m"(result) : "t"(value) : "st");
        return result;
    }
#endif
    const Extended rounded = RoundHalfEven(value);
    // Through double, exact below 2^53: much cheaper than the x87 conversion
    // to an integer, which switches the rounding mode back and forth.
    if (std::fabs(rounded) <= 4503599627370496.0L)  // 2^52
        return static_cast<std::int64_t>(static_cast<double>(rounded));
    if (!(rounded >= -kPixelLimit)) return -static_cast<std::int64_t>(kPixelLimit);  // also NaN
    if (rounded > kPixelLimit) return static_cast<std::int64_t>(kPixelLimit);
    return static_cast<std::int64_t>(rounded);
}

// World (h, v) in the view plane to pixels.
struct TOrthoMapping {
    Extended k;           // pixels per world unit
    Extended hc, vc;      // view centre in the view plane
    std::int64_t cx, cy;  // centre pixel

    TOrthoMapping(const TBitmap& bitmap, const TVANE_ViewSettings& settings) {
        const std::int32_t half_w = bitmap.Width() / 2, half_h = bitmap.Height() / 2;
        // The larger half governs: HalfSize reaches the border of the longer side.
        k = static_cast<Extended>(MaxInteger(half_w, half_h)) / settings.Camera.HalfSize;
        const TVANE_Point3& c = settings.Camera.ViewCentre;
        switch (settings.ViewKind) {
            case kViewYZ: hc = c.Y; vc = c.Z; break;
            case kViewZX: hc = c.X; vc = c.Z; break;
            default: hc = c.X; vc = c.Y; break;
        }
        cx = half_w;
        cy = half_h;
    }
    std::int64_t X(Extended h) const { return PixelOffset((h - hc) * k) + cx; }
    std::int64_t Y(Extended v) const { return PixelOffset((v - vc) * (-k)) + cy; }
};

template <void (*Project)(const TVANE_Vertex&, Extended&, Extended&)>
void DrawPolygons(const TVANE_Object& object, TCanvas& canvas, const TOrthoMapping& map,
                  const TVANE_ViewSettings& settings, const TVANE_Colors& colors) {
    for (const TVANE_Polygon* poly = object.Polygons; poly != nullptr; poly = poly->Next) {
        PrefetchAhead(poly);
        canvas.Pen.Color = PolygonLineColor(poly->Marked, settings, colors);
        const TVANE_Vertex* v = poly->Vertices;
        if (v == nullptr) continue;
        Extended h, vv;
        Project(*v, h, vv);
        const std::int64_t x0 = map.X(h), y0 = map.Y(vv);
        canvas.MoveTo(x0, y0);
        for (v = v->Next; v != nullptr; v = v->Next) {
            Project(*v, h, vv);
            canvas.LineTo(map.X(h), map.Y(vv));
        }
        canvas.LineTo(x0, y0);  // every polygon is closed, whatever its kind
    }
}

// Calls Line(world, solid) once per sweep step from centre - half to centre + half.
template <typename LineFn>
void Sweep(Extended centre, Extended half, Extended spacing, LineFn line) {
    const Extended end = centre + half;
    for (Extended t = centre - half; t <= end;) {
        const Extended i = RoundHalfEven(t / spacing);
        // The style follows the sweep value itself, not the multiple it lands on.
        line(i * spacing, RoundHalfEven(t) == 0);
        const Extended next = t + spacing;
        if (next == t) break;  // a spacing below the resolution of t would never end
        t = next;
    }
}

bool HalfSizeDraws(const TVANE_ViewSettings& settings) {
    return std::fabs(settings.Camera.HalfSize) >= kMinHalfSize;
}

}  // namespace

void ProjectXY(const TVANE_Vertex& Vertex, Extended& H, Extended& V) {
    H = Vertex.X;
    V = Vertex.Y;
}

void ProjectYZ(const TVANE_Vertex& Vertex, Extended& H, Extended& V) {
    H = Vertex.Y;
    V = Vertex.Z;
}

void ProjectZX(const TVANE_Vertex& Vertex, Extended& H, Extended& V) {
    H = Vertex.X;
    V = Vertex.Z;
}

std::int32_t MaxInteger(std::int32_t A, std::int32_t B) {
    return A > B ? A : B;
}

void DrawOrthoObject(const TVANE_Object& Object, TBitmap& Bitmap,
                     const TVANE_ViewSettings& Settings, const TVANE_Colors& Colors) {
    assert(Settings.ViewKind <= kViewZX);
    const TVANE_ViewSettings settings = Settings;
    const TVANE_Colors colors = Colors;
    if (!HalfSizeDraws(settings)) return;
    const TOrthoMapping map(Bitmap, settings);
    TCanvas& canvas = Bitmap.Canvas;
    canvas.Pen.Style = TPenStyle::Solid;
    switch (settings.ViewKind) {
        case kViewYZ: DrawPolygons<ProjectYZ>(Object, canvas, map, settings, colors); break;
        case kViewZX: DrawPolygons<ProjectZX>(Object, canvas, map, settings, colors); break;
        default: DrawPolygons<ProjectXY>(Object, canvas, map, settings, colors); break;
    }
}

void DrawOrthoGrid(TBitmap& Bitmap, const TVANE_ViewSettings& Settings, const TVANE_Colors& Colors) {
    assert(Settings.ViewKind <= kViewZX);
    const TVANE_ViewSettings settings = Settings;
    const TVANE_Colors colors = Colors;
    if (!HalfSizeDraws(settings)) return;
    const Extended half = settings.Camera.HalfSize, spacing = settings.GridSpacing;
    if (!(spacing > 0) || !(2 * std::fabs(half) / spacing <= kMaxGridSteps)) return;
    TCanvas& canvas = Bitmap.Canvas;
    canvas.Pen.Color = colors.GridColor;
    const TOrthoMapping map(Bitmap, settings);
    const std::int64_t right = Bitmap.Width() - 1, bottom = Bitmap.Height() - 1;
    Sweep(map.hc, half, spacing, [&](Extended world, bool solid) {
        const std::int64_t x = map.X(world);
        canvas.Pen.Style = solid ? TPenStyle::Solid : TPenStyle::Dotted;
        canvas.MoveTo(x, 0);
        canvas.LineTo(x, bottom);
    });
    Sweep(map.vc, half, spacing, [&](Extended world, bool solid) {
        const std::int64_t y = map.Y(world);
        canvas.Pen.Style = solid ? TPenStyle::Solid : TPenStyle::Dotted;
        canvas.MoveTo(0, y);
        canvas.LineTo(right, y);
    });
}
