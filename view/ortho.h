#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "shape/records.h"

struct TBitmap;
struct TVANE_Colors;
struct TVANE_ViewSettings;

// Orthographic wireframe views: XY (kind 0), YZ (kind 1) and ZX (kind 2).
// HalfSize world units from Camera.ViewCentre reach the larger half of the
// bitmap; the vertical axis points up the screen.

// The view-plane coordinates (H across, V up) of a vertex; the depth is ignored.
void ProjectXY(const TVANE_Vertex& Vertex, Extended& H, Extended& V);  // (X, Y)
void ProjectYZ(const TVANE_Vertex& Vertex, Extended& H, Extended& V);  // (Y, Z)
void ProjectZX(const TVANE_Vertex& Vertex, Extended& H, Extended& V);  // (X, Z)

// The larger of A and B.
std::int32_t MaxInteger(std::int32_t A, std::int32_t B);

// Draws every polygon of Object closed, in the view Settings.ViewKind (0, 1 or
// 2), with the pen colour chosen by ColorByMark and the polygon's Marked flag.
// Draws nothing when |HalfSize| < 1e-5. An edge with an end too far out for
// 64-bit pixels is cut along its own line to the part near the bitmap; one
// whose place cannot be worked out to the pixel (both ends that far out, or
// an end not finite) is not drawn. Leaves the pen solid.
void DrawOrthoObject(const TVANE_Object& Object, TBitmap& Bitmap,
                     const TVANE_ViewSettings& Settings, const TVANE_Colors& Colors);

// Whether a view draws polygons as DrawOrthoObject does: kind 0, 1 or 2
// and |HalfSize| at least 1e-5.
bool OrthoViewDraws(const TVANE_ViewSettings& Settings);

// A bitmap and the settings of an orthographic view of it.
struct TOrthoTarget {
    TBitmap* Bitmap;
    const TVANE_ViewSettings* Settings;  // OrthoViewDraws
};

// Draws polygons one by one into several orthographic views at once, each
// as DrawOrthoObject draws it, the polygon into every view before the next.
class TOrthoViewsDrawer {
public:
    TOrthoViewsDrawer(const TOrthoTarget* Targets, std::size_t Count, const TVANE_Colors& Colors);
    ~TOrthoViewsDrawer();
    TOrthoViewsDrawer(const TOrthoViewsDrawer&) = delete;
    TOrthoViewsDrawer& operator=(const TOrthoViewsDrawer&) = delete;

    void Draw(const TVANE_Polygon* Polygon);

private:
    struct TViews;
    std::unique_ptr<TViews> views_;
};

// Draws the grid of the view Settings.ViewKind (0, 1 or 2) in GridColor: one
// line per GridSpacing step of a sweep across HalfSize either side of the
// centre, at the multiple of GridSpacing nearest to the step; solid where the
// step rounds to 0, dotted elsewhere. Draws nothing when |HalfSize| < 1e-5,
// when GridSpacing is not positive, when the sweep would take more than
// kMaxGridSteps steps (lines closer than any bitmap can show), or when a step
// of either sweep no longer changes its value (GridSpacing too small for
// coordinates that large).
void DrawOrthoGrid(TBitmap& Bitmap, const TVANE_ViewSettings& Settings, const TVANE_Colors& Colors);

constexpr Extended kMaxGridSteps = 65536;
