#pragma once
#include <cstdint>
#include <vector>

#include "shape/records.h"
#include "view/draw.h"

// BlendSuf(Start, Target, Result, Percent) and then DrawSufViews(Result,
// Views, Colors): the same values and the same pixels. Unless a view is the
// perspective one, each polygon is blended and drawn in one walk, while its
// values are at hand, a large shape's polygons shared out between the cores.
void BlendAndDrawSuf(const TVANE_Object* Start, const TVANE_Object* Target, TVANE_Object* Result,
                     std::int32_t Percent, const std::vector<TSufView>& Views, const TVANE_Colors& Colors);
