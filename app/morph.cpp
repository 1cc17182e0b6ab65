#include "app/morph.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "shape/arena.h"
#include "shape/kinds.h"
#include "shape/parallel.h"
#include "shape/probes.h"
#include "view/draw.h"
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

// Polygons of the three shapes that pair up, and how many of them on in
// step along Next (none beyond the shortest list).
struct TPolygonRun {
    const TVANE_Polygon* start;
    const TVANE_Polygon* target;
    TVANE_Polygon* result;
    std::size_t count;
};

// Calls visit(start vertex, target vertex, result vertex, result polygon) for
// every vertex triple of the run, walking the three lists in step; each
// polygon's walk ends with the shortest of its three vertex lists.
template <typename Visit>
void WalkRun(const TPolygonRun& run, Visit& visit) {
    const TVANE_Polygon* start_poly = run.start;
    const TVANE_Polygon* target_poly = run.target;
    TVANE_Polygon* result_poly = run.result;
    for (std::size_t i = 0; i < run.count; ++i, start_poly = start_poly->Next,
                     target_poly = target_poly->Next, result_poly = result_poly->Next) {
        const TVANE_Vertex* start_vtx = start_poly->Vertices;
        const TVANE_Vertex* target_vtx = target_poly->Vertices;
        TVANE_Vertex* result_vtx = result_poly->Vertices;
        for (; start_vtx && target_vtx && result_vtx;
             start_vtx = start_vtx->Next, target_vtx = target_vtx->Next, result_vtx = result_vtx->Next) {
            visit(*start_vtx, *target_vtx, *result_vtx, *result_poly);
        }
    }
}

// Calls on_run for the polygons of each object triple in runs of at most
// `most` polygons, in order; each level ends with the shortest of its lists.
// Stops early when on_run returns false.
template <typename OnRun>
void CutIntoRuns(const TVANE_Object* start, const TVANE_Object* target, TVANE_Object* result,
                 std::size_t most, OnRun&& on_run) {
    for (; start && target && result; start = start->Next, target = target->Next, result = result->Next) {
        TPolygonRun run{start->Polygons, target->Polygons, result->Polygons, 0};
        const TVANE_Polygon* s = run.start;
        const TVANE_Polygon* t = run.target;
        TVANE_Polygon* r = run.result;
        for (; s && t && r; s = s->Next, t = t->Next, r = r->Next) {
            if (run.count == most) {
                if (!on_run(run)) return;
                run = {s, t, r, 0};
            }
            ++run.count;
        }
        if (run.count > 0 && !on_run(run)) return;
    }
}

// Calls visit for every vertex triple, as WalkRun, over the whole shapes: a
// large shape's runs spread over the cores. Each run gets a copy of
// visit_all, whose Done() is called when the run is walked; copies work on
// several threads at once (on different vertices).
template <typename Visit>
void WalkTriples(const TVANE_Object* start, const TVANE_Object* target, TVANE_Object* result,
                 const Visit& visit_all) {
    std::size_t polygons = 0;
    CutIntoRuns(start, target, result, SIZE_MAX, [&](const TPolygonRun& run) {
        polygons += run.count;
        return polygons < SufParallelPolygons;
    });
    if (polygons >= SufParallelPolygons && CoreCount() > 1) {
        try {
            std::vector<TPolygonRun> runs;
            CutIntoRuns(start, target, result, std::max<std::size_t>(SufPiecePolygons, 1),
                        [&](const TPolygonRun& run) {
                runs.push_back(run);
                return true;
            });
            ForEachOnCores(runs.size(), [&](std::size_t i) {
                Visit visit = visit_all;
                WalkRun(runs[i], visit);
                visit.Done();
            });
            return;
        } catch (const std::bad_alloc&) {
            // No room for the list of runs: one pass it is. Nothing was blended.
        }
    }
    CutIntoRuns(start, target, result, SIZE_MAX, [&](const TPolygonRun& run) {
        Visit visit = visit_all;
        WalkRun(run, visit);
        visit.Done();
        return true;
    });
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

namespace {

// Where a walk over the result's polygons stands, with the start's and the
// target's polygons paired with it (both nullptr where the pairing has
// ended: as the blend's walk, at each level with the shortest list).
struct TTriplePlace {
    const TVANE_Object* start_object;
    const TVANE_Object* target_object;
    TVANE_Object* result_object;  // nullptr at the end of the walk
    const TVANE_Polygon* start = nullptr;
    const TVANE_Polygon* target = nullptr;
    TVANE_Polygon* result = nullptr;

    const TVANE_Polygon* At() const { return result; }

    // At the first polygon of the result's list.
    TTriplePlace(const TVANE_Object* Start, const TVANE_Object* Target, TVANE_Object* Result)
        : start_object(Start), target_object(Target), result_object(Result) {
        EnterObject();
    }

    // To the result's next polygon, in a later object when this one ends.
    void Next() {
        StepTogether(result, start, target);
        while (result == nullptr && result_object != nullptr) {
            StepTogether(result_object, start_object, target_object);
            EnterObject();
        }
    }

private:
    // Steps the three along Next together; the pair drops out for good once
    // any of the three lists ends.
    template <typename TResult, typename TPaired>
    static void StepTogether(TResult*& result, const TPaired*& start, const TPaired*& target) {
        result = result->Next;
        if (start != nullptr) {
            start = start->Next;
            target = target->Next;
        }
        if (start == nullptr || target == nullptr || result == nullptr) start = target = nullptr;
    }

    // At the first polygon of the current objects, or of later ones when
    // the result's object has none.
    void EnterObject() {
        for (;;) {
            if (start_object == nullptr || target_object == nullptr) start_object = target_object = nullptr;
            if (result_object == nullptr) return;
            result = result_object->Polygons;
            start = start_object != nullptr ? start_object->Polygons : nullptr;
            target = target_object != nullptr ? target_object->Polygons : nullptr;
            if (start == nullptr || target == nullptr || result == nullptr) start = target = nullptr;
            if (result != nullptr || result_object->Next == nullptr) return;
            StepTogether(result_object, start_object, target_object);
        }
    }
};

}  // namespace

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
    const TBlendOptions options;
    std::atomic<std::int64_t> near_zero{0};  // none: the blend renormalizes nothing
    // Each polygon is blended and then drawn while its values are at hand.
    const auto blend_and_draw = [visit = TBlendVisit{&options, static_cast<Extended>(Percent), &near_zero}](
                                    const TTriplePlace& place, TOrthoViewsDrawer& drawer) mutable {
        PrefetchAhead(place.result);
        if (place.start != nullptr) WalkRun(TPolygonRun{place.start, place.target, place.result, 1}, visit);
        drawer.Draw(place.result);
    };
    DrawWalkInPieces(targets, Colors, TTriplePlace(Start, Target, Result), blend_and_draw);
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
