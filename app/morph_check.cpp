#include "app/morph_check.h"

#include <algorithm>
#include <array>
#include <compare>
#include <cstring>
#include <exception>
#include <limits>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <utility>

#include "shape/number.h"
#include "shape/paired.h"
#include "shape/parallel.h"

namespace {

using TSlot = std::uint32_t;  // index of a vertex in walk order
constexpr TSlot kNoSlot = std::numeric_limits<TSlot>::max();

struct TPairedPolygon {
    std::size_t Object = 0;    // index into TWalk::Objects
    std::int64_t Number = 0;   // 1-based within its object
    std::size_t FirstSlot = 0;
    std::size_t Pairs = 0;      // vertex pairs
    Extended Displacement = 0;  // mean distance of the pairs
};

// Everything the checks need from one walk over both shapes.
struct TWalk {
    std::vector<std::pair<const TVANE_Object*, const TVANE_Object*>> Objects;
    std::vector<TPairedPolygon> Polygons;
    std::vector<const TVANE_Vertex*> StartSlots;
    std::vector<const TVANE_Vertex*> TargetSlots;
};

template <typename T>
std::int64_t Length(const T* head) {
    std::int64_t n = 0;
    for (; head; head = head->Next) ++n;
    return n;
}

TShapeCounts Count(const TVANE_Object* shape) {
    TShapeCounts counts;
    for (; shape; shape = shape->Next) {
        ++counts.Objects;
        for (const TVANE_Polygon* p = shape->Polygons; p; p = p->Next) {
            ++counts.Polygons;
            counts.Vertices += Length(p->Vertices);
        }
    }
    return counts;
}

TPosition PositionOf(const TVANE_Vertex& v) { return {v.X, v.Y, v.Z}; }

// A and B: records or packed positions, whatever holds X, Y and Z.
template <typename TPoint>
bool SamePosition(const TPoint& a, const TPoint& b) {
    return a.X == b.X && a.Y == b.Y && a.Z == b.Z;
}

// The 80 bits of an extended real folded into 64, with -0 taken as 0 so that
// equal values give equal bits.
std::uint64_t Bits(Extended value) {
    if (value == 0) value = 0;
    std::uint64_t mantissa = 0;
    std::uint16_t sign_exponent = 0;
    std::memcpy(&mantissa, &value, sizeof mantissa);
    std::memcpy(&sign_exponent, reinterpret_cast<const unsigned char*>(&value) + sizeof mantissa,
                sizeof sign_exponent);
    return mantissa ^ (std::uint64_t{sign_exponent} * 0x9E3779B97F4A7C15ull);
}

template <typename TPoint>
std::uint64_t PositionHash(const TPoint& v) {
    return MixBits(MixBits(MixBits(Bits(v.X)) ^ Bits(v.Y)) ^ Bits(v.Z));
}

// Counts the position comparisons of one grouping when asked to.
struct TComparisons {
    std::uint64_t* Count = nullptr;
    template <typename TPoint>
    bool Same(const TPoint& a, const TPoint& b) const {
        if (Count != nullptr) ++*Count;
        return SamePosition(a, b);
    }
};

// How far one lookup may probe before the table is given up. In a table at
// most half full a well-mixed hash rarely probes a dozen slots; only
// positions chosen so that their hashes collide come this far.
constexpr std::size_t kMaxProbes = 64;

// The position of slot S: its record's, or its own when the slots are
// positions; and where it lies, to be asked for early.
const TVANE_Vertex& PointOf(std::span<const TVANE_Vertex* const> slots, TSlot s) { return *slots[s]; }
const TPackedPosition& PointOf(std::span<const TPackedPosition> slots, TSlot s) { return slots[s]; }
const void* PlaceOf(std::span<const TVANE_Vertex* const> slots, TSlot s) { return slots[s]; }
const void* PlaceOf(std::span<const TPackedPosition> slots, TSlot s) { return &slots[s]; }

// For every slot, the first slot in walk order at the same position, through
// an open addressing table of slots, at most half full, keyed by position.
// False when a lookup probes more than kMaxProbes slots.
template <typename TSlots>
bool HashedGroups(TSlots slots, const TComparisons& comparisons, std::vector<TSlot>& groups) {
    std::size_t capacity = 16;
    while (capacity < 2 * slots.size()) capacity *= 2;
    const std::size_t mask = capacity - 1;
    std::vector<TSlot> table(capacity, kNoSlot);
    // Each lookup waits on three loads from memory: the table's entry, the
    // slot it holds, that slot's vertex. Hashes are made a little ahead and
    // those loads asked for early, each stage nearer than the one it needs
    // (hints only: what is found is the same). The slot held is far back
    // when positions are shared by corners far apart in the list.
    constexpr std::size_t kAhead = 24, kSlot = 16, kNear = 8;
    std::array<std::size_t, kAhead> ahead{};
    const std::size_t n = slots.size();
    for (std::size_t s = 0; s < std::min(n, kAhead); ++s) ahead[s] = PositionHash(PointOf(slots, s)) & mask;
    for (TSlot s = 0; s < n; ++s) {
        const auto& vertex = PointOf(slots, s);
        const std::size_t start = ahead[s % kAhead];
        if (s + kAhead < n) {
            const std::size_t later = PositionHash(PointOf(slots, s + kAhead)) & mask;
            ahead[s % kAhead] = later;
            __builtin_prefetch(&table[later]);
        }
        if (s + kSlot < n) {
            const TSlot held = table[ahead[(s + kSlot) % kAhead]];
            if (held != kNoSlot) __builtin_prefetch(&slots[held]);
        }
        if (s + kNear < n) {
            const TSlot held = table[ahead[(s + kNear) % kAhead]];
            if (held != kNoSlot) __builtin_prefetch(PlaceOf(slots, held));
        }
        for (std::size_t i = start, probes = 0;; i = (i + 1) & mask) {
            const TSlot held = table[i];
            if (held == kNoSlot) {
                table[i] = s;
                groups[s] = s;
                break;
            }
            if (comparisons.Same(PointOf(slots, held), vertex)) {
                groups[s] = held;
                break;
            }
            if (++probes == kMaxProbes) return false;
        }
    }
    return true;
}

// One coordinate as an ordered pair of integers: equal values, equal keys
// (-0 taken as 0).
struct TCoordinateKey {
    std::uint16_t SignExponent = 0;
    std::uint64_t Mantissa = 0;
    auto operator<=>(const TCoordinateKey&) const = default;
};

TCoordinateKey KeyOf(Extended value) {
    if (value == 0) value = 0;
    TCoordinateKey key;
    std::memcpy(&key.Mantissa, &value, sizeof key.Mantissa);
    std::memcpy(&key.SignExponent, reinterpret_cast<const unsigned char*>(&value) + sizeof key.Mantissa,
                sizeof key.SignExponent);
    return key;
}

// The same groups by sorting the slots by position and walk order: n log n
// comparisons, whatever the positions.
template <typename TSlots>
void SortedGroups(TSlots slots, const TComparisons& comparisons, std::vector<TSlot>& groups) {
    std::vector<TSlot> order(slots.size());
    for (TSlot s = 0; s < slots.size(); ++s) order[s] = s;
    const auto key = [&](TSlot s) {
        const auto& v = PointOf(slots, s);
        return std::tuple(KeyOf(v.X), KeyOf(v.Y), KeyOf(v.Z), s);
    };
    std::ranges::sort(order, [&](TSlot a, TSlot b) {
        if (comparisons.Count != nullptr) ++*comparisons.Count;
        return key(a) < key(b);
    });
    // Within each stretch of one position the first slot in walk order leads;
    // a NaN coordinate equals nothing, so such a vertex stays alone.
    TSlot leader = kNoSlot;
    for (const TSlot s : order) {
        if (leader == kNoSlot || !comparisons.Same(PointOf(slots, leader), PointOf(slots, s))) leader = s;
        groups[s] = leader;
    }
}

TShapePlace PolygonPlace(const TWalk& walk, const TPairedPolygon& polygon) {
    TShapePlace place;
    place.Object = static_cast<std::int64_t>(polygon.Object) + 1;
    place.Polygon = polygon.Number;
    place.StartObject = walk.Objects[polygon.Object].first;
    place.TargetObject = walk.Objects[polygon.Object].second;
    return place;
}

TShapePlace SlotPlace(const TWalk& walk, std::size_t slot) {
    // The last polygon that begins at or before the slot holds it; polygons
    // without vertices begin where their successor begins, so come before it.
    const auto after = std::ranges::upper_bound(walk.Polygons, slot, {}, &TPairedPolygon::FirstSlot);
    const TPairedPolygon& polygon = *(after - 1);
    TShapePlace place = PolygonPlace(walk, polygon);
    place.Vertex = static_cast<std::int64_t>(slot - polygon.FirstSlot) + 1;
    return place;
}

void NoteFirstMismatch(TCorrespondence& report, TMismatchLevel level, const TShapePlace& place,
                       std::int64_t start_count, std::int64_t target_count) {
    if (!report.StructureMatches) return;
    report.StructureMatches = false;
    report.FirstMismatch = {level, place, start_count, target_count};
}

// Walks both shapes in step, pairing what the blend pairs, and notes every
// structural difference on the way.
TWalk WalkPairs(const TVANE_Object* start, const TVANE_Object* target, std::size_t examples,
                TCorrespondence& report) {
    TWalk walk;
    // At most as many pairs as the shorter shape has vertices and polygons.
    walk.StartSlots.reserve(static_cast<std::size_t>(std::min(report.Start.Vertices, report.Target.Vertices)));
    walk.TargetSlots.reserve(walk.StartSlots.capacity());
    walk.Polygons.reserve(static_cast<std::size_t>(std::min(report.Start.Polygons, report.Target.Polygons)));
    const auto visit_object = [&](const TVANE_Object& start_object, const TVANE_Object& target_object) {
        walk.Objects.emplace_back(&start_object, &target_object);
        const std::size_t object = walk.Objects.size() - 1;
        std::int64_t number = 0;
        const auto visit_polygon = [&](const TVANE_Polygon& start_poly, const TVANE_Polygon& target_poly) {
            TPairedPolygon paired{object, ++number, walk.StartSlots.size(), 0, 0};
            Extended sum = 0;
            const auto [a, b] = ForEachPaired(
                [&](const TVANE_Vertex& s, const TVANE_Vertex& t) {
                    walk.StartSlots.push_back(&s);
                    walk.TargetSlots.push_back(&t);
                    sum += VectorLength(t.X - s.X, t.Y - s.Y, t.Z - s.Z);
                    ++paired.Pairs;
                },
                FirstChild(&start_poly), FirstChild(&target_poly));
            if (paired.Pairs > 0) paired.Displacement = sum / static_cast<Extended>(paired.Pairs);
            walk.Polygons.push_back(paired);

            const auto pairs = static_cast<std::int64_t>(paired.Pairs);
            const std::int64_t start_vertices = pairs + Length(a);
            const std::int64_t target_vertices = pairs + Length(b);
            const bool count_differs = start_vertices != target_vertices;
            const bool kind_differs = start_poly.Kind != target_poly.Kind;
            if (!count_differs && !kind_differs) return;
            const TShapePlace place = PolygonPlace(walk, paired);
            if (count_differs) {
                ++report.VertexCountMismatches;
                NoteFirstMismatch(report, TMismatchLevel::Vertices, place, start_vertices,
                                  target_vertices);
            }
            if (kind_differs) ++report.KindMismatches;
            if (report.PolygonMismatches.size() < examples)
                report.PolygonMismatches.push_back(
                    {place, start_poly.Kind, target_poly.Kind, start_vertices, target_vertices});
        };
        const auto [start_rest, target_rest] =
            ForEachPaired(visit_polygon, FirstChild(&start_object), FirstChild(&target_object));
        if (start_rest || target_rest) {
            TShapePlace place;
            place.Object = static_cast<std::int64_t>(object) + 1;
            place.StartObject = &start_object;
            place.TargetObject = &target_object;
            NoteFirstMismatch(report, TMismatchLevel::Polygons, place, Length(start_object.Polygons),
                              Length(target_object.Polygons));
        }
    };
    const auto [start_rest, target_rest] = ForEachPaired(visit_object, start, target);
    if (start_rest || target_rest) {
        TShapePlace place;
        place.Object = static_cast<std::int64_t>(walk.Objects.size()) + 1;
        place.StartObject = start_rest;
        place.TargetObject = target_rest;
        NoteFirstMismatch(report, TMismatchLevel::Objects, place, report.Start.Objects,
                          report.Target.Objects);
    }
    return walk;
}

// Counts the corners of the sharing shape and those whose vertices the other
// shape puts apart; keeps examples up to the limit.
void CompareCorners(const TWalk& walk, bool shared_in_start, const std::vector<TSlot>& sharing,
                    const std::vector<TSlot>& other, std::size_t examples, std::int64_t& corners,
                    std::int64_t& broken, std::vector<TBrokenCorner>& found) {
    const auto& sharing_slots = shared_in_start ? walk.StartSlots : walk.TargetSlots;
    const auto& other_slots = shared_in_start ? walk.TargetSlots : walk.StartSlots;
    enum : std::uint8_t { kCounted = 1, kBroken = 2 };
    std::vector<std::uint8_t> state(sharing.size(), 0);
    for (TSlot s = 0; s < sharing.size(); ++s) {
        const TSlot first = sharing[s];
        if (first == s) continue;
        if (!(state[first] & kCounted)) {
            state[first] |= kCounted;
            ++corners;
        }
        if (other[s] == other[first] || (state[first] & kBroken)) continue;
        state[first] |= kBroken;
        ++broken;
        if (found.size() < examples)
            found.push_back({shared_in_start, SlotPlace(walk, first), SlotPlace(walk, s),
                             PositionOf(*sharing_slots[first]), PositionOf(*other_slots[first]),
                             PositionOf(*other_slots[s])});
    }
}

// Below this many vertices a grouping takes less than a thread costs.
constexpr std::size_t kThreadSlots = std::size_t{1} << 17;

void CheckConnectivity(const TWalk& walk, std::size_t examples, TCorrespondence& report) {
    // The two groupings share nothing: the target's goes to another core.
    std::vector<TSlot> start_groups, target_groups;
    if (walk.TargetSlots.size() >= kThreadSlots && CoreCount() > 1) {
        std::exception_ptr failure;
        {
            std::jthread target_thread([&] {
                try {
                    target_groups = GroupPositions(walk.TargetSlots);
                } catch (...) {
                    failure = std::current_exception();
                }
            });
            start_groups = GroupPositions(walk.StartSlots);
        }
        if (failure) std::rethrow_exception(failure);
    } else {
        start_groups = GroupPositions(walk.StartSlots);
        target_groups = GroupPositions(walk.TargetSlots);
    }
    CompareCorners(walk, true, start_groups, target_groups, examples, report.CornersInStart,
                   report.BrokenInStart, report.BrokenCorners);
    CompareCorners(walk, false, target_groups, start_groups, examples, report.CornersInTarget,
                   report.BrokenInTarget, report.BrokenCorners);
    report.ConnectivityChecked = true;
}

void FindOutliers(const TWalk& walk, std::size_t examples, TCorrespondence& report) {
    std::vector<Extended> distances;
    distances.reserve(walk.Polygons.size());
    for (const TPairedPolygon& polygon : walk.Polygons)
        if (polygon.Pairs > 0) distances.push_back(polygon.Displacement);
    if (distances.empty()) return;
    const auto middle = distances.begin() + static_cast<std::ptrdiff_t>(distances.size() / 2);
    std::nth_element(distances.begin(), middle, distances.end());
    report.MedianDisplacement = *middle;
    // With most polygons standing still every moving one would stand out.
    if (report.MedianDisplacement == 0) return;

    const Extended threshold = kOutlierFactor * report.MedianDisplacement;
    std::vector<const TPairedPolygon*> outliers;
    for (const TPairedPolygon& polygon : walk.Polygons)
        if (polygon.Pairs > 0 && polygon.Displacement > threshold) outliers.push_back(&polygon);
    report.Outliers = static_cast<std::int64_t>(outliers.size());
    const std::size_t shown = std::min(examples, outliers.size());
    std::partial_sort(outliers.begin(), outliers.begin() + static_cast<std::ptrdiff_t>(shown),
                      outliers.end(), [](const TPairedPolygon* a, const TPairedPolygon* b) {
                          return a->Displacement > b->Displacement;
                      });
    for (std::size_t i = 0; i < shown; ++i)
        report.LargestOutliers.push_back({PolygonPlace(walk, *outliers[i]), outliers[i]->Displacement});
}

// The groups of SLOTS: hashed, or sorted where their hashes collide far
// more than chance allows.
template <typename TSlots>
std::vector<std::uint32_t> Grouped(TSlots slots, std::uint64_t* counted) {
    if (slots.size() >= kNoSlot) throw std::length_error("too many vertices to compare their corners");
    std::vector<TSlot> groups(slots.size());
    const TComparisons comparisons{counted};
    if (!HashedGroups(slots, comparisons, groups)) SortedGroups(slots, comparisons, groups);
    return groups;
}

}  // namespace

std::vector<std::uint32_t> GroupPositions(std::span<const TVANE_Vertex* const> Slots,
                                          std::uint64_t* Comparisons) {
    return Grouped(Slots, Comparisons);
}

std::vector<std::uint32_t> GroupPositions(std::span<const TPackedPosition> Positions,
                                          std::uint64_t* Comparisons) {
    return Grouped(Positions, Comparisons);
}

TCorrespondence CheckCorrespondence(const TVANE_Object* Start, const TVANE_Object* Target,
                                    std::size_t Examples) {
    TCorrespondence report;
    report.Start = Count(Start);
    report.Target = Count(Target);
    const TWalk walk = WalkPairs(Start, Target, Examples, report);
    // Corners pair up only when every vertex has its partner.
    if (report.StructureMatches) CheckConnectivity(walk, Examples, report);
    FindOutliers(walk, Examples, report);
    return report;
}
