#include "view/draw.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>

#include "geometry/perspective.h"
#include "shape/parallel.h"
#include "shape/probes.h"
#include "shape/vane.h"
#include "view/canvas.h"
#include "view/ortho.h"
#include "view/settings.h"

namespace {

void Clear(TBitmap& bitmap, const TVANE_Colors& colors) {
    bitmap.Canvas.Brush.Color = colors.BackgroundColor;
    bitmap.Canvas.FillRect(0, 0, bitmap.Width(), bitmap.Height());
}

// Drawing modes 0, 1, 3 and 5 all draw the wireframe; any other only clears.
bool DrawModeDraws(std::uint8_t mode) {
    return mode == 0 || mode == 1 || mode == 3 || mode == 5;
}

// View kind 6. The projection is set up for this bitmap before every object,
// since it is shared by the whole program.
void DrawPerspectiveView(TVANE_Object& object, TBitmap& bitmap, const TVANE_ViewSettings& settings,
                         const TVANE_Colors& colors) {
    VANE->SetPerspective(bitmap.Width(), bitmap.Height(),
                         static_cast<double>(settings.Camera.FieldOfView));
    DrawPerspectiveObject(&object, bitmap, settings, colors);
}

// Where a piece of a shape's polygons begins.
struct TPieceStart {
    const TVANE_Object* Object;
    const TVANE_Polygon* Polygon;  // of Object, or nullptr for the first of a later object
    std::size_t Count;
};

// No drawn pixel is 0: every colour is stored with 0xFF in its highest byte.
constexpr std::uint32_t kUntouched = 0;
constexpr std::int64_t kPenUnmoved = INT64_MIN;

// Shares `count` polygons of `shape` out into pieces of near equal size,
// drawn at once; piece 0 draws straight into the views' bitmaps, each other
// one into bitmaps of its own holding only what it draws, laid over the
// views' in the pieces' order, so each pixel ends as the last polygon to
// reach it left it.
void DrawPieces(const TVANE_Object* shape, std::size_t count, const std::vector<TOrthoTarget>& targets,
                const TVANE_Colors& colors) {
    const std::size_t pieces = std::min<std::size_t>(2 * CoreCount(), count);
    std::vector<TPieceStart> starts;
    starts.reserve(pieces);
    std::size_t seen = 0;
    for (const TVANE_Object* o = shape; o != nullptr && starts.size() < pieces; o = o->Next) {
        for (const TVANE_Polygon* p = o->Polygons; p != nullptr; p = p->Next, ++seen) {
            if (seen == starts.size() * count / pieces) {
                starts.push_back({o, p, 0});
                if (starts.size() == pieces) break;
            }
        }
    }
    for (std::size_t i = 0; i < pieces; ++i)
        starts[i].Count = (i + 1) * count / pieces - i * count / pieces;
    // Bitmaps of the later pieces, every pixel untouched and the pen nowhere.
    std::vector<std::vector<TBitmap>> layers(pieces);
    std::vector<std::vector<TOrthoTarget>> layer_targets(pieces);
    layer_targets[0] = targets;
    for (std::size_t i = 1; i < pieces; ++i) {
        layers[i].reserve(targets.size());
        for (const TOrthoTarget& target : targets) {
            TBitmap& layer = layers[i].emplace_back(target.Bitmap->Width(), target.Bitmap->Height());
            std::fill_n(layer.Pixels(), std::size_t(layer.Width()) * std::size_t(layer.Height()), kUntouched);
            layer.Canvas.MoveTo(kPenUnmoved, kPenUnmoved);
            layer_targets[i].push_back({&layer, target.Settings});
        }
    }
    ForEachOnCores(pieces, [&](std::size_t i) {
        const std::vector<TOrthoTarget>& mine = layer_targets[i];
        DrawOrthoPolygons(starts[i].Object, starts[i].Polygon, starts[i].Count, mine.data(), mine.size(), colors);
    });
    for (std::size_t i = 1; i < pieces; ++i) {
        for (std::size_t v = 0; v < targets.size(); ++v) {
            TBitmap& view = *targets[v].Bitmap;
            const TBitmap& layer = layers[i][v];
            const std::size_t size = std::size_t(view.Width()) * std::size_t(view.Height());
            const std::uint32_t* from = layer.Pixels();
            std::uint32_t* to = view.Pixels();
            for (std::size_t k = 0; k < size; ++k) {
                if (from[k] != kUntouched) to[k] = from[k];
            }
            view.Canvas.Pen = layer.Canvas.Pen;
            if (layer.Canvas.PenX() != kPenUnmoved) view.Canvas.MoveTo(layer.Canvas.PenX(), layer.Canvas.PenY());
        }
    }
}

}  // namespace

