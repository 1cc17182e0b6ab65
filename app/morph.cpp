#include "app/morph.h"

#include <limits>

#include "view/fit.h"

namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
// Accumulation stops growing here: anything above is out of range anyway,
// and the cap keeps a long run of digits from overflowing the accumulator.
constexpr std::int64_t kAccumulatorCap = kInt32Max + 2;

// Value of a digit in the given base, or -1.
int DigitValue(char c, int base) {
    if (c >= '0' && c <= '9') return c - '0';
    if (base == 16) {
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    }
    return -1;
}

std::int32_t Saturate(std::int64_t value) {
    if (value > kInt32Max) return static_cast<std::int32_t>(kInt32Max);
    if (value < kInt32Min) return static_cast<std::int32_t>(kInt32Min);
    return static_cast<std::int32_t>(value);
}

void BlendOrKeep(bool blend, Extended start, Extended target, TPackedExtended& result, Extended percent) {
    result = blend ? LinearMap(start, target, 0, 100, percent) : start;
}

// Calls visit(start vertex, target vertex, result vertex, result polygon) for
// every vertex triple, walking the three lists in step; each level ends with
// the shortest of its three lists.
template <typename Visit>
void WalkTriples(const TVANE_Object* start, const TVANE_Object* target, TVANE_Object* result,
                 Visit&& visit) {
    for (; start && target && result;
         start = start->Next, target = target->Next, result = result->Next) {
        const TVANE_Polygon* start_poly = start->Polygons;
        const TVANE_Polygon* target_poly = target->Polygons;
        TVANE_Polygon* result_poly = result->Polygons;
        for (; start_poly && target_poly && result_poly;
             start_poly = start_poly->Next, target_poly = target_poly->Next,
             result_poly = result_poly->Next) {
            const TVANE_Vertex* start_vtx = start_poly->Vertices;
            const TVANE_Vertex* target_vtx = target_poly->Vertices;
            TVANE_Vertex* result_vtx = result_poly->Vertices;
            for (; start_vtx && target_vtx && result_vtx;
                 start_vtx = start_vtx->Next, target_vtx = target_vtx->Next,
                 result_vtx = result_vtx->Next) {
                visit(*start_vtx, *target_vtx, *result_vtx, *result_poly);
            }
        }
    }
}

// Scales the normal of v to unit length. Returns false, leaving it alone,
// when it is too short to have a direction: zero, or below kNearZeroNormal
// of the longer of the two normals it was blended from.
bool Renormalize(TVANE_Vertex& v, const TVANE_Vertex& start, const TVANE_Vertex& target) {
    const Extended length = VectorLength(v.NX, v.NY, v.NZ);
    const Extended ends = MaxExtended(VectorLength(start.NX, start.NY, start.NZ),
                                      VectorLength(target.NX, target.NY, target.NZ));
    if (length == 0 || length < kNearZeroNormal * ends) return false;
    v.NX /= length;
    v.NY /= length;
    v.NZ /= length;
    return true;
}

}  // namespace

Extended LinearMap(Extended y0, Extended y1, Extended x0, Extended x1, Extended x) {
    const Extended span = x1 - x0;
    if (span == 0) return y0;
    // The quotient below is rounded, so the far end would otherwise miss y1
    // by its last bits (815 toward 0 at 100 percent gave 5.55E-17).
    if (x == x1) return y1;
    const Extended slope = (y1 - y0) / span;
    const Extended offset = (x - x0) * slope;
    return y0 + offset;
}

TIntegerReading ReadInteger(std::string_view Text) {
    std::size_t i = 0;
    while (i < Text.size() && Text[i] == ' ') ++i;

    bool negative = false;
    int base = 10;
    if (i < Text.size()) {
        if (Text[i] == '-' || Text[i] == '+') {
            negative = Text[i] == '-';
            ++i;
        } else if (Text[i] == '$') {
            base = 16;
            ++i;
        }
    }

    std::int64_t value = 0;
    bool any_digit = false;
    for (; i < Text.size(); ++i) {
        const int digit = DigitValue(Text[i], base);
        if (digit < 0) {
            // Stopped at a stray character: the digits so far, sign not applied.
            return {Saturate(value), false};
        }
        any_digit = true;
        value = value * base + digit;
        if (value > kAccumulatorCap) value = kAccumulatorCap;
    }
    if (!any_digit) return {0, false};
    if (negative) value = -value;
    return {Saturate(value), value >= kInt32Min && value <= kInt32Max};
}

TBlendOutcome BlendSuf(const TVANE_Object* Start, const TVANE_Object* Target, TVANE_Object* Result,
                       std::int32_t Percent, const TBlendOptions& Options) {
    const Extended percent = Percent;
    TBlendOutcome outcome;
    WalkTriples(Start, Target, Result,
                [&](const TVANE_Vertex& start, const TVANE_Vertex& target, TVANE_Vertex& result,
                    const TVANE_Polygon& result_poly) {
        BlendOrKeep(Options.Positions, start.X, target.X, result.X, percent);
        BlendOrKeep(Options.Positions, start.Y, target.Y, result.Y, percent);
        BlendOrKeep(Options.Positions, start.Z, target.Z, result.Z, percent);
        BlendOrKeep(Options.Normals, start.NX, target.NX, result.NX, percent);
        BlendOrKeep(Options.Normals, start.NY, target.NY, result.NY, percent);
        BlendOrKeep(Options.Normals, start.NZ, target.NZ, result.NZ, percent);
        BlendOrKeep(Options.TextureCoordinates, start.U, target.U, result.U, percent);
        BlendOrKeep(Options.TextureCoordinates, start.V, target.V, result.V, percent);
        const bool shaded = result_poly.Kind == kKindShade || result_poly.Kind == kKindUvShade;
        if (Options.Renormalize && Options.Normals && shaded && !Renormalize(result, start, target))
            ++outcome.NearZeroNormals;
    });
    return outcome;
}

void BlendSuf(const TVANE_Object* Start, const TVANE_Object* Target, TVANE_Object* Result,
              std::int32_t Percent) {
    BlendSuf(Start, Target, Result, Percent, TBlendOptions{});
}
