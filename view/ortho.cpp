#include "view/ortho.h"

#include <cassert>
#include <cmath>
#include <memory>
#include <vector>

#include "shape/arena.h"
#include "view/canvas.h"
#include "view/round.h"
#include "view/settings.h"

namespace {

constexpr Extended kMinHalfSize = 1e-5L;

// Pixel offsets up to +-2^62 from the centre pixel are drawn as they round;
// the canvas clips anything that far along the line towards its other end.
constexpr Extended kPixelLimit = 4611686018427387904.0L;  // 2^62

// The nearest integer to a value within kPixelLimit, halves to even.
std::int64_t RoundOffset(Extended value) {
#if defined(__x86_64__) || defined(__i386__)
    // One x87 store: rounds in the current mode, to nearest with halves to
    // even as RoundHalfEven does, and converts in the same step; the drawing
    // of a million triangles spent a sixth of its time on rint and a trip
    // through double.
    std::int64_t result;
    asm("fistpll %0" : "=m"(result) : "t"(value) : "st");
    return result;
#else
    return static_cast<std::int64_t>(RoundHalfEven(value));
#endif
}

// RoundOffset, saturating at +-kPixelLimit (NaN gives -kPixelLimit). Enough
// for lines along an axis, which keep their direction when one coordinate
// saturates.
std::int64_t PixelOffset(Extended value) {
    if (std::fabs(value) <= kPixelLimit) return RoundOffset(value);
    if (!(value >= -kPixelLimit)) return -static_cast<std::int64_t>(kPixelLimit);
    return static_cast<std::int64_t>(kPixelLimit);
}

// A vertex in pixels from the centre pixel, not yet rounded.
struct TOffset {
    Extended x, y;
};

// Far edges are cut to the square of this half side around the centre pixel
// before rounding: it holds any bitmap with room to spare, and its corners
// still convert exactly.
constexpr Extended kReach = 1099511627776.0L;  // 2^40

// The nearest point of a far edge is worked out from its nearer end, with an
// error of about that end's distance times 2^-62, its own rounding included.
// Beyond this distance that is more than a quarter pixel: the edge's place
// on the bitmap is not known, and it is not drawn.
constexpr Extended kPlaceLimit = 1152921504606846976.0L;  // 2^60

Extended MaxAbs(const TOffset& p) {
    return std::fmax(std::fabs(p.x), std::fabs(p.y));
}

// Replaces the ends of the edge a-b (one end at least beyond kPixelLimit) by
// the ends of its part that can reach the square of half side kReach, both
// within a few times kReach. False when the edge misses the square, or its
// place is not known to the pixel (both ends beyond kPlaceLimit, or an end
// not finite). Rounding each end on its own would turn the edge, as each
// axis would saturate separately; the cut keeps its line.
bool CutFarEdge(TOffset& a, TOffset& b) {
    if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y))
        return false;
    const TOffset d = {b.x - a.x, b.y - a.y};
    const Extended length = MaxAbs(d);
    if (!std::isfinite(length)) return false;
    if (length == 0) return false;  // one point, and that one far away
    // The foot of the perpendicular from the centre: at parameter ua from a
    // and ub from b (ua + ub = 1). Each is worked out on its own, and the
    // foot from the nearer end, so that an edge from a near vertex to one at
    // 1e300 keeps the near end's precision. The dot products are taken at a
    // power-of-two scale that cannot overflow.
    const int e = std::ilogb(std::fmax(MaxAbs(a), MaxAbs(b)));
    const TOffset as = {std::scalbn(a.x, -e), std::scalbn(a.y, -e)};
    const TOffset bs = {std::scalbn(b.x, -e), std::scalbn(b.y, -e)};
    const TOffset ds = {bs.x - as.x, bs.y - as.y};
    const Extended dd = ds.x * ds.x + ds.y * ds.y;
    const Extended ua = -(as.x * ds.x + as.y * ds.y) / dd;
    const Extended ub = (bs.x * ds.x + bs.y * ds.y) / dd;
    if (!(MaxAbs(ua <= ub ? a : b) <= kPlaceLimit)) return false;
    TOffset foot;
    Extended back, ahead;  // parameter from the foot back to a and on to b
    if (ua <= ub) {
        back = std::fmax(ua, Extended{0});
        ahead = back == 0 ? 1 : ub;
        foot = back == 0 ? a : TOffset{a.x + ua * d.x, a.y + ua * d.y};
    } else {
        ahead = std::fmax(ub, Extended{0});
        back = ahead == 0 ? 1 : ua;
        foot = ahead == 0 ? b : TOffset{b.x - ub * d.x, b.y - ub * d.y};
    }
    // The foot is the point of the edge nearest the centre: beyond twice
    // kReach the whole edge lies outside the square. Inside it, every point
    // of the square on the edge's line is within sqrt(2) kReach of the foot.
    if (!(MaxAbs(foot) <= 2 * kReach)) return false;
    const Extended window = 2 * kReach / length;
    const Extended to_a = std::fmin(window, back), to_b = std::fmin(window, ahead);
    a = {foot.x - to_a * d.x, foot.y - to_a * d.y};
    b = {foot.x + to_b * d.x, foot.y + to_b * d.y};
    return true;
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
    // Saturating, for the grid's lines along the axes.
    std::int64_t X(Extended h) const { return PixelOffset((h - hc) * k) + cx; }
    std::int64_t Y(Extended v) const { return PixelOffset((v - vc) * (-k)) + cy; }
    // An offset within kPixelLimit to its pixel.
    std::int64_t PixelX(Extended offset) const { return RoundOffset(offset) + cx; }
    std::int64_t PixelY(Extended offset) const { return RoundOffset(offset) + cy; }

    // The pixel of a vertex; false, with X and Y not to be used, when it lies
    // beyond kPixelLimit or is not a number.
    template <void (*Project)(const TVANE_Vertex&, Extended&, Extended&)>
    bool Pixel(const TVANE_Vertex& vertex, std::int64_t& x, std::int64_t& y) const {
        Extended h, v;
        Project(vertex, h, v);
        const Extended ox = (h - hc) * k;
        if (!(std::fabs(ox) <= kPixelLimit)) return false;
        x = RoundOffset(ox) + cx;
        const Extended oy = (v - vc) * (-k);
        if (!(std::fabs(oy) <= kPixelLimit)) return false;
        y = RoundOffset(oy) + cy;
        return true;
    }

    template <void (*Project)(const TVANE_Vertex&, Extended&, Extended&)>
    TOffset Offset(const TVANE_Vertex& vertex) const {
        Extended h, v;
        Project(vertex, h, v);
        return {(h - hc) * k, (v - vc) * (-k)};
    }
};

