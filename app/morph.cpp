#include "app/morph.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "shape/kinds.h"
#include "shape/number.h"
#include "shape/paired.h"
#include "shape/parallel.h"

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

// Whether blending start toward target gives start back, whatever the
// percentage: the same ten bytes of a finite value in its one encoding, and
// not -0. The quotient of the blend is then +0, its product a zero, and the
// sum start itself (only -0 + +0 would turn into +0). The normals and
// texture coordinates of "poly" polygons are such values, and skipping their
// division is half of a large blend's time.
bool BlendsToItself(const TPackedExtended& start, const TPackedExtended& target) {
    static_assert(sizeof(TPackedExtended) == 10);
    std::uint64_t start_low = 0, target_low = 0;
    std::uint16_t start_high = 0, target_high = 0;
    const auto* s = reinterpret_cast<const unsigned char*>(&start);
    const auto* t = reinterpret_cast<const unsigned char*>(&target);
    std::memcpy(&start_low, s, 8);
    std::memcpy(&target_low, t, 8);
    std::memcpy(&start_high, s + 8, 2);
    std::memcpy(&target_high, t + 8, 2);
    if (start_low != target_low || start_high != target_high) return false;
    const unsigned exponent = start_high & 0x7FFFu;
    const bool integer_bit = (start_low >> 63) != 0;
    const bool negative_zero = start_high == 0x8000u && start_low == 0;
    // A zero exponent goes with a clear integer bit, any other with a set one.
    return exponent != 0x7FFFu && integer_bit == (exponent != 0) && !negative_zero;
}

void BlendOrKeep(bool blend, const TPackedExtended& start, const TPackedExtended& target, TPackedExtended& result,
                 Extended percent) {
    if (!blend || BlendsToItself(start, target)) {
        result = start;
        return;
    }
    result = LinearMap(start, target, 0, 100, percent);
}

// A place in the blend's walk: the result's polygon with its start and
// target partners (0 and 1), the walk ending at each level with the shortest
// of the three lists.
using TBlendPlace = TPolygonWalk<TPairing::Shortest, TVANE_Object, 2>;

// Calls visit(start vertex, target vertex, result vertex, result polygon) for
// every vertex triple of the three polygons, up to the end of the shortest
// of their vertex lists.
template <typename Visit>
void VisitVertices(const TVANE_Polygon& start, const TVANE_Polygon& target, TVANE_Polygon& result, Visit& visit) {
    ForEachPaired([&](const TVANE_Vertex& s, const TVANE_Vertex& t, TVANE_Vertex& r) { visit(s, t, r, result); },
                  FirstChild(&start), FirstChild(&target), FirstChild(&result));
}

template <typename Visit>
void VisitPlace(const TBlendPlace& place, Visit& visit) {
    VisitVertices(*place.Partner(0), *place.Partner(1), *place.At(), visit);
}

// Calls visit for every vertex triple, as VisitVertices, over the whole
// shapes: a large shape's pieces spread over the cores. Each piece gets a
// copy of visit_all, whose Done() is called when the piece is walked; copies
// work on several threads at once (on different vertices).
template <typename Visit>
void WalkTriples(const TVANE_Object* start, const TVANE_Object* target, TVANE_Object* result,
                 const Visit& visit_all) {
    const TBlendPlace first(result, {start, target});
    if (WalkOnCores(first)) {
        try {
            const std::vector<TWalkPiece<TBlendPlace>> pieces = CutIntoPieces(first);
            ForEachOnCores(pieces.size(), [&](std::size_t i) {
                Visit visit = visit_all;
                WalkPiece(pieces[i], [&](const TBlendPlace& place) { VisitPlace(place, visit); });
                visit.Done();
            });
            return;
        } catch (const std::bad_alloc&) {
            // No room for the list of pieces: one pass it is. Nothing was blended.
        }
    }
    Visit visit = visit_all;
    for (TBlendPlace place = first; place.At() != nullptr; place.Next()) VisitPlace(place, visit);
    visit.Done();
}

// The length of the longer of the two normals a normal is blended from.
Extended LongerEnd(const TVANE_Vertex& start, const TVANE_Vertex& target) {
    return MaxExtended(VectorLength(start.NX, start.NY, start.NZ),
                       VectorLength(target.NX, target.NY, target.NZ));
}

