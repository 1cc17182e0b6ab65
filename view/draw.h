#pragma once
#include <cstddef>
#include <functional>
#include <vector>

#include "shape/parallel.h"
#include "shape/records.h"
#include "view/ortho.h"
#include "view/settings.h"

struct TBitmap;

// One view of a shape to draw: the bitmap and its settings.
struct TSufView {
    TBitmap* Bitmap;
    TVANE_ViewSettings Settings;
};

// Draws Shape into every view, each pixel as DrawSuf(Shape, Bitmap, Settings,
// Colors) sets it. The orthographic wireframes are drawn in one walk of the
// shape, a large shape's polygons shared out between the cores; each canvas's
// pen is left as the shape's last polygon left it.
void DrawSufViews(TVANE_Object* Shape, const std::vector<TSufView>& Views, const TVANE_Colors& Colors);

// The parts of DrawSufViews, for a caller that walks the polygons itself.

// Whether DrawSufViews draws View's polygons of Shape piece by piece: an
// orthographic wireframe of a shape. The others are drawn whole by DrawSuf.
bool DrawnInPieces(TVANE_Object* Shape, const TSufView& View);

// Readies every view drawn in pieces as DrawSuf does before Shape's first
// polygon (cleared, the grid beneath) and returns them as targets; draws
// each other view whole with DrawSuf.
std::vector<TOrthoTarget> BeginSufViews(TVANE_Object* Shape, const std::vector<TSufView>& Views,
                                        const TVANE_Colors& Colors);

// Calls DrawPiece(i, drawer) for every piece i < Pieces, at once on the
// cores when there are several; a piece draws its polygons, in their order,
// with the drawer it is given. Piece 0 draws into the targets' bitmaps, each
// other piece into bitmaps of its own that are then laid over them in the
// pieces' order: each pixel ends as the last polygon to reach it left it.
void DrawInPieces(const std::vector<TOrthoTarget>& Targets, const TVANE_Colors& Colors, std::size_t Pieces,
                  const std::function<void(std::size_t, TOrthoViewsDrawer&)>& DrawPiece);

// DrawInPieces over the polygons a walk meets (a place of shape/paired.h:
// At() is the polygon, nullptr past the last; Next() steps on), cut into a
// few pieces per core by CutIntoPieces; Visit(place, drawer) is called for
// each place, piece by piece, and draws what it stands on.
template <typename TPlace, typename TVisit>
void DrawWalkInPieces(const std::vector<TOrthoTarget>& Targets, const TVANE_Colors& Colors, const TPlace& First,
                      const TVisit& Visit) {
    const std::vector<TWalkPiece<TPlace>> pieces = CutIntoPieces(First, std::size_t{2} * CoreCount());
    DrawInPieces(Targets, Colors, pieces.size(), [&](std::size_t i, TOrthoViewsDrawer& drawer) {
        TVisit visit = Visit;
        WalkPiece(pieces[i], [&](const TPlace& place) { visit(place, drawer); });
    });
}
