#include <cassert>

#include "geometry/perspective.h"
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

}  // namespace

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