// Draws the visible part of the edge from one vertex to the next when an
// end lies beyond kPixelLimit. Rare: kept out of the loop over the vertices.
template <void (*Project)(const TVANE_Vertex&, Extended&, Extended&)>
[[gnu::noinline]] void DrawFarEdge(TCanvas& canvas, const TOrthoMapping& map,
                                   const TVANE_Vertex& from, const TVANE_Vertex& to) {
    TOffset a = map.Offset<Project>(from), b = map.Offset<Project>(to);
    if (!CutFarEdge(a, b)) return;
    canvas.MoveTo(map.PixelX(a.x), map.PixelY(a.y));
    canvas.LineTo(map.PixelX(b.x), map.PixelY(b.y));
}

// Draws one polygon, closed.
template <void (*Project)(const TVANE_Vertex&, Extended&, Extended&)>
void DrawPolygon(const TVANE_Polygon* poly, TCanvas& canvas, const TOrthoMapping& map,
                 const TVANE_ViewSettings& settings, const TVANE_Colors& colors) {
    canvas.Pen.Color = PolygonLineColor(poly->Marked, settings, colors);
    const TVANE_Vertex* first = poly->Vertices;
    if (first == nullptr) return;
    std::int64_t x0 = 0, y0 = 0;
    const bool first_near = map.Pixel<Project>(*first, x0, y0);
    if (first_near) canvas.MoveTo(x0, y0);
    // The pen stands on the previous vertex's pixel whenever that one is
    // near, as nearly every vertex is.
    bool prev_near = first_near;
    const TVANE_Vertex* prev = first;
    for (const TVANE_Vertex* v = first->Next; v != nullptr; v = v->Next) {
        std::int64_t x = 0, y = 0;
        const bool near = map.Pixel<Project>(*v, x, y);
        if (near && prev_near) {
            canvas.LineTo(x, y);
        } else {
            DrawFarEdge<Project>(canvas, map, *prev, *v);
            if (near) canvas.MoveTo(x, y);
            prev_near = near;
        }
        prev = v;
    }
    // Every polygon is closed, whatever its kind.
    if (first_near && prev_near)
        canvas.LineTo(x0, y0);
    else
        DrawFarEdge<Project>(canvas, map, *prev, *first);
}

