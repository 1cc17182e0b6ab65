#include "app/preview.h"

#include "app/morph.h"
#include "shape/arena.h"
#include "shape/paired.h"
#include "view/settings.h"

void BlendAndDrawSuf(const TVANE_Object* Start, const TVANE_Object* Target, TVANE_Object* Result,
                     std::int32_t Percent, const std::vector<TSufView>& Views, const TVANE_Colors& Colors) {
    // The perspective view is drawn whole, from the finished blend.
    bool fused = Start != nullptr && Target != nullptr && Result != nullptr;
    for (const TSufView& view : Views) fused = fused && view.Settings.ViewKind != kViewPerspective;
    if (!fused) {
        BlendSuf(Start, Target, Result, Percent);
        DrawSufViews(Result, Views, Colors);
        return;
    }
    const std::vector<TOrthoTarget> targets = BeginSufViews(Result, Views, Colors);
    // Every polygon of the result is drawn; those the blend pairs with a
    // start's and a target's polygon are blended first, while their values
    // are at hand.
    using TPlace = TPolygonWalk<TPairing::Lead, TVANE_Object, 2>;
    DrawWalkInPieces(targets, Colors, TPlace(Result, {Start, Target}),
                     [Percent](const TPlace& place, TOrthoViewsDrawer& drawer) {
                         PrefetchAhead(place.At());
                         if (place.Partner(0) != nullptr && place.Partner(1) != nullptr)
                             BlendPolygon(*place.Partner(0), *place.Partner(1), *place.At(), Percent);
                         drawer.Draw(place.At());
                     });
}
