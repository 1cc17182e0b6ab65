#pragma once
#include <cstdint>

#include "shape/extents.h"
#include "shape/records.h"

struct TVANE_ViewSettings;
struct TVANE_Point3;


// Writes into Fitted a copy of Settings fitted to Extents (Fitted may be
// Settings itself). View kinds 0..5 and 7: ViewCentre at the box centre and
// HalfSize half its longest side, over all three axes. Kind 6: ObjectOffset
// zero, ViewCentre at the box centre, Eye moved along its line from the centre
// to 1/1.5 of the box diagonal, FieldOfView 90; a box without extent or an eye
// at the centre leaves the camera as it was. Kinds 8..255 change nothing.
// Throws SufConvertError, leaving Fitted as it was, when the centre or the
// new eye lies beyond the double range.
void FitToExtents(const TVANE_Extents& Extents, const TVANE_ViewSettings& Settings,
                  TVANE_ViewSettings& Fitted);

// (X, Y, Z) as doubles for a point a fit stores. Throws SufConvertError when
// one lies beyond the double range (or is not a number); its message names
// the point What ("中心" or "視点"), the axis and the value.
TVANE_Point3 FittedPoint(Extended X, Extended Y, Extended Z, const char* What);

// Grows Box by the position of every vertex of Shape (stored extents are not
// trusted: a blend moves vertices without updating them).
void AddShapeExtents(const TVANE_Object* Shape, TBoxGrowth<Extended>& Box);

// Fits Settings to Box for a Width x Height picture (FitToExtents) and then
// makes the whole box fit inside with a small margin on every side: the
// orthographic views take HalfSize from the two axes they show, so the box
// fills the picture's width or height; the perspective view moves the eye
// away along its line until the box's bounding sphere fits the narrower of
// its two angles of view and lies wholly beyond the near plane. Throws
// SufConvertError, leaving Settings as they were, when the centre or the eye
// would lie beyond the double range.
void FitPicture(const TVANE_Extents& Box, std::int32_t Width, std::int32_t Height,
                TVANE_ViewSettings& Settings);