template <void (*Project)(const TVANE_Vertex&, Extended&, Extended&)>
void DrawPolygons(const TVANE_Object& object, TCanvas& canvas, const TOrthoMapping& map,
                  const TVANE_ViewSettings& settings, const TVANE_Colors& colors) {
    for (const TVANE_Polygon* poly = object.Polygons; poly != nullptr; poly = poly->Next) {
        PrefetchAhead(poly);
        DrawPolygon<Project>(poly, canvas, map, settings, colors);
    }
}

// One view of several drawn in one walk.
struct TOrthoDrawing {
    TCanvas* canvas;
    TOrthoMapping map;
    const TVANE_ViewSettings* settings;
    int h, v;  // the axes (0 X, 1 Y, 2 Z) across and up
};

// Views of one scale and one view centre share each axis's pixel offsets:
// XY and ZX both go across by (X - centre X) k, YZ goes across by what XY
// goes up by, only with the sign turned, which rounding to even keeps. So
// a polygon's offsets are worked out once for all of them.
struct TSharedAxes {
    bool shared = false;
    Extended k = 0;
    Extended centre[3] = {0, 0, 0};
    bool used[3] = {false, false, false};
};

TSharedAxes ShareAxes(const std::vector<TOrthoDrawing>& views) {
    TSharedAxes axes;
    if (views.size() < 2) return axes;
    const TVANE_Point3& c = views[0].settings->Camera.ViewCentre;
    axes.k = views[0].map.k;
    axes.centre[0] = c.X;
    axes.centre[1] = c.Y;
    axes.centre[2] = c.Z;
    for (const TOrthoDrawing& view : views) {
        const TVANE_Point3& other = view.settings->Camera.ViewCentre;
        if (!(view.map.k == axes.k) || !(other.X == c.X) || !(other.Y == c.Y) || !(other.Z == c.Z)) return axes;
        axes.used[view.h] = axes.used[view.v] = true;
    }
    axes.shared = true;
    return axes;
}

// Draws one polygon into every view from offsets worked out once. False,
// with nothing drawn, for a polygon with no vertex, more than a few, or one
// beyond kPixelLimit on an axis: the views draw it one by one.
bool DrawPolygonShared(const TVANE_Polygon* poly, const std::vector<TOrthoDrawing>& views, const TSharedAxes& axes,
                       const TVANE_Colors& colors) {
    constexpr std::size_t kMostCorners = 16;
    std::int64_t offsets[3][kMostCorners];
    std::size_t n = 0;
    for (const TVANE_Vertex* v = poly->Vertices; v != nullptr; v = v->Next, ++n) {
        if (n == kMostCorners) return false;
        const Extended coordinates[3] = {v->X, v->Y, v->Z};
        for (int a = 0; a < 3; ++a) {
            if (!axes.used[a]) continue;
            const Extended offset = (coordinates[a] - axes.centre[a]) * axes.k;
            if (!(std::fabs(offset) <= kPixelLimit)) return false;
            offsets[a][n] = RoundOffset(offset);
        }
    }
    if (n == 0) return false;
    for (const TOrthoDrawing& view : views) {
        TCanvas& canvas = *view.canvas;
        canvas.Pen.Color = PolygonLineColor(poly->Marked, *view.settings, colors);
        const std::int64_t* across = offsets[view.h];
        const std::int64_t* up = offsets[view.v];
        const std::int64_t x0 = across[0] + view.map.cx, y0 = view.map.cy - up[0];
        canvas.MoveTo(x0, y0);
        for (std::size_t i = 1; i < n; ++i) canvas.LineTo(across[i] + view.map.cx, view.map.cy - up[i]);
        canvas.LineTo(x0, y0);
    }
    return true;
}

