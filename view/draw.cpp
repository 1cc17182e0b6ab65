#include "view/draw.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>

#include "geometry/perspective.h"
#include "shape/arena.h"
#include "shape/paired.h"
#include "shape/parallel.h"
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

// No drawn pixel is 0: every colour is stored with 0xFF in its highest byte.
constexpr std::uint32_t kUntouched = 0;
constexpr std::int64_t kPenUnmoved = INT64_MIN;

}  // namespace

bool DrawnInPieces(TVANE_Object* Shape, const TSufView& View) {
    return Shape != nullptr && DrawModeDraws(View.Settings.DrawMode) && OrthoViewDraws(View.Settings);
}

std::vector<TOrthoTarget> BeginSufViews(TVANE_Object* Shape, const std::vector<TSufView>& Views,
                                        const TVANE_Colors& Colors) {
    const TVANE_Colors colors = Colors;
    std::vector<TOrthoTarget> targets;
    targets.reserve(Views.size());
    for (const TSufView& view : Views) {
        const TVANE_ViewSettings& settings = view.Settings;
        if (!DrawnInPieces(Shape, view)) {
            VANE->DrawSuf(Shape, *view.Bitmap, settings, colors);
            continue;
        }
        // What DrawSuf does before the first polygon.
        if (settings.ClearFirst) Clear(*view.Bitmap, colors);
        if (settings.ShowGrid) DrawOrthoGrid(*view.Bitmap, settings, colors);
        targets.push_back({view.Bitmap, &view.Settings});
    }
    return targets;
}

void DrawInPieces(const std::vector<TOrthoTarget>& Targets, const TVANE_Colors& Colors, std::size_t Pieces,
                  const std::function<void(std::size_t, TOrthoViewsDrawer&)>& DrawPiece) {
    if (Pieces == 0) return;
    if (Pieces == 1) {
        TOrthoViewsDrawer drawer(Targets.data(), Targets.size(), Colors);
        DrawPiece(0, drawer);
        return;
    }
    // Bitmaps of the later pieces, every pixel untouched and the pen nowhere.
    std::vector<std::vector<TBitmap>> layers(Pieces);
    std::vector<std::vector<TOrthoTarget>> layer_targets(Pieces);
    layer_targets[0] = Targets;
    for (std::size_t i = 1; i < Pieces; ++i) {
        layers[i].reserve(Targets.size());
        for (const TOrthoTarget& target : Targets) {
            TBitmap& layer = layers[i].emplace_back(target.Bitmap->Width(), target.Bitmap->Height());
            std::fill_n(layer.Pixels(), std::size_t(layer.Width()) * std::size_t(layer.Height()), kUntouched);
            layer.Canvas.MoveTo(kPenUnmoved, kPenUnmoved);
            layer_targets[i].push_back({&layer, target.Settings});
        }
    }
    ForEachOnCores(Pieces, [&](std::size_t i) {
        TOrthoViewsDrawer drawer(layer_targets[i].data(), layer_targets[i].size(), Colors);
        DrawPiece(i, drawer);
    });
    for (std::size_t i = 1; i < Pieces; ++i) {
        for (std::size_t v = 0; v < Targets.size(); ++v) {
            TBitmap& view = *Targets[v].Bitmap;
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

void DrawSufViews(TVANE_Object* Shape, const std::vector<TSufView>& Views, const TVANE_Colors& Colors) {
    const std::vector<TOrthoTarget> targets = BeginSufViews(Shape, Views, Colors);
    if (targets.empty()) return;
    using TPlace = TPolygonWalk<TPairing::Lead, const TVANE_Object>;
    DrawWalkInPieces(targets, Colors, TPlace(Shape), [](const TPlace& place, TOrthoViewsDrawer& drawer) {
        PrefetchAhead(place.At());
        drawer.Draw(place.At());
    });
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