// Scales the normal of v to unit length. Returns false, leaving it alone,
// when it is too short to have a direction: zero, or below kNearZeroNormal
// of `ends`, the LongerEnd of the two normals it was blended from.
bool Renormalize(TVANE_Vertex& v, Extended ends) {
    const Extended length = VectorLength(v.NX, v.NY, v.NZ);
    if (length == 0 || length < kNearZeroNormal * ends) return false;
    v.NX /= length;
    v.NY /= length;
    v.NZ /= length;
    return true;
}

constexpr TBlendOptions kBlendEverything;

// Blends one vertex triple; counts the normals of its run and adds them up
// when the run is done.
struct TBlendVisit {
    const TBlendOptions* options;
    Extended percent;
    std::atomic<std::int64_t>* near_zero;
    std::int64_t counted = 0;

    void Done() const { near_zero->fetch_add(counted, std::memory_order_relaxed); }

    void operator()(const TVANE_Vertex& start, const TVANE_Vertex& target, TVANE_Vertex& result,
                    const TVANE_Polygon& result_poly) {
        const TBlendOptions& o = *options;
        const bool shaded = result_poly.Kind == kKindShade || result_poly.Kind == kKindUvShade;
        const bool renormalize = o.Renormalize && o.Normals && shaded;
        // Taken first: Result may be Start itself.
        const Extended ends = renormalize ? LongerEnd(start, target) : 0;
        BlendOrKeep(o.Positions, start.X, target.X, result.X, percent);
        BlendOrKeep(o.Positions, start.Y, target.Y, result.Y, percent);
        BlendOrKeep(o.Positions, start.Z, target.Z, result.Z, percent);
        BlendOrKeep(o.Normals, start.NX, target.NX, result.NX, percent);
        BlendOrKeep(o.Normals, start.NY, target.NY, result.NY, percent);
        BlendOrKeep(o.Normals, start.NZ, target.NZ, result.NZ, percent);
        BlendOrKeep(o.TextureCoordinates, start.U, target.U, result.U, percent);
        BlendOrKeep(o.TextureCoordinates, start.V, target.V, result.V, percent);
        if (renormalize && !Renormalize(result, ends)) ++counted;
    }
};
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
            // Stopped at a stray character: the digits so far, with their
            // sign ("-20x" is -20, never +20).
            return {Saturate(negative ? -value : value), false};
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
    std::atomic<std::int64_t> near_zero{0};
    WalkTriples(Start, Target, Result, TBlendVisit{&Options, percent, &near_zero});
    TBlendOutcome outcome;
    outcome.NearZeroNormals = near_zero.load();
    return outcome;
}

void BlendSuf(const TVANE_Object* Start, const TVANE_Object* Target, TVANE_Object* Result,
              std::int32_t Percent) {
    BlendSuf(Start, Target, Result, Percent, TBlendOptions{});
}

void BlendPolygon(const TVANE_Polygon& Start, const TVANE_Polygon& Target, TVANE_Polygon& Result,
                  std::int32_t Percent) {
    // Nothing is renormalized, so nothing is counted and Done() is never due.
    TBlendVisit visit{&kBlendEverything, static_cast<Extended>(Percent), nullptr};
    VisitVertices(Start, Target, Result, visit);
}

void MixSuf(const TVANE_Object* Start, const TMixTarget* Targets, std::size_t Count, TVANE_Object* Result) {
    // The first target blends as a morph does, so a mix of one target gives a
    // morph's bytes; each further one adds its part to every value.
    struct TMixVisit {
        Extended percent;
        bool first;

        void Done() const {}

        void operator()(const TVANE_Vertex& start, const TVANE_Vertex& target, TVANE_Vertex& result,
                        const TVANE_Polygon&) const {
            for (const auto field : kKinds[kKindUvShade].Fields) {
                const Extended from = start.*field, to = target.*field;
                if (first)
                    result.*field = LinearMap(from, to, 0, 100, percent);
                else
                    result.*field = result.*field + LinearMap(0, to - from, 0, 100, percent);
            }
        }
    };
    for (std::size_t i = 0; i < Count; ++i)
        WalkTriples(Start, Targets[i].Shape, Result, TMixVisit{Targets[i].Percent, i == 0});
}
