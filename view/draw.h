#pragma once
#include <vector>

#include "shape/records.h"
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