void DrawSufViews(TVANE_Object* Shape, const std::vector<TSufView>& Views, const TVANE_Colors& Colors) {
    const TVANE_Colors colors = Colors;
    std::vector<TOrthoTarget> targets;
    targets.reserve(Views.size());
    for (const TSufView& view : Views) {
        const TVANE_ViewSettings& settings = view.Settings;
        // Anything but a wireframe of a shape drawn orthographically goes the usual way.
        if (Shape == nullptr || !DrawModeDraws(settings.DrawMode) || !OrthoViewDraws(settings)) {
            VANE->DrawSuf(Shape, *view.Bitmap, settings, colors);
            continue;
        }
        // What DrawSuf does before the first polygon.
        if (settings.ClearFirst) Clear(*view.Bitmap, colors);
        if (settings.ShowGrid) DrawOrthoGrid(*view.Bitmap, settings, colors);
        targets.push_back({view.Bitmap, &view.Settings});
    }
    if (targets.empty()) return;
    std::size_t count = 0;
    for (const TVANE_Object* o = Shape; o != nullptr; o = o->Next)
        for (const TVANE_Polygon* p = o->Polygons; p != nullptr; p = p->Next) ++count;
    if (count == 0) return;
    if (count < SufParallelPolygons || CoreCount() < 2) {
        DrawOrthoPolygons(Shape, Shape->Polygons, count, targets.data(), targets.size(), colors);
        return;
    }
    DrawPieces(Shape, count, targets, colors);
}

void TVANE::DrawSuf(TVANE_Object* Shape, TBitmap& Bitmap, const TVANE_ViewSettings& Settings,
                    const TVANE_Colors& Colors) {
    TVANE_ViewSettings settings = Settings;
    const TVANE_Colors colors = Colors;
    if (settings.ClearFirst) Clear(Bitmap, colors);
    settings.ClearFirst = false;  // no object clears again
    for (TVANE_Object* object = Shape; object != nullptr; object = object->Next) {
        DrawSufObject(object, Bitmap, settings, colors);
        settings.ShowGrid = false;  // the grid lies beneath the first object only
    }
}

void TVANE::DrawSufObject(TVANE_Object* Object, TBitmap& Bitmap,
                          const TVANE_ViewSettings& Settings, const TVANE_Colors& Colors) {
    assert(Object != nullptr);
    const TVANE_ViewSettings settings = Settings;
    const TVANE_Colors colors = Colors;
    if (settings.ClearFirst) Clear(Bitmap, colors);
    if (!DrawModeDraws(settings.DrawMode)) return;
    switch (settings.ViewKind) {
        case kViewXY:
        case kViewYZ:
        case kViewZX:
            if (settings.ShowGrid) DrawOrthoGrid(Bitmap, settings, colors);
            DrawOrthoObject(*Object, Bitmap, settings, colors);
            break;
        case kViewPerspective:
            DrawPerspectiveView(*Object, Bitmap, settings, colors);
            break;
        default:  // kinds 3, 4, 5, 7 and above draw nothing
            break;
    }
}
