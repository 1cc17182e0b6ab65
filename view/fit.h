#pragma once
#include "shape/extents.h"
#include "shape/records.h"

struct TVANE_ViewSettings;


// Writes into Fitted a copy of Settings fitted to Extents (Fitted may be
// Settings itself). View kinds 0..5 and 7: ViewCentre at the box centre and
// HalfSize half its longest side, over all three axes. Kind 6: ObjectOffset
// zero, ViewCentre at the box centre, Eye moved along its line from the centre
// to 1/1.5 of the box diagonal, FieldOfView 90; a box without extent or an eye
// at the centre leaves the camera as it was. Kinds 8..255 change nothing, and
// neither does a box whose centre or new eye lies beyond the double range.
void FitToExtents(const TVANE_Extents& Extents, const TVANE_ViewSettings& Settings,
                  TVANE_ViewSettings& Fitted);

// B if B >= A, else A.
Extended MaxExtended(Extended A, Extended B);

// sqrt((A * A + B * B) + C * C) in extended precision.
Extended VectorLength(Extended A, Extended B, Extended C);
