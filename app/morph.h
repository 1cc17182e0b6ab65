#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "shape/records.h"

// Maps x from the range x0..x1 onto the range y0..y1 in extended precision:
// y0 + (x - x0) * ((y1 - y0) / (x1 - x0)), the quotient first, then the
// product, then the sum. Returns y0 when the input range is empty (x0 == x1)
// and y1 exactly when x == x1, so the end of the range is hit without the
// rounding error of the quotient.
Extended LinearMap(Extended y0, Extended y1, Extended x0, Extended x1, Extended x);

// Result of reading a whole number from a text field.
struct TIntegerReading {
    std::int32_t Value = 0;
    bool Valid = false;
};

// Reads a whole number the way the percentage field does: leading blanks
// (byte 32 only) skipped, then one optional "-" or "+", or instead a "$"
// that introduces hexadecimal digits (either case), then the digits.
// Valid when the text ends right after at least one digit and the number
// fits in a signed 32-bit integer. At the first character that is not a
// digit the text is invalid and Value holds the digits read so far with
// their sign (0 when none). A number beyond the 32-bit range is invalid and
// Value saturates at the nearest end of the range.
TIntegerReading ReadInteger(std::string_view Text);

// Blends the shapes Start and Target at Percent into Result, whose lists must
// hold Result's copy of Start (CopySuf): every vertex value X, Y, Z, NX, NY,
// NZ, U, V of Result becomes LinearMap(start value, target value, 0, 100,
// Percent). Vertices pair by position alone (k-th vertex of the j-th polygon
// of the i-th object); at each level the walk ends with the shortest of the
// three lists, so items beyond it keep the values they had. Names, extents,
// attributes, kinds and flags are not touched. Any of the three may be
// nullptr (then nothing changes); Result may be Start itself, blending it
// in place. A large shape (about 100,000 vertices up) is blended on every
// core, a smaller one in one pass without allocation; the values are the
// same.
void BlendSuf(const TVANE_Object* Start, const TVANE_Object* Target, TVANE_Object* Result,
              std::int32_t Percent);

// Blends the vertices of the polygon Result as BlendSuf(Start, Target,
// Result, Percent) blends them where the three polygons pair up: the k-th
// vertex of each, up to the end of the shortest of the three vertex lists.
// For a caller that walks the polygons itself (BlendAndDrawSuf).
void BlendPolygon(const TVANE_Polygon& Start, const TVANE_Polygon& Target, TVANE_Polygon& Result,
                  std::int32_t Percent);

// Which vertex values a blend moves, and what it does with blended normals.
struct TBlendOptions {
    bool Positions = true;           // X Y Z
    bool Normals = true;             // NX NY NZ
    bool TextureCoordinates = true;  // U V
    // Scale each blended normal of a "shade" or "uvshade" polygon (kind of
    // the Result's polygon) back to unit length. A normal that blends to zero,
    // or to less than kNearZeroNormal of the longer of its two ends, has no
    // direction worth keeping: it is left as blended and counted.
    bool Renormalize = false;
};

constexpr Extended kNearZeroNormal = 1e-9L;

// What a blend with options did besides blending.
struct TBlendOutcome {
    std::int64_t NearZeroNormals = 0;  // normals Renormalize left as they were
};

// BlendSuf with a choice of values: the values Options leaves out get the
// start's values, whatever Result held; the others blend as above. With all
// three chosen and Renormalize off it gives what BlendSuf gives. Pairs
// vertices, ends the walk and uses the cores like BlendSuf; Result may be
// Start itself here too.
TBlendOutcome BlendSuf(const TVANE_Object* Start, const TVANE_Object* Target, TVANE_Object* Result,
                       std::int32_t Percent, const TBlendOptions& Options);

// One target of a mix and how far toward it the mix goes.
struct TMixTarget {
    const TVANE_Object* Shape = nullptr;
    Extended Percent = 0;  // 0 keeps the start, 100 reaches the target; beyond both extrapolates
};

// Blends Start toward several targets at once into Result, whose lists must
// hold Result's copy of Start: every vertex value becomes start + the sum of
// Percent / 100 * (target value - start value) over the targets, summed in
// their order. The first target blends as BlendSuf does, LinearMap(start,
// target, 0, 100, Percent); each further one adds LinearMap(0, target -
// start, 0, 100, Percent) to the value. So a mix of one target gives exactly
// BlendSuf's result. Each target pairs vertices and ends the walk like
// BlendSuf; a value its walk does not reach takes nothing from it. One pass
// per target, no allocation.
void MixSuf(const TVANE_Object* Start, const TMixTarget* Targets, std::size_t Count, TVANE_Object* Result);