// Calls Line(world, solid) once per sweep step from centre - half to centre
// + half. False, and stops, at a step that leaves the sweep value where it
// was: far from zero a spacing below the resolution of the value would
// never end.
template <typename LineFn>
bool Sweep(Extended centre, Extended half, Extended spacing, LineFn line) {
    const Extended end = centre + half;
    for (Extended t = centre - half; t <= end;) {
        const Extended i = RoundHalfEven(t / spacing);
        // The style follows the sweep value itself, not the multiple it lands on.
        line(i * spacing, RoundHalfEven(t) == 0);
        const Extended next = t + spacing;
        if (next == t) return false;
        t = next;
    }
    return true;
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

bool OrthoViewDraws(const TVANE_ViewSettings& Settings) {
    return Settings.ViewKind <= kViewZX && HalfSizeDraws(Settings);
}

struct TOrthoViewsDrawer::TViews {
    std::vector<TOrthoDrawing> views;
    TSharedAxes axes;
    TVANE_Colors colors;
};

TOrthoViewsDrawer::TOrthoViewsDrawer(const TOrthoTarget* Targets, std::size_t Count, const TVANE_Colors& Colors)
    : views_(std::make_unique<TViews>()) {
    views_->colors = Colors;
    std::vector<TOrthoDrawing>& views = views_->views;
    views.reserve(Count);
    for (std::size_t i = 0; i < Count; ++i) {
        const TOrthoTarget& target = Targets[i];
        assert(OrthoViewDraws(*target.Settings));
        target.Bitmap->Canvas.Pen.Style = TPenStyle::Solid;
        const std::uint8_t kind = target.Settings->ViewKind;
        const int h = kind == kViewYZ ? 1 : 0, v = kind == kViewXY ? 1 : 2;
        views.push_back({&target.Bitmap->Canvas, TOrthoMapping(*target.Bitmap, *target.Settings), target.Settings, h, v});
    }
    views_->axes = ShareAxes(views);
}

TOrthoViewsDrawer::~TOrthoViewsDrawer() = default;

void TOrthoViewsDrawer::Draw(const TVANE_Polygon* Polygon) {
    const TVANE_Colors& colors = views_->colors;
    if (views_->axes.shared && DrawPolygonShared(Polygon, views_->views, views_->axes, colors)) return;
    // The polygon's vertices stay in the cache from the first view to the last.
    for (const TOrthoDrawing& view : views_->views) {
        switch (view.settings->ViewKind) {
            case kViewYZ: DrawPolygon<ProjectYZ>(Polygon, *view.canvas, view.map, *view.settings, colors); break;
            case kViewZX: DrawPolygon<ProjectZX>(Polygon, *view.canvas, view.map, *view.settings, colors); break;
            default: DrawPolygon<ProjectXY>(Polygon, *view.canvas, view.map, *view.settings, colors); break;
        }
    }
}

void DrawOrthoGrid(TBitmap& Bitmap, const TVANE_ViewSettings& Settings, const TVANE_Colors& Colors) {
    assert(Settings.ViewKind <= kViewZX);
    const TVANE_ViewSettings settings = Settings;
    const TVANE_Colors colors = Colors;
    if (!HalfSizeDraws(settings)) return;
    const Extended half = settings.Camera.HalfSize, spacing = settings.GridSpacing;
    if (!(spacing > 0) || !(2 * std::fabs(half) / spacing <= kMaxGridSteps)) return;
    const TOrthoMapping map(Bitmap, settings);
    // A sweep that stalls would leave a lone line where the grid should be:
    // both sweeps are walked once without drawing, and a stall in either
    // means no grid at all.
    const auto skip = [](Extended, bool) {};
    if (!Sweep(map.hc, half, spacing, skip) || !Sweep(map.vc, half, spacing, skip)) return;
    TCanvas& canvas = Bitmap.Canvas;
    canvas.Pen.Color = colors.GridColor;
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
