#include "app/reorder.h"

#include <sys/mman.h>

#include "shape/parallel.h"
#include "shape/probes.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <condition_variable>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <new>
#include <limits>
#include <mutex>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>

namespace {

using TIndex = std::uint32_t;
constexpr TIndex kNone = std::numeric_limits<TIndex>::max();

// What lies across the edge from a corner to the next one: the half-edge of
// the other polygon of the object on that edge, or one of these states.
constexpr TIndex kOpen = kNone - 1;         // no other polygon of the object: a boundary
constexpr TIndex kDegenerate = kNone - 2;   // both ends at one position
constexpr TIndex kNonManifold = kNone - 3;  // three or more polygons
constexpr TIndex kFirstState = kNonManifold;

bool IsMate(TIndex mate) { return mate < kFirstState; }

// The corner after corner K of a polygon of N corners.
TIndex NextCorner(TIndex k, TIndex n) { return k + 1 == n ? 0 : k + 1; }

// X below 2N taken round N corners, without a division.
TIndex Wrap(TIndex x, TIndex n) { return x >= n ? x - n : x; }

// Below this many corners in both shapes a thread costs more than it saves.
constexpr std::size_t kThreadCorners = 200000;
// Rounds of colour refinement. Colours only choose where a walk starts, so a
// few rounds suffice; on a regular grid more would only follow the boundary
// inward.
constexpr int kColourRounds = 2;
// Walks tried for one island: a cube's 48 symmetries are all compared; on
// larger regular meshes the seeds that move their first polygon least.
constexpr std::size_t kMaxSeeds = 48;
// Once a match is found, further seeds of an island are tried only while
// the walks so far have visited fewer than kWalkBudget times its polygons,
// and some 65 thousand more so that small islands try every seed: on a
// large regular mesh, whose orders all move alike, each walk would run
// nearly to its end.
constexpr std::size_t kWalkBudget = 2;
constexpr std::size_t kSmallWalkBudget = 65536;
// Target objects of one structure and name compared for one start object:
// those whose centres lie nearest to its centre.
constexpr std::size_t kMaxObjectCandidates = 16;
// Target islands of one structure compared for one start island: those
// whose centres lie nearest to its centre.
constexpr std::size_t kMaxIslandCandidates = 8;

// Whether the system holds free blocks of memory of a huge page (2 MiB) and
// more, of at least WANTED bytes in all: then a huge page is there to take
// at a first touch, without the kernel first moving pages to make one.
// Counted once, from /proc/buddyinfo.
bool HugePagesAreFree() {
    static const bool free = [] {
        constexpr std::size_t kWanted = std::size_t{2} << 30;
        constexpr int kHugeOrder = 9;  // 2^9 pages of 4 KiB
        std::ifstream info("/proc/buddyinfo");
        std::string word;
        std::size_t pages = 0;
        while (info >> word) {
            if (word != "zone") continue;
            info >> word;  // its name
            for (int order = 0; order <= 10 && info >> word; ++order) {
                if (order >= kHugeOrder) pages += std::strtoull(word.c_str(), nullptr, 10) << order;
            }
        }
        return pages * 4096 >= kWanted;
    }();
    return free;
}

// Memory for the work arrays of millions of entries. Here every fresh page
// of 4 KiB costs a fault that the virtual machine's host takes part in; an
// array laid on huge pages takes one per 2 MiB. They are asked for only
// while the system has free ones (HugePagesAreFree), so that a first touch
// never waits for the kernel to make one.
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kHugeArrayBytes = 4 * kHugePage;

template <typename T>
struct TWorkAllocator {
    using value_type = T;
    TWorkAllocator() = default;
    template <typename U>
    explicit TWorkAllocator(const TWorkAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        constexpr std::size_t kEntry = sizeof(T);  // NOLINT(bugprone-sizeof-expression): entries may be pointers
        if (n > SIZE_MAX / kEntry) throw std::bad_alloc();
        const std::size_t bytes = n * kEntry;
        void* memory = nullptr;
        if (bytes >= kHugeArrayBytes && HugePagesAreFree()) {
            const std::size_t whole = (bytes + kHugePage - 1) / kHugePage * kHugePage;
            memory = std::aligned_alloc(kHugePage, whole);
            if (memory != nullptr) madvise(memory, whole, MADV_HUGEPAGE);
        } else {
            memory = std::malloc(bytes == 0 ? 1 : bytes);
        }
        if (memory == nullptr) throw std::bad_alloc();
        return static_cast<T*>(memory);
    }
    void deallocate(T* memory, std::size_t) noexcept { std::free(memory); }
    template <typename U>
    bool operator==(const TWorkAllocator<U>&) const noexcept { return true; }
};

// An array of millions of entries.
template <typename T>
using TWork = std::vector<T, TWorkAllocator<T>>;

std::uint64_t Combine(std::uint64_t a, std::uint64_t b) { return MixBits(a ^ MixBits(b + 0x9E3779B97F4A7C15ull)); }

struct TPoly {
    const TVANE_Polygon* Record = nullptr;
    TIndex First = 0;   // first slot
    TIndex Size = 0;    // corners
    TIndex Object = 0;  // index into TMesh::Objects
    TIndex Number = 0;  // 1-based within its object
    std::uint8_t Kind = 0;  // the record's, kept here: the walk compares kinds without reading records
};

// A connected part of an object: polygons joined by shared edges.
struct TIsland {
    TIndex Object = 0;
    TIndex First = 0;  // into TMesh::IslandPolys
    TIndex Polys = 0;
    TIndex Corners = 0;
    std::uint64_t Signature = 0;  // polygons, corners and the colours of the corners
    bool Isolated = false;        // one polygon that shares no corner
};

struct TMeshObject {
    const TVANE_Object* Record = nullptr;
    TIndex FirstPoly = 0;
    TIndex Polys = 0;
    TIndex Corners = 0;
    TIndex FirstIsland = 0;
    TIndex Islands = 0;
    std::uint64_t Signature = 0;
};

// One shape flattened: its polygons and corners in walk order, each corner
// (slot) being also the half-edge to the next corner of its polygon.
struct TMesh {
    const TVANE_Object* Source = nullptr;
    TShapeCounts Counts;
    std::vector<TMeshObject> Objects;
    TWork<TPoly> Polys;
    // The corners' records; a target holds their positions instead, copied
    // out as it is flattened and laid out with the rest in its own order.
    TWork<const TVANE_Vertex*> Slots;
    TWork<TPackedPosition> Positions;
    TWork<TIndex> SlotPoly;
    std::vector<TIndex> Vertex;  // first slot at the same position (GroupPositions)
    TWork<TIndex> Degree;  // at a group's first slot: the corners at that position
    TWork<TIndex> Mate;
    TWork<std::uint32_t> Colour;  // a hash: classes may merge, never split
    TWork<TIndex> IslandOf;  // per polygon
    TWork<TIndex> IslandPolys;
    std::vector<TIsland> Islands;

    std::size_t Corners() const { return SlotPoly.size(); }
    // The position of slot H.
    std::array<Extended, 3> At(TIndex h) const {
        if (!Positions.empty()) {
            const TPackedPosition& p = Positions[h];
            return {p.X, p.Y, p.Z};
        }
        const TVANE_Vertex& v = *Slots[h];
        return {v.X, v.Y, v.Z};
    }
    // Asks for slot H's position early (a hint).
    void Prefetch(TIndex h) const {
        if (!Positions.empty()) {
            __builtin_prefetch(&Positions[h]);
            return;
        }
        // The three coordinates may reach into the record's next line.
        __builtin_prefetch(&Slots[h]->X);
        __builtin_prefetch(&Slots[h]->Z + 1);
    }
};

// Flattens SHAPE into MESH: its corners' records, or (POSITIONS) their
// positions copied out, read here in the order the records lie in.
TShapeCounts Flatten(const TVANE_Object* shape, TMesh& mesh, bool positions) {
    // Counted first, so that the lists are made once at their size.
    std::size_t objects = 0, polygons = 0, slots = 0;
    for (const TVANE_Object* object = shape; object; object = object->Next, ++objects)
        for (const TVANE_Polygon* polygon = object->Polygons; polygon; polygon = polygon->Next, ++polygons)
            for (const TVANE_Vertex* v = polygon->Vertices; v; v = v->Next) ++slots;
    mesh.Objects.reserve(objects);
    mesh.Polys.reserve(polygons);
    if (positions) {
        mesh.Positions.reserve(slots);
    } else {
        mesh.Slots.reserve(slots);
    }
    mesh.SlotPoly.reserve(slots);
    TShapeCounts counts;
    for (const TVANE_Object* object = shape; object; object = object->Next) {
        TMeshObject o;
        o.Record = object;
        o.FirstPoly = static_cast<TIndex>(mesh.Polys.size());
        const auto slots_before = mesh.SlotPoly.size();
        TIndex number = 0;
        for (const TVANE_Polygon* polygon = object->Polygons; polygon; polygon = polygon->Next) {
            if (mesh.Polys.size() >= kFirstState) throw std::length_error("too many polygons to reorder");
            TPoly p{polygon, static_cast<TIndex>(mesh.SlotPoly.size()), 0,
                    static_cast<TIndex>(mesh.Objects.size()), ++number, polygon->Kind};
            const auto poly_index = static_cast<TIndex>(mesh.Polys.size());
            for (const TVANE_Vertex* v = polygon->Vertices; v; v = v->Next) {
                if (mesh.SlotPoly.size() >= kFirstState) throw std::length_error("too many vertices to reorder");
                if (positions) {
                    mesh.Positions.push_back({v->X, v->Y, v->Z});
                } else {
                    mesh.Slots.push_back(v);
                }
                mesh.SlotPoly.push_back(poly_index);
                ++p.Size;
            }
            mesh.Polys.push_back(p);
        }
        o.Polys = number;
        o.Corners = static_cast<TIndex>(mesh.SlotPoly.size() - slots_before);
        mesh.Objects.push_back(o);
    }
    counts.Objects = static_cast<std::int64_t>(mesh.Objects.size());
    counts.Polygons = static_cast<std::int64_t>(mesh.Polys.size());
    counts.Vertices = static_cast<std::int64_t>(mesh.SlotPoly.size());
    return counts;
}

// The low 7 bits of V spread to every third bit.
std::uint32_t SpreadBits(std::uint32_t v) {
    v &= 0x7F;
    v = (v | v << 8) & 0xF00F;
    v = (v | v << 4) & 0xC30C3;
    v = (v | v << 2) & 0x249249;
    return v;
}

// Lays each object's polygons of MESH (flattened with its positions) out by
// their places in space, their corners with them. The object's box (of the
// polygons' first corners) is cut into cells, about 16 polygons to a cell,
// and the cells are taken in Morton order, the polygons of a cell in their
// order before. A target whose polygons come in any order is then read by
// the later phases and the walk near where they read last, as one in order
// is. Each polygon keeps its number (its place in the list), and the objects
// keep their places, so an object's polygons and corners still follow one
// another.
void LayOutInSpace(TMesh& mesh) {
    assert(mesh.Positions.size() == mesh.Corners());
    const auto place = [&](TIndex p) {
        const TPoly& poly = mesh.Polys[p];
        std::array<double, 3> at{};
        if (poly.Size == 0) return at;
        const auto position = mesh.At(poly.First);
        for (std::size_t c = 0; c < 3; ++c) at[c] = static_cast<double>(position[c]);
        return at;
    };
    TWork<TIndex> order(mesh.Polys.size());
    std::vector<std::uint32_t> cell_of;
    std::vector<TIndex> starts;
    for (const TMeshObject& object : mesh.Objects) {
        const TIndex first = object.FirstPoly, end = object.FirstPoly + object.Polys;
        std::iota(order.begin() + first, order.begin() + end, first);
        if (object.Polys < ReorderLayoutPolygons || object.Polys < 2) continue;
        std::array<double, 3> low{}, high{};
        low.fill(std::numeric_limits<double>::infinity());
        high.fill(-std::numeric_limits<double>::infinity());
        for (TIndex p = first; p < end; ++p) {
            const auto at = place(p);
            for (std::size_t c = 0; c < 3; ++c) {
                const double x = at[c];
                if (!std::isfinite(x)) continue;
                low[c] = std::min(low[c], x);
                high[c] = std::max(high[c], x);
            }
        }
        int bits = 1;  // per axis
        while (bits < 7 && (std::size_t{16} << (3 * bits)) < object.Polys) ++bits;
        const double cells = static_cast<double>(1 << bits);
        std::array<double, 3> scale{};
        for (std::size_t c = 0; c < 3; ++c) {
            const double span = high[c] - low[c];
            scale[c] = std::isfinite(span) && span > 0 ? cells / span : 0.0;
        }
        cell_of.resize(object.Polys);
        starts.assign((std::size_t{1} << (3 * bits)) + 1, 0);
        for (TIndex p = first; p < end; ++p) {
            std::uint32_t cell = 0;
            const auto position = place(p);
            for (std::size_t c = 0; c < 3; ++c) {
                const double at = (position[c] - low[c]) * scale[c];
                const auto step = at >= 0 && at < cells ? static_cast<std::uint32_t>(at) : at >= cells ? (1u << bits) - 1 : 0;
                cell |= SpreadBits(step) << c;
            }
            cell_of[p - first] = cell;
            ++starts[cell + 1];
        }
        for (std::size_t k = 1; k < starts.size(); ++k) starts[k] += starts[k - 1];
        for (TIndex p = first; p < end; ++p) order[first + starts[cell_of[p - first]]++] = p;
    }
    TWork<TPoly> polys(mesh.Polys.size());
    TWork<TPackedPosition> positions(mesh.Positions.size());
    TWork<TIndex> slot_poly(mesh.Positions.size());
    TIndex next = 0;
    for (TIndex at = 0; at < order.size(); ++at) {
        // Asked for early in stages, each needing what the one before brought.
        constexpr TIndex kPolygons = 16, kPositions = 8;
        if (at + kPolygons < order.size()) __builtin_prefetch(&mesh.Polys[order[at + kPolygons]]);
        if (at + kPositions < order.size()) {
            const TPoly& later = mesh.Polys[order[at + kPositions]];
            if (later.Size > 0) {
                __builtin_prefetch(&mesh.Positions[later.First]);
                __builtin_prefetch(&mesh.Positions[later.First + later.Size - 1].Z);
            }
        }
        TPoly poly = mesh.Polys[order[at]];
        for (TIndex k = 0; k < poly.Size; ++k) {
            positions[next + k] = mesh.Positions[poly.First + k];
            slot_poly[next + k] = at;
        }
        poly.First = next;
        next += poly.Size;
        polys[at] = poly;
    }
    mesh.Polys = std::move(polys);
    mesh.Positions = std::move(positions);
    mesh.SlotPoly = std::move(slot_poly);
}

void GroupCorners(TMesh& mesh) {
    mesh.Vertex = mesh.Positions.empty() ? GroupPositions(mesh.Slots) : GroupPositions(mesh.Positions);
    mesh.Degree.assign(mesh.Corners(), 0);
    for (const TIndex first : mesh.Vertex) ++mesh.Degree[first];
}

// Pairs the two half-edges of each edge of an object: an open addressing
// table keyed by the two positions of the edge's ends (and the object).
void FindMates(TMesh& mesh) {
    const std::size_t n = mesh.Corners();
    mesh.Mate.assign(n, kOpen);
    // At most one entry per half-edge, about one per two on a closed
    // surface: the table stays under four fifths full, mostly a third.
    std::size_t capacity = 16;
    while (capacity < n + n / 4) capacity *= 2;
    const std::size_t mask = capacity - 1;
    struct TEntry {
        std::uint64_t Ends = 0;
        TIndex HalfEdge = kNone;
        TIndex Object = 0;
    };
    TWork<TEntry> table(capacity);
    // The half-edges in walk order with the ends they join: the table's
    // place of each is known a little ahead, and asked for early (a hint).
    const auto ends_of = [&](TIndex h, TIndex next) {
        const TIndex u = mesh.Vertex[h], v = mesh.Vertex[next];
        return std::uint64_t{std::min(u, v)} << 32 | std::max(u, v);
    };
    const auto place_of = [&](std::uint64_t ends, TIndex object) { return MixBits(MixBits(object) ^ ends) & mask; };
    constexpr TIndex kAhead = 16;
    for (TIndex p = 0; p < mesh.Polys.size(); ++p) {
        const TPoly& poly = mesh.Polys[p];
        if (p + kAhead < mesh.Polys.size()) {
            const TPoly& later = mesh.Polys[p + kAhead];
            for (TIndex k = 0; k < later.Size; ++k) {
                const TIndex h = later.First + k;
                __builtin_prefetch(&table[place_of(ends_of(h, later.First + NextCorner(k, later.Size)), later.Object)]);
            }
        }
        for (TIndex k = 0; k < poly.Size; ++k) {
            const TIndex h = poly.First + k;
            const TIndex next = poly.First + NextCorner(k, poly.Size);
            if (mesh.Vertex[h] == mesh.Vertex[next]) {
                mesh.Mate[h] = kDegenerate;
                continue;
            }
            const std::uint64_t ends = ends_of(h, next);
            for (std::size_t i = place_of(ends, poly.Object);; i = (i + 1) & mask) {
                TEntry& entry = table[i];
                if (entry.HalfEdge == kNone) {
                    entry = {ends, h, poly.Object};
                    break;
                }
                if (entry.Ends != ends || entry.Object != poly.Object) continue;
                const TIndex held = entry.HalfEdge;
                const TIndex other = mesh.Mate[held];
                if (other == kOpen) {
                    mesh.Mate[held] = h;
                    mesh.Mate[h] = held;
                } else {
                    if (IsMate(other)) mesh.Mate[other] = kNonManifold;
                    mesh.Mate[held] = kNonManifold;
                    mesh.Mate[h] = kNonManifold;
                }
                break;
            }
        }
    }
}

// Colours of the half-edges that two shapes of one structure share, whatever
// the order and winding of their polygons: from the polygon's size, the
// degrees of the edge's ends and what lies across it, refined by the colours
// of the neighbouring half-edges (the previous and next ones taken alike, so
// that a mirrored polygon colours the same).
void Colour(TMesh& mesh) {
    const std::size_t n = mesh.Corners();
    TWork<std::uint32_t> colour(n), next(n);
    const auto fold = [](std::uint64_t h) { return static_cast<std::uint32_t>(h ^ (h >> 32)); };
    // What lies across an edge or at a corner's position is read from far
    // away; it is asked for this many half-edges ahead (a hint).
    constexpr std::size_t kAhead = 32;
    for (const TPoly& poly : mesh.Polys) {
        for (TIndex k = 0; k < poly.Size; ++k) {
            const TIndex h = poly.First + k;
            if (h + kAhead < n) __builtin_prefetch(&mesh.Degree[mesh.Vertex[h + kAhead]]);
            const TIndex du = mesh.Degree[mesh.Vertex[h]];
            const TIndex dv = mesh.Degree[mesh.Vertex[poly.First + NextCorner(k, poly.Size)]];
            const TIndex mate = mesh.Mate[h];
            colour[h] = fold(Combine(Combine(Combine(poly.Size, std::min(du, dv)), std::max(du, dv)),
                                     IsMate(mate) ? 0 : mate - kFirstState + 1));
        }
    }
    for (int round = 0; round < kColourRounds; ++round) {
        for (const TPoly& poly : mesh.Polys) {
            for (TIndex k = 0; k < poly.Size; ++k) {
                const TIndex h = poly.First + k;
                if (h + kAhead < n && IsMate(mesh.Mate[h + kAhead])) __builtin_prefetch(&colour[mesh.Mate[h + kAhead]]);
                const TIndex mate = mesh.Mate[h];
                const std::uint64_t beside = MixBits(colour[poly.First + NextCorner(k, poly.Size)]) +
                                             MixBits(colour[poly.First + (k == 0 ? poly.Size - 1 : k - 1)]);
                next[h] = fold(Combine(Combine(colour[h], beside), IsMate(mate) ? colour[mate] : mate));
            }
        }
        colour.swap(next);
    }
    mesh.Colour = std::move(colour);
}

void FindIslands(TMesh& mesh) {
    mesh.IslandOf.assign(mesh.Polys.size(), kNone);
    mesh.IslandPolys.reserve(mesh.Polys.size());
    for (TIndex o = 0; o < mesh.Objects.size(); ++o) {
        TMeshObject& object = mesh.Objects[o];
        object.FirstIsland = static_cast<TIndex>(mesh.Islands.size());
        std::uint64_t islands_sum = 0;
        for (TIndex p = object.FirstPoly; p < object.FirstPoly + object.Polys; ++p) {
            if (mesh.IslandOf[p] != kNone) continue;
            TIsland island;
            island.Object = o;
            island.First = static_cast<TIndex>(mesh.IslandPolys.size());
            const auto number = static_cast<TIndex>(mesh.Islands.size());
            mesh.IslandOf[p] = number;
            mesh.IslandPolys.push_back(p);
            std::uint64_t colours = 0;
            for (std::size_t at = island.First; at < mesh.IslandPolys.size(); ++at) {
                // The polygons queued a few places on are read from far apart
                // (the walk spreads over the whole mesh): asked for early.
                constexpr std::size_t kPolygonsAhead = 8, kCornersAhead = 4;
                if (at + kPolygonsAhead < mesh.IslandPolys.size())
                    __builtin_prefetch(&mesh.Polys[mesh.IslandPolys[at + kPolygonsAhead]]);
                if (at + kCornersAhead < mesh.IslandPolys.size()) {
                    const TPoly& later = mesh.Polys[mesh.IslandPolys[at + kCornersAhead]];
                    __builtin_prefetch(mesh.Mate.data() + later.First);
                    __builtin_prefetch(mesh.Colour.data() + later.First);
                }
                const TPoly& poly = mesh.Polys[mesh.IslandPolys[at]];
                for (TIndex h = poly.First; h < poly.First + poly.Size; ++h) {
                    colours += MixBits(mesh.Colour[h]);
                    const TIndex mate = mesh.Mate[h];
                    if (!IsMate(mate)) continue;
                    const TIndex other = mesh.SlotPoly[mate];
                    if (mesh.IslandOf[other] != kNone) continue;
                    mesh.IslandOf[other] = number;
                    mesh.IslandPolys.push_back(other);
                }
                island.Corners += poly.Size;
            }
            island.Polys = static_cast<TIndex>(mesh.IslandPolys.size() - island.First);
            island.Signature = Combine(Combine(Combine(island.Polys, island.Corners), colours),
                                       mesh.Polys[p].Size);
            if (island.Polys == 1) {
                const TPoly& poly = mesh.Polys[p];
                island.Isolated = true;
                for (TIndex h = poly.First; h < poly.First + poly.Size; ++h)
                    island.Isolated = island.Isolated && mesh.Degree[mesh.Vertex[h]] == 1;
            }
            islands_sum += MixBits(island.Signature);
            mesh.Islands.push_back(island);
        }
        object.Islands = static_cast<TIndex>(mesh.Islands.size()) - object.FirstIsland;
        object.Signature = Combine(Combine(object.Polys, object.Corners), islands_sum);
    }
}

// Runs Step on both meshes, the target's on a thread of its own when they
// are large (or Parallel: before their size is known).
template <typename TStep>
void OnBoth(TMesh& start, TMesh& target, const TStep& step, bool parallel = false) {
    if (!parallel && start.Corners() + target.Corners() < kThreadCorners) {
        step(start);
        step(target);
        return;
    }
    std::exception_ptr error;
    {
        std::jthread other([&] {
            try {
                step(target);
            } catch (...) {
                error = std::current_exception();
            }
        });
        step(start);
    }
    if (error) std::rethrow_exception(error);
}

Extended SquaredDistance(const std::array<Extended, 3>& a, const std::array<Extended, 3>& b) {
    const Extended dx = a[0] - b[0];
    const Extended dy = a[1] - b[1];
    const Extended dz = a[2] - b[2];
    return dx * dx + dy * dy + dz * dz;
}

// The target corner of a start polygon's first corner when start corner A
// pairs target corner B, forwards or backwards; polygons of two corners or
// fewer have no winding to reverse.
std::pair<TIndex, bool> Mapping(TIndex n, TIndex a, TIndex b, bool reversed) {
    if (n == 0) return {0, false};
    if (n <= 2) reversed = false;
    return {reversed ? Wrap(b + a, n) : Wrap(b + n - a, n), reversed};
}

// Why and where a walk stopped.
struct TConflict {
    TReorderFailure Why = TReorderFailure::None;
    TIndex StartPoly = kNone;
    TIndex Corner = kNone;  // kNone for the whole polygon
    std::int64_t StartValue = 0;
    std::int64_t TargetValue = 0;
    std::size_t Depth = 0;  // polygons paired before it
};

enum class TWalkEnd : std::uint8_t { Complete, Conflict, OverBound };

// Pairs start polygons with target polygons by walking both shapes outward
// from one pair of corners, across shared edges, and undoes pairings back
// to a mark.
class TMatcher {
public:
    TMatcher(const TMesh& start, const TMesh& target)
        : s_(start), t_(target), poly_map_(start.Polys.size(), kNone), first_(start.Polys.size(), 0),
          reversed_(start.Polys.size(), 0), target_used_(target.Polys.size(), kNone),
          vertex_map_(start.Corners(), kNone), vertex_back_(target.Corners(), kNone),
          island_used_(target.Islands.size(), 0) {}

    struct TMark {
        std::size_t Polys, Vertices, Islands;
    };
    TMark Mark() const { return {poly_log_.size(), vertex_log_.size(), island_log_.size()}; }

    void Undo(const TMark& mark) {
        while (poly_log_.size() > mark.Polys) {
            const TIndex p = poly_log_.back();
            poly_log_.pop_back();
            target_used_[poly_map_[p]] = kNone;
            poly_map_[p] = kNone;
        }
        while (vertex_log_.size() > mark.Vertices) {
            const TIndex v = vertex_log_.back();
            vertex_log_.pop_back();
            vertex_back_[vertex_map_[v]] = kNone;
            vertex_map_[v] = kNone;
        }
        while (island_log_.size() > mark.Islands) {
            island_used_[island_log_.back()] = 0;
            island_log_.pop_back();
        }
    }

    // The pairings made since a mark, to be made again after an undo
    // without walking again.
    struct TSaved {
        std::vector<std::array<TIndex, 4>> Polys;  // start polygon, target polygon, first corner, reversed
        std::vector<std::pair<TIndex, TIndex>> Vertices;
        std::vector<TIndex> Islands;  // of the target, used
    };
    void Save(const TMark& mark, TSaved& saved) const {
        saved.Polys.clear();
        saved.Vertices.clear();
        saved.Islands.assign(island_log_.begin() + static_cast<std::ptrdiff_t>(mark.Islands), island_log_.end());
        for (std::size_t at = mark.Polys; at < poly_log_.size(); ++at) {
            const TIndex p = poly_log_[at];
            saved.Polys.push_back({p, poly_map_[p], first_[p], reversed_[p]});
        }
        for (std::size_t at = mark.Vertices; at < vertex_log_.size(); ++at) {
            const TIndex v = vertex_log_[at];
            saved.Vertices.emplace_back(v, vertex_map_[v]);
        }
    }
    void Restore(const TSaved& saved) {
        for (const auto& [p, q, first, reversed] : saved.Polys) {
            poly_map_[p] = q;
            first_[p] = first;
            reversed_[p] = static_cast<std::uint8_t>(reversed);
            target_used_[q] = p;
            poly_log_.push_back(p);
        }
        for (const auto& [v, w] : saved.Vertices) {
            if (vertex_map_[v] == w) continue;  // paired alike by an object before
            vertex_map_[v] = w;
            vertex_back_[w] = v;
            vertex_log_.push_back(v);
        }
        for (const TIndex island : saved.Islands) UseIsland(island);
    }

    bool IslandUsed(TIndex island) const { return island_used_[island] != 0; }
    void UseIsland(TIndex island) {
        island_used_[island] = 1;
        island_log_.push_back(island);
    }

    // The target position paired with start position V (a group's first
    // slot), or kNone.
    TIndex PositionOf(TIndex v) const { return vertex_map_[v]; }
    // The start position paired with target position W, or kNone.
    TIndex PositionBackOf(TIndex w) const { return vertex_back_[w]; }

    // Every pairing of positions walks make from now on, undone or not, is
    // also noted in Journal (none when nullptr).
    void KeepJournal(std::vector<std::pair<TIndex, TIndex>>* journal) { journal_ = journal; }

    TIndex PairOf(TIndex start_poly) const { return poly_map_[start_poly]; }
    TIndex FirstOf(TIndex start_poly) const { return first_[start_poly]; }
    bool ReversedOf(TIndex start_poly) const { return reversed_[start_poly] != 0; }

    // Walks from start corner A of polygon SP paired with target corner B of
    // TP. Stops at the first conflict, or once Movement exceeds Bound.
    TWalkEnd Walk(TIndex sp, TIndex a, TIndex tp, TIndex b, bool reversed, Extended bound,
                  Extended& movement, TConflict& conflict) {
        const std::size_t begin = poly_log_.size();
        movement = 0;
        if (!Pair(sp, a, tp, b, reversed, sp, kNone, conflict)) {
            conflict.Depth = 0;
            return TWalkEnd::Conflict;
        }
        for (std::size_t at = begin; at < poly_log_.size(); ++at) {
            Prefetch(at);
            if (!Visit(poly_log_[at], movement, conflict)) {
                conflict.Depth = at - begin;
                return TWalkEnd::Conflict;
            }
            if (movement > bound) return TWalkEnd::OverBound;
        }
        return TWalkEnd::Complete;
    }

private:
    // The walk waits on memory: the target's polygons come in any order, so
    // each visit reads from far apart. The polygons queued a few visits
    // ahead are known, so what their visits read is asked for early, in
    // stages, each needing what the one before it brought (hints only).
    // Inlined by force: a call of a function that only gives hints would be
    // dropped as doing nothing.
    [[gnu::always_inline]] void Prefetch(std::size_t at) const {
        constexpr std::size_t kPolygons = 32, kCorners = 16, kRecords = 8, kNeighbours = 4;
        const std::size_t queued = poly_log_.size();
        const auto polygons = [&](std::size_t ahead) {
            const TIndex sp = poly_log_[at + ahead];
            return std::pair<const TPoly&, const TPoly&>(s_.Polys[sp], t_.Polys[poly_map_[sp]]);
        };
        if (at + kPolygons < queued) {
            const TIndex sp = poly_log_[at + kPolygons];
            __builtin_prefetch(&s_.Polys[sp]);
            __builtin_prefetch(&t_.Polys[poly_map_[sp]]);
        }
        if (at + kCorners < queued) {
            const auto [p, q] = polygons(kCorners);
            for (const auto& [mesh, first] : {std::pair(&s_, p.First), std::pair(&t_, q.First)}) {
                if (mesh->Positions.empty()) __builtin_prefetch(mesh->Slots.data() + first);
                __builtin_prefetch(mesh->Mate.data() + first);
                __builtin_prefetch(mesh->Vertex.data() + first);
            }
        }
        if (at + kRecords < queued) {
            const auto [p, q] = polygons(kRecords);
            for (TIndex k = 0; k < q.Size; ++k) {
                s_.Prefetch(p.First + k);
                t_.Prefetch(q.First + k);
                __builtin_prefetch(&vertex_map_[s_.Vertex[p.First + k]]);
                __builtin_prefetch(&vertex_back_[t_.Vertex[q.First + k]]);
                if (const TIndex ms = s_.Mate[p.First + k]; IsMate(ms)) __builtin_prefetch(&s_.SlotPoly[ms]);
                if (const TIndex mt = t_.Mate[q.First + k]; IsMate(mt)) {
                    __builtin_prefetch(&t_.SlotPoly[mt]);
                    __builtin_prefetch(&t_.Vertex[mt]);
                }
            }
        }
        if (at + kNeighbours < queued) {
            const auto [p, q] = polygons(kNeighbours);
            for (TIndex k = 0; k < q.Size; ++k) {
                if (const TIndex ms = s_.Mate[p.First + k]; IsMate(ms)) {
                    __builtin_prefetch(&s_.Polys[s_.SlotPoly[ms]]);
                    __builtin_prefetch(&poly_map_[s_.SlotPoly[ms]]);
                }
                if (const TIndex mt = t_.Mate[q.First + k]; IsMate(mt)) {
                    __builtin_prefetch(&t_.Polys[t_.SlotPoly[mt]]);
                    __builtin_prefetch(&target_used_[t_.SlotPoly[mt]]);
                }
            }
        }
    }

    static bool Fail(TConflict& conflict, TReorderFailure why, TIndex poly, TIndex corner,
                     std::int64_t start_value = 0, std::int64_t target_value = 0) {
        conflict = {why, poly, corner, start_value, target_value, 0};
        return false;
    }

    // Pairs start polygon SP with TP, corner A with B; a conflict is
    // reported at corner FROM_CORNER of FROM, the polygon the walk came from.
    bool Pair(TIndex sp, TIndex a, TIndex tp, TIndex b, bool reversed, TIndex from, TIndex from_corner,
              TConflict& conflict) {
        const TPoly& p = s_.Polys[sp];
        const TPoly& q = t_.Polys[tp];
        if (p.Size != q.Size) return Fail(conflict, TReorderFailure::Size, sp, kNone, p.Size, q.Size);
        if (p.Kind != q.Kind) return Fail(conflict, TReorderFailure::Kind, sp, kNone, p.Kind, q.Kind);
        if (target_used_[tp] != kNone) return Fail(conflict, TReorderFailure::Neighbours, from, from_corner);
        const auto [first, backwards] = Mapping(p.Size, a, b, reversed);
        poly_map_[sp] = tp;
        first_[sp] = first;
        reversed_[sp] = backwards ? 1 : 0;
        target_used_[tp] = sp;
        poly_log_.push_back(sp);
        return true;
    }

    TIndex TargetCorner(TIndex sp, TIndex k, TIndex n) const {
        return reversed_[sp] ? Wrap(first_[sp] + n - k, n) : Wrap(first_[sp] + k, n);
    }

    // Pairs the corners of a paired polygon and the polygons across its edges.
    bool Visit(TIndex sp, Extended& movement, TConflict& conflict) {
        const TPoly& p = s_.Polys[sp];
        const TPoly& q = t_.Polys[poly_map_[sp]];
        const TIndex n = p.Size;
        for (TIndex k = 0; k < n; ++k) {
            const TIndex s = p.First + k, t = q.First + TargetCorner(sp, k, n);
            const TIndex sv = s_.Vertex[s], tv = t_.Vertex[t];
            if (vertex_map_[sv] == kNone && vertex_back_[tv] == kNone) {
                vertex_map_[sv] = tv;
                vertex_back_[tv] = sv;
                vertex_log_.push_back(sv);
                if (journal_ != nullptr) journal_->emplace_back(sv, tv);
            } else if (vertex_map_[sv] != tv || vertex_back_[tv] != sv) {
                return Fail(conflict, TReorderFailure::Corner, sp, k);
            }
            movement += SquaredDistance(s_.At(s), t_.At(t));
        }
        for (TIndex k = 0; k < n; ++k) {
            const TIndex s = p.First + k;
            const TIndex tk = TargetCorner(sp, k, n), tk1 = TargetCorner(sp, NextCorner(k, n), n);
            // The target's half-edge along the same edge runs the other way
            // when the winding is reversed.
            const TIndex th = q.First + (reversed_[sp] ? tk1 : tk);
            const TIndex ms = s_.Mate[s], mt = t_.Mate[th];
            if (!IsMate(ms) || !IsMate(mt)) {
                if (ms != mt) return Fail(conflict, TReorderFailure::Neighbours, sp, k);
                continue;
            }
            const TIndex sq = s_.SlotPoly[ms], tq = t_.SlotPoly[mt];
            const TPoly& np = s_.Polys[sq];
            const TPoly& nq = t_.Polys[tq];
            // The corners of the neighbours at this corner's position, and
            // whether the edge runs forward from there.
            const bool s_forward = s_.Vertex[ms] == s_.Vertex[s];
            const TIndex au = s_forward ? ms - np.First : NextCorner(ms - np.First, np.Size);
            const bool t_forward = t_.Vertex[mt] == t_.Vertex[q.First + tk];
            const TIndex bu = t_forward ? mt - nq.First : NextCorner(mt - nq.First, nq.Size);
            const bool backwards = s_forward != t_forward;
            if (poly_map_[sq] == kNone) {
                if (!Pair(sq, au, tq, bu, backwards, sp, k, conflict)) return false;
                continue;
            }
            if (np.Size != nq.Size) return Fail(conflict, TReorderFailure::Neighbours, sp, k);
            const auto [first, reversed] = Mapping(np.Size, au, bu, backwards);
            if (poly_map_[sq] != tq || first_[sq] != first || (reversed_[sq] != 0) != reversed)
                return Fail(conflict, TReorderFailure::Neighbours, sp, k);
        }
        return true;
    }

    const TMesh& s_;
    const TMesh& t_;
    TWork<TIndex> poly_map_;
    TWork<TIndex> first_;
    TWork<std::uint8_t> reversed_;
    TWork<TIndex> target_used_;
    TWork<TIndex> vertex_map_;
    TWork<TIndex> vertex_back_;
    std::vector<std::uint8_t> island_used_;
    std::vector<TIndex> poly_log_;
    std::vector<TIndex> vertex_log_;
    std::vector<TIndex> island_log_;
    std::vector<std::pair<TIndex, TIndex>>* journal_ = nullptr;
};

// The colour of an island's half-edges that the fewest of them have, and
// its first half-edge in walk order. The table grows with the colours met:
// a regular mesh has few, and its table stays in the cache.
TIndex RarestHalfEdge(const TMesh& mesh, const TIsland& island) {
    struct TCount {
        std::uint32_t Colour = 0;
        TIndex First = kNone;
        TIndex Count = 0;
    };
    std::vector<TCount> counts;  // in the order met
    std::vector<TIndex> table(1024, kNone);  // into counts
    std::size_t mask = table.size() - 1;
    const auto place = [&](TIndex entry) {
        for (std::size_t i = MixBits(counts[entry].Colour) & mask;; i = (i + 1) & mask) {
            if (table[i] == kNone) {
                table[i] = entry;
                return;
            }
        }
    };
    for (TIndex at = island.First; at < island.First + island.Polys; ++at) {
        const TPoly& poly = mesh.Polys[mesh.IslandPolys[at]];
        for (TIndex h = poly.First; h < poly.First + poly.Size; ++h) {
            const std::uint32_t colour = mesh.Colour[h];
            for (std::size_t i = MixBits(colour) & mask;; i = (i + 1) & mask) {
                const TIndex entry = table[i];
                if (entry == kNone) {
                    counts.push_back({colour, h, 1});
                    table[i] = static_cast<TIndex>(counts.size() - 1);
                    if (2 * counts.size() > table.size()) {
                        table.assign(2 * table.size(), kNone);
                        mask = table.size() - 1;
                        for (TIndex e = 0; e < counts.size(); ++e) place(e);
                    }
                    break;
                }
                if (counts[entry].Colour == colour) {
                    ++counts[entry].Count;
                    break;
                }
            }
        }
    }
    // Ties go to the colour met first.
    TIndex best = kNone, count = kNone;
    for (const TCount& c : counts) {
        if (c.Count < count) {
            best = c.First;
            count = c.Count;
        }
    }
    return best;
}

// The mean position of an island's corners.
std::array<Extended, 3> Centre(const TMesh& mesh, const TIsland& island) {
    std::array<Extended, 3> centre{};
    for (TIndex at = island.First; at < island.First + island.Polys; ++at) {
        const TPoly& poly = mesh.Polys[mesh.IslandPolys[at]];
        for (TIndex h = poly.First; h < poly.First + poly.Size; ++h) {
            const auto at = mesh.At(h);
            for (std::size_t c = 0; c < 3; ++c) centre[c] += at[c];
        }
    }
    for (Extended& c : centre) c /= std::max<TIndex>(island.Corners, 1);
    return centre;
}

// The mean position of an object's corners, which follow one another.
std::array<Extended, 3> Centre(const TMesh& mesh, const TMeshObject& object) {
    std::array<Extended, 3> centre{};
    if (object.Corners == 0) return centre;
    const TIndex first = mesh.Polys[object.FirstPoly].First;
    for (TIndex h = first; h < first + object.Corners; ++h) {
        const auto at = mesh.At(h);
        for (std::size_t c = 0; c < 3; ++c) centre[c] += at[c];
    }
    for (Extended& c : centre) c /= object.Corners;
    return centre;
}

// Keeps the COUNT of CANDIDATES whose centres (CENTRES, by candidate) lie
// nearest to CENTRE, the nearest first (of equals, the lower index).
void KeepNearest(std::vector<TIndex>& candidates, const std::array<Extended, 3>& centre,
                 const std::vector<std::array<Extended, 3>>& centres, std::size_t count) {
    const auto distance = [&](TIndex k) {
        Extended sum = 0;
        for (std::size_t c = 0; c < 3; ++c) {
            const Extended d = centres[k][c] - centre[c];
            sum += d * d;
        }
        return sum;
    };
    std::vector<std::pair<Extended, TIndex>> nearest;
    nearest.reserve(candidates.size());
    for (const TIndex k : candidates) nearest.emplace_back(distance(k), k);
    std::nth_element(nearest.begin(), nearest.begin() + static_cast<std::ptrdiff_t>(count) - 1, nearest.end());
    nearest.resize(count);
    std::sort(nearest.begin(), nearest.end());
    candidates.clear();
    for (const auto& [d, k] : nearest) candidates.push_back(k);
}

// A place in the start for a report.
TShapePlace StartPlace(const TMesh& start, TIndex poly, TIndex corner, const TVANE_Object* target_object) {
    const TPoly& p = start.Polys[poly];
    TShapePlace place;
    place.Object = static_cast<std::int64_t>(p.Object) + 1;
    place.Polygon = p.Number;
    place.Vertex = corner == kNone ? 0 : static_cast<std::int64_t>(corner) + 1;
    place.StartObject = start.Objects[p.Object].Record;
    place.TargetObject = target_object;
    return place;
}

// One seed of a walk: a target half-edge and a direction, and how far the
// seed's first polygon moves with it.
struct TSeed {
    TIndex Island = 0;
    TIndex HalfEdge = 0;
    bool Reversed = false;
    Extended Cost = 0;
};

class TReorder {
public:
    TReorder(TMesh& start, TMesh& target, std::size_t examples, TReorderResult& result)
        : s_(start), t_(target), matcher_(start, target), examples_(examples), result_(result),
          object_used_(target.Objects.size(), 0) {
        for (TIndex j = 0; j < target.Objects.size(); ++j) by_signature_[target.Objects[j].Signature].push_back(j);
    }

    void Run() {
        if (!NonManifoldFree()) return;
        WalkAhead();
        for (TIndex o = 0; o < s_.Objects.size();) {
            if (ahead_of_[o] != kNone) {
                if (!TakeAhead(ahead_[ahead_of_[o]])) return;
                ++o;
                continue;
            }
            const std::vector<TPlanned> plan = PlanRun(o);
            if (WorthTwoLanes(plan)) {
                if (!PairOnTwoLanes(plan)) return;
                o += static_cast<TIndex>(plan.size());
                continue;
            }
            if (!PairObject(o)) return;
            ++o;
        }
        Collect();
    }

private:
    // What pairs objects one after another: a matcher, where its choices
    // are noted, and the best walk of the island being paired. Objects of
    // different target objects may be paired on lanes of their own at once.
    // What the walks of a lane did, to tell later whether they hold where
    // other objects paired positions meanwhile: the pairings of positions
    // made by walks that completed and by the others, and whether a part
    // stopped before trying every seed.
    struct TWalkJournal {
        std::vector<std::pair<TIndex, TIndex>> Complete;
        std::vector<std::pair<TIndex, TIndex>> Other;
        std::vector<std::pair<TIndex, TIndex>> Walk;  // the walk under way
        bool Stopped = false;
    };

    struct TLane {
        TMatcher& Matcher;
        std::vector<TAmbiguity>& Ambiguities;
        TMatcher::TSaved Saved;
        TWalkJournal* Journal;  // nullptr: none kept
    };

    bool NonManifoldFree() {
        for (TIndex h = 0; h < s_.Corners(); ++h) {
            if (s_.Mate[h] != kNonManifold) continue;
            const TIndex poly = s_.SlotPoly[h];
            Failure(TReorderFailure::NonManifold, StartPlace(s_, poly, h - s_.Polys[poly].First, nullptr));
            return false;
        }
        return true;
    }

    void Failure(TReorderFailure why, const TShapePlace& place, std::int64_t start_value = 0,
                 std::int64_t target_value = 0) {
        result_.Failure = why;
        result_.Place = place;
        result_.StartCount = start_value;
        result_.TargetCount = target_value;
    }

    void Failure(const TConflict& conflict, TIndex target_object) {
        Failure(conflict.Why,
                StartPlace(s_, conflict.StartPoly, conflict.Corner, t_.Objects[target_object].Record),
                conflict.StartValue, conflict.TargetValue);
    }

    // Choices are noted as they are made and dropped with the pairings of
    // a trial that is undone.
    static void NoteAmbiguity(TLane& lane, const TShapePlace& place, std::size_t candidates,
                              std::size_t matches, Extended margin) {
        lane.Ambiguities.push_back({place, static_cast<std::int64_t>(candidates),
                                static_cast<std::int64_t>(matches), margin});
    }

    // Keeps the deeper of two conflicts (the first of equals): the one that
    // got furthest names the place best.
    static void KeepDeeper(TConflict& kept, const TConflict& found) {
        if (kept.Why == TReorderFailure::None || found.Depth > kept.Depth) kept = found;
    }

    // The target objects start object O may pair: those of its structure
    // not paired yet (nor in Planned), and of several the ones of its name
    // where some have it; By says how the choice was narrowed.
    std::vector<TIndex> Candidates(TIndex o, const std::vector<TIndex>& planned, TPairedBy& by) const {
        const TMeshObject& object = s_.Objects[o];
        std::vector<TIndex> candidates;
        if (const auto bucket = by_signature_.find(object.Signature); bucket != by_signature_.end())
            for (const TIndex j : bucket->second)
                if (!object_used_[j] && std::find(planned.begin(), planned.end(), j) == planned.end())
                    candidates.push_back(j);
        by = TPairedBy::Structure;
        if (candidates.size() > 1) {
            std::vector<TIndex> named;
            for (const TIndex j : candidates)
                if (t_.Objects[j].Record->Name == object.Record->Name) named.push_back(j);
            if (!named.empty()) candidates = std::move(named);
            by = candidates.size() == 1 ? TPairedBy::Name : TPairedBy::Movement;
        }
        return candidates;
    }

    // A start object whose target object is clear before any walk.
    struct TPlanned {
        TIndex Start = 0;
        TIndex Target = 0;
        TPairedBy By = TPairedBy::Structure;
    };

    // The start objects from O on that have one candidate each, as pairing
    // them one after another would find them (each taking its target out of
    // the choice of those after it): these may be walked at once. Stops
    // before the first with none or several.
    std::vector<TPlanned> PlanRun(TIndex o) const {
        std::vector<TPlanned> plan;
        std::vector<TIndex> planned;
        for (; o < s_.Objects.size() && ahead_of_[o] == kNone; ++o) {
            TPairedBy by = TPairedBy::Structure;
            const std::vector<TIndex> candidates = Candidates(o, planned, by);
            if (candidates.size() != 1) break;
            plan.push_back({o, candidates[0], by});
            planned.push_back(candidates[0]);
        }
        return plan;
    }

    // Two lanes pay for their thread and matcher from as many polygons as
    // the other work shared out between the cores.
    bool WorthTwoLanes(const std::vector<TPlanned>& plan) const {
        if (plan.size() < 2 || CoreCount() < 2) return false;
        std::size_t polygons = 0;
        for (const TPlanned& planned : plan) polygons += s_.Objects[planned.Start].Polys;
        return polygons >= SufParallelPolygons;
    }

    // What a lane of its own found for one start object and its target
    // object, walked from nothing paired: the objects before it in start
    // order may be paired meanwhile, and are only known in turn.
    struct TWalkedAlone {
        bool Walked = false;  // false: to be paired in turn after all
        bool Paired = false;
        Extended Movement = 0;
        TConflict Conflict;
        std::vector<TAmbiguity> Ambiguities;
        TMatcher::TSaved Pairings;
        TWalkJournal Journal;
    };

    // Walks start object O with target object J on MATCHER, from nothing
    // paired and back to it. Never throws: a walk that cannot be made is
    // left to be made in turn.
    void WalkAlone(TMatcher& matcher, TIndex o, TIndex j, TWalkedAlone& walked) noexcept {
        try {
            TLane lane{matcher, walked.Ambiguities, {}, &walked.Journal};
            const TMatcher::TMark mark = matcher.Mark();
            matcher.KeepJournal(&walked.Journal.Walk);
            walked.Paired = MatchObject(lane, o, j, walked.Movement, walked.Conflict);
            matcher.KeepJournal(nullptr);
            if (walked.Paired) matcher.Save(mark, walked.Pairings);
            matcher.Undo(mark);
            walked.Walked = true;
        } catch (...) {
            matcher.KeepJournal(nullptr);
            walked.Walked = false;
        }
    }

    // Takes in turn what start object O's walk alone with target object J
    // found. Its walks met nothing of other objects but the positions they
    // paired (edges join polygons of one object only), so each walk that
    // completed holds where it pairs no position otherwise than the objects
    // before did. A walk that did not complete would stop no later in turn,
    // which changes nothing where every seed was tried and some walk
    // completed; else those must agree too. Where they do not, O is paired
    // with J in turn now.
    bool TakeWalked(const TWalkedAlone& walked, TIndex o, TIndex j, TPairedBy by) {
        const auto agree = [&](const std::vector<std::pair<TIndex, TIndex>>& made) {
            return std::all_of(made.begin(), made.end(), [&](const auto& pairing) {
                const TIndex w = matcher_.PositionOf(pairing.first);
                const TIndex v = matcher_.PositionBackOf(pairing.second);
                return (w == kNone && v == kNone) || (w == pairing.second && v == pairing.first);
            });
        };
        const TWalkJournal& journal = walked.Journal;
        const bool holds = walked.Walked && agree(journal.Complete) &&
                           ((walked.Paired && !journal.Stopped) || agree(journal.Other));
        if (!holds) {
            Extended movement = 0;
            TConflict conflict;
            if (!MatchObject(lane_, o, j, movement, conflict)) {
                Failure(conflict, j);
                return false;
            }
            Paired(o, j, by, movement);
            return true;
        }
        if (!walked.Paired) {
            Failure(walked.Conflict, j);
            return false;
        }
        matcher_.Restore(walked.Pairings);
        ambiguities_.insert(ambiguities_.end(), walked.Ambiguities.begin(), walked.Ambiguities.end());
        Paired(o, j, by, walked.Movement);
        return true;
    }

    // Pairs the planned objects on two lanes at once: the first ones (half
    // the corners) on this thread with the shape's matcher, each of the
    // others alone on a thread with a matcher of its own. The outcomes are
    // taken in start order, as pairing one after another gives them: the
    // first failure stops it, choices are noted and movements summed in that
    // order, and the others' walks are taken where they hold (TakeWalked).
    bool PairOnTwoLanes(const std::vector<TPlanned>& plan) {
        struct TOutcome {
            bool Paired = false;
            Extended Movement = 0;
            TConflict Conflict;
            std::vector<TAmbiguity> Ambiguities;
        };
        std::size_t corners = 0, first_half = 0, split = 0;
        for (const TPlanned& planned : plan) corners += s_.Objects[planned.Start].Corners;
        while (split + 1 < plan.size() && 2 * first_half < corners)
            first_half += s_.Objects[plan[split++].Start].Corners;
        split = std::max<std::size_t>(split, 1);
        std::vector<TOutcome> outcomes(split);
        std::vector<TWalkedAlone> alone(plan.size() - split);
        {
            std::jthread other([&] {
                try {
                    TMatcher matcher(s_, t_);
                    for (std::size_t k = split; k < plan.size(); ++k)
                        WalkAlone(matcher, plan[k].Start, plan[k].Target, alone[k - split]);
                } catch (...) {
                    // No matcher: each is paired in turn.
                }
            });
            for (std::size_t k = 0; k < split; ++k) {
                TOutcome& outcome = outcomes[k];
                TLane lane{matcher_, outcome.Ambiguities, {}, nullptr};
                outcome.Paired = MatchObject(lane, plan[k].Start, plan[k].Target, outcome.Movement, outcome.Conflict);
                // What comes after a failure in start order does not count.
                if (!outcome.Paired) break;
            }
        }
        for (std::size_t k = 0; k < split; ++k) {
            TOutcome& outcome = outcomes[k];
            if (!outcome.Paired) {
                Failure(outcome.Conflict, plan[k].Target);
                return false;
            }
            ambiguities_.insert(ambiguities_.end(), outcome.Ambiguities.begin(), outcome.Ambiguities.end());
            Paired(plan[k].Start, plan[k].Target, plan[k].By, outcome.Movement);
        }
        for (std::size_t k = split; k < plan.size(); ++k)
            if (!TakeWalked(alone[k - split], plan[k].Start, plan[k].Target, plan[k].By)) return false;
        return true;
    }

    // A large start object whose target object is certain (the only one of
    // its structure in either shape), walked alone on a lane of its own
    // while the objects before it are paired.
    struct TAhead {
        TIndex Start = 0;
        TIndex Target = 0;
        bool Done = false;  // under ahead_lock_
        TWalkedAlone Walked;
    };

    // Starts walking ahead the large objects of certain targets after the
    // first one.
    void WalkAhead() {
        ahead_of_.assign(s_.Objects.size(), kNone);
        if (CoreCount() < 2) return;
        std::unordered_map<std::uint64_t, TIndex> starts;  // start objects by structure
        for (const TMeshObject& object : s_.Objects) ++starts[object.Signature];
        bool first = true;
        for (TIndex o = 0; o < s_.Objects.size(); ++o) {
            const TMeshObject& object = s_.Objects[o];
            const auto bucket = by_signature_.find(object.Signature);
            if (object.Polys < SufParallelPolygons || starts[object.Signature] != 1 || bucket == by_signature_.end() ||
                bucket->second.size() != 1)
                continue;
            if (first) {
                first = false;  // paired in turn while the others are walked
                continue;
            }
            ahead_of_[o] = static_cast<TIndex>(ahead_.size());
            TAhead& ahead = ahead_.emplace_back();
            ahead.Start = o;
            ahead.Target = bucket->second[0];
        }
        if (ahead_.empty()) return;
        try {
            ahead_thread_ = std::jthread([this](const std::stop_token& stop) {
                std::optional<TMatcher> matcher;
                try {
                    matcher.emplace(s_, t_);
                } catch (...) {
                    // No matcher: each is paired in turn.
                }
                for (TAhead& ahead : ahead_) {
                    if (matcher && !stop.stop_requested()) WalkAlone(*matcher, ahead.Start, ahead.Target, ahead.Walked);
                    {
                        const std::lock_guard<std::mutex> lock(ahead_lock_);
                        ahead.Done = true;
                    }
                    ahead_done_.notify_all();
                }
            });
        } catch (const std::system_error&) {
            ahead_.clear();
            ahead_of_.assign(s_.Objects.size(), kNone);
        }
    }

    // Pairs an object walked ahead in its turn (TakeWalked), or as any
    // other where an object before it took its target object.
    bool TakeAhead(TAhead& ahead) {
        {
            std::unique_lock<std::mutex> lock(ahead_lock_);
            ahead_done_.wait(lock, [&] { return ahead.Done; });
        }
        if (object_used_[ahead.Target]) return PairObject(ahead.Start);
        return TakeWalked(ahead.Walked, ahead.Start, ahead.Target, TPairedBy::Structure);
    }

    bool PairObject(TIndex o) {
        const TMeshObject& object = s_.Objects[o];
        TPairedBy by = TPairedBy::Structure;
        std::vector<TIndex> candidates = Candidates(o, {}, by);
        if (candidates.empty()) return ExplainObject(o);
        TConflict conflict;
        Extended movement = 0;
        if (candidates.size() == 1) {
            if (!MatchObject(lane_, o, candidates[0], movement, conflict)) {
                Failure(conflict, candidates[0]);
                return false;
            }
            Paired(o, candidates[0], by, movement);
            return true;
        }
        // Several of one structure and name: the one that moves least.
        if (candidates.size() > kMaxObjectCandidates) {
            KeepThoseAtPairedPositions(object, candidates);
        }
        if (candidates.size() > kMaxObjectCandidates) {
            if (object_centres_.empty()) {
                object_centres_.reserve(t_.Objects.size());
                for (const TMeshObject& other : t_.Objects) object_centres_.push_back(Centre(t_, other));
            }
            KeepNearest(candidates, Centre(s_, object), object_centres_, kMaxObjectCandidates);
        }
        constexpr Extended kInfinity = std::numeric_limits<Extended>::infinity();
        Extended best = kInfinity, second = kInfinity;
        TIndex chosen = kNone, conflict_object = candidates[0];
        std::size_t matches = 0;
        const std::size_t noted = ambiguities_.size();
        for (const TIndex j : candidates) {
            const TMatcher::TMark mark = matcher_.Mark();
            TConflict found;
            if (MatchObject(lane_, o, j, movement, found)) {
                ++matches;
                if (movement < best) {
                    second = best;
                    best = movement;
                    chosen = j;
                } else if (movement < second) {
                    second = movement;
                }
            } else {
                if (conflict.Why == TReorderFailure::None || found.Depth > conflict.Depth) conflict_object = j;
                KeepDeeper(conflict, found);
            }
            matcher_.Undo(mark);
            ambiguities_.resize(noted);
        }
        if (chosen == kNone) {
            Failure(conflict, conflict_object);
            return false;
        }
        MatchObject(lane_, o, chosen, movement, conflict);
        if (matches > 1) {
            TShapePlace place;
            place.Object = static_cast<std::int64_t>(o) + 1;
            place.StartObject = object.Record;
            place.TargetObject = t_.Objects[chosen].Record;
            NoteAmbiguity(lane_, place, candidates.size(), matches, second - best);
        }
        Paired(o, chosen, by, movement);
        return true;
    }

    // Where corners of OBJECT share positions with objects paired before,
    // those positions are paired already, and only a target object with a
    // corner at each of their partners can pair it: keeps those candidates.
    void KeepThoseAtPairedPositions(const TMeshObject& object, std::vector<TIndex>& candidates) const {
        std::vector<TIndex> paired;
        const TIndex first = object.Corners == 0 ? 0 : s_.Polys[object.FirstPoly].First;
        for (TIndex h = first; h < first + object.Corners; ++h) {
            const TIndex partner = matcher_.PositionOf(s_.Vertex[h]);
            if (partner != kNone && std::find(paired.begin(), paired.end(), partner) == paired.end())
                paired.push_back(partner);
        }
        if (paired.empty()) return;
        std::erase_if(candidates, [&](TIndex j) {
            const TMeshObject& other = t_.Objects[j];
            const TIndex begin = other.Corners == 0 ? 0 : t_.Polys[other.FirstPoly].First;
            return !std::all_of(paired.begin(), paired.end(), [&](TIndex partner) {
                for (TIndex h = begin; h < begin + other.Corners; ++h)
                    if (t_.Vertex[h] == partner) return true;
                return false;
            });
        });
    }

    // No target object has the structure of start object O: names where it
    // differs from one of the same counts (of its name first), or says that
    // none has them.
    bool ExplainObject(TIndex o) {
        const TMeshObject& object = s_.Objects[o];
        TIndex alike = kNone;
        for (TIndex j = 0; j < t_.Objects.size(); ++j) {
            const TMeshObject& other = t_.Objects[j];
            if (object_used_[j] || other.Polys != object.Polys || other.Corners != object.Corners) continue;
            if (alike == kNone || (other.Record->Name == object.Record->Name &&
                                   t_.Objects[alike].Record->Name != object.Record->Name))
                alike = j;
        }
        if (alike != kNone) {
            // Colours are only a filter: where the walk pairs every polygon
            // all the same, the pairing holds.
            Extended movement = 0;
            TConflict conflict;
            if (!MatchObject(lane_, o, alike, movement, conflict, true)) {
                Failure(conflict, alike);
                return false;
            }
            Paired(o, alike, TPairedBy::Structure, movement);
            return true;
        }
        TShapePlace place;
        place.Object = static_cast<std::int64_t>(o) + 1;
        place.StartObject = object.Record;
        Failure(TReorderFailure::NoObject, place, object.Polys, object.Corners);
        return false;
    }

    void Paired(TIndex o, TIndex j, TPairedBy by, Extended movement) {
        object_used_[j] = 1;
        pairs_.push_back({o, j, by});
        result_.Movement += movement;
    }

    // Pairs every island of start object O with one of target object J.
    // Alike pairs islands of the same counts when their colours differ, to
    // find where they differ.
    bool MatchObject(TLane& lane, TIndex o, TIndex j, Extended& movement, TConflict& conflict,
                     bool alike = false) {
        movement = 0;
        const TMeshObject& object = s_.Objects[o];
        for (TIndex i = object.FirstIsland; i < object.FirstIsland + object.Islands; ++i) {
            Extended island_movement = 0;
            if (!MatchIsland(lane, i, j, alike, island_movement, conflict)) return false;
            movement += island_movement;
        }
        return true;
    }

    bool MatchIsland(TLane& lane, TIndex i, TIndex j, bool alike, Extended& movement, TConflict& conflict) {
        const TIsland& island = s_.Islands[i];
        const TMeshObject& target = t_.Objects[j];
        std::vector<TIndex> islands;
        for (TIndex k = target.FirstIsland; k < target.FirstIsland + target.Islands; ++k) {
            const TIsland& other = t_.Islands[k];
            if (lane.Matcher.IslandUsed(k)) continue;
            if (alike ? other.Polys == island.Polys && other.Corners == island.Corners
                      : other.Signature == island.Signature)
                islands.push_back(k);
        }
        const TIndex first_poly = s_.IslandPolys[island.First];
        if (islands.empty()) {
            conflict = {TReorderFailure::NoIsland, first_poly, kNone, 0, 0, 0};
            return false;
        }
        if (island.Isolated && islands.size() > 1) {
            conflict = {TReorderFailure::Soup, first_poly, kNone, 0, 0, 0};
            return false;
        }
        if (islands.size() > kMaxIslandCandidates) {
            std::call_once(centres_made_, [&] {
                target_centres_.reserve(t_.Islands.size());
                for (const TIsland& other : t_.Islands) target_centres_.push_back(Centre(t_, other));
            });
            KeepNearest(islands, Centre(s_, island), target_centres_, kMaxIslandCandidates);
        }
        const TIndex seed_half_edge = island.Corners == 0 ? kNone : RarestHalfEdge(s_, island);
        const std::vector<TSeed> seeds = Seeds(seed_half_edge, islands, alike);
        if (seeds.empty()) {
            conflict = {TReorderFailure::NoIsland, first_poly, kNone, 0, 0, 0};
            return false;
        }
        const TIndex sp = seed_half_edge == kNone ? first_poly : s_.SlotPoly[seed_half_edge];
        const TIndex a = seed_half_edge == kNone ? 0 : seed_half_edge - s_.Polys[sp].First;

        constexpr Extended kInfinity = std::numeric_limits<Extended>::infinity();
        Extended best = kInfinity, second = kInfinity;
        std::size_t chosen = seeds.size(), matches = 0;
        TConflict deepest;
        const auto walk = [&](const TSeed& seed, Extended bound, Extended& moved, TConflict& found) {
            const TIndex tp = seed.HalfEdge == kNone ? t_.IslandPolys[t_.Islands[seed.Island].First]
                                                     : t_.SlotPoly[seed.HalfEdge];
            const TIndex b0 = seed.HalfEdge == kNone ? 0 : seed.HalfEdge - t_.Polys[tp].First;
            // Backwards, the start's half-edge from corner A pairs the target's
            // from the next corner.
            const TIndex b = seed.Reversed ? NextCorner(b0, t_.Polys[tp].Size) : b0;
            return lane.Matcher.Walk(sp, a, tp, b, seed.Reversed, bound, moved, found);
        };
        const std::size_t budget = kWalkBudget * island.Polys + kSmallWalkBudget;
        std::size_t visited = 0, compared = 0;
        for (std::size_t c = 0; c < seeds.size(); ++c) {
            if (chosen != seeds.size() && visited > budget) {
                if (lane.Journal != nullptr) lane.Journal->Stopped = true;
                break;
            }
            ++compared;
            const TMatcher::TMark mark = lane.Matcher.Mark();
            Extended moved = 0;
            TConflict found;
            if (lane.Journal != nullptr) lane.Journal->Walk.clear();
            const TWalkEnd end = walk(seeds[c], second, moved, found);
            if (TWalkJournal* journal = lane.Journal; journal != nullptr) {
                auto& kept = end == TWalkEnd::Complete ? journal->Complete : journal->Other;
                kept.insert(kept.end(), journal->Walk.begin(), journal->Walk.end());
            }
            if (end == TWalkEnd::Complete) {
                ++matches;
                if (moved < best) {
                    second = best;
                    best = moved;
                    chosen = c;
                    lane.Matcher.Save(mark, lane.Saved);
                } else if (moved < second) {
                    second = moved;
                }
            } else if (end == TWalkEnd::Conflict) {
                KeepDeeper(deepest, found);
            }
            visited += lane.Matcher.Mark().Polys - mark.Polys;
            lane.Matcher.Undo(mark);
        }
        if (chosen == seeds.size()) {
            conflict = deepest;
            return false;
        }
        lane.Matcher.Restore(lane.Saved);
        movement = best;
        lane.Matcher.UseIsland(seeds[chosen].Island);
        if (matches > 1)
            NoteAmbiguity(lane, StartPlace(s_, first_poly, kNone, target.Record), compared, matches, second - best);
        return true;
    }

    // The target half-edges of the candidate islands where a walk from start
    // half-edge HS may start: those of its colour (of its polygon's size
    // when Alike), each forwards and backwards, the ones that move the seed
    // polygon least first. HS is kNone for an island without corners.
    std::vector<TSeed> Seeds(TIndex hs, const std::vector<TIndex>& islands, bool alike) {
        std::vector<TSeed> seeds;
        if (hs == kNone) {
            for (const TIndex k : islands) seeds.push_back({k, kNone, false, 0});
            return seeds;
        }
        const TIndex sp = s_.SlotPoly[hs];
        const TPoly& p = s_.Polys[sp];
        const TIndex a = hs - p.First;
        for (const TIndex k : islands) {
            const TIsland& other = t_.Islands[k];
            for (TIndex at = other.First; at < other.First + other.Polys; ++at) {
                const TPoly& q = t_.Polys[t_.IslandPolys[at]];
                if (q.Size != p.Size) continue;
                for (TIndex h = q.First; h < q.First + q.Size; ++h) {
                    if (!alike && t_.Colour[h] != s_.Colour[hs]) continue;
                    for (const bool reversed : {false, true}) {
                        const TIndex b0 = h - q.First;
                        const TIndex b = reversed ? NextCorner(b0, q.Size) : b0;
                        const auto [first, backwards] = Mapping(p.Size, a, b, reversed);
                        if (backwards != reversed) continue;  // the same as forwards
                        Extended cost = 0;
                        for (TIndex c = 0; c < p.Size; ++c) {
                            const TIndex tc = backwards ? Wrap(first + p.Size - c, p.Size) : Wrap(first + c, p.Size);
                            cost += SquaredDistance(s_.At(p.First + c), t_.At(q.First + tc));
                        }
                        seeds.push_back({k, h, reversed, cost});
                    }
                }
            }
        }
        std::stable_sort(seeds.begin(), seeds.end(),
                         [](const TSeed& x, const TSeed& y) { return x.Cost < y.Cost; });
        if (seeds.size() > kMaxSeeds) seeds.resize(kMaxSeeds);
        return seeds;
    }

    void Collect() {
        result_.Islands = static_cast<std::int64_t>(s_.Islands.size());
        result_.AmbiguousChoices = static_cast<std::int64_t>(ambiguities_.size());
        // In start order, whichever choice was made first.
        std::stable_sort(ambiguities_.begin(), ambiguities_.end(), [](const TAmbiguity& x, const TAmbiguity& y) {
            return std::pair(x.Place.Object, x.Place.Polygon) < std::pair(y.Place.Object, y.Place.Polygon);
        });
        if (ambiguities_.size() > examples_) ambiguities_.resize(examples_);
        result_.Ambiguities = std::move(ambiguities_);
        std::sort(pairs_.begin(), pairs_.end(), [](const TObjectPair& x, const TObjectPair& y) { return x.Start < y.Start; });
        result_.TargetPolygons.reserve(s_.Polys.size());
        for (const TObjectPair& pair : pairs_) {
            const TMeshObject& object = s_.Objects[pair.Start];
            const TMeshObject& target = t_.Objects[pair.Target];
            TObjectPairing pairing;
            pairing.Start = static_cast<std::int64_t>(pair.Start) + 1;
            pairing.Target = static_cast<std::int64_t>(pair.Target) + 1;
            pairing.StartObject = object.Record;
            pairing.TargetObject = target.Record;
            pairing.By = pair.By;
            pairing.Islands = object.Islands;
            pairing.Polygons = object.Polys;
            std::int64_t windable = 0;
            for (TIndex sp = object.FirstPoly; sp < object.FirstPoly + object.Polys; ++sp) {
                const TPoly& p = s_.Polys[sp];
                const TPoly& q = t_.Polys[matcher_.PairOf(sp)];
                const bool reversed = matcher_.ReversedOf(sp);
                result_.TargetPolygons.push_back({q.Record, target.FirstPoly + q.Number - 1, matcher_.FirstOf(sp), reversed});
                if (q.Number != p.Number || pair.Target != pair.Start) ++pairing.Moved;
                if (reversed) ++pairing.Reversed;
                else if (matcher_.FirstOf(sp) != 0) ++pairing.Rotated;
                if (p.Size >= 3) ++windable;
            }
            pairing.Mirrored = windable > 0 && pairing.Reversed == windable;
            result_.TargetObjects.push_back({target.Record, object.Polys});
            result_.Moved += pairing.Moved;
            result_.Rotated += pairing.Rotated;
            result_.Reversed += pairing.Reversed;
            result_.Objects.push_back(pairing);
        }
    }

    struct TObjectPair {
        TIndex Start = 0;
        TIndex Target = 0;
        TPairedBy By = TPairedBy::Structure;
    };

    TMesh& s_;
    TMesh& t_;
    TMatcher matcher_;
    std::size_t examples_;
    TReorderResult& result_;
    std::vector<std::uint8_t> object_used_;
    std::unordered_map<std::uint64_t, std::vector<TIndex>> by_signature_;  // target objects
    std::vector<TObjectPair> pairs_;
    std::vector<TAmbiguity> ambiguities_;
    TLane lane_{matcher_, ambiguities_, {}, nullptr};  // the lane of objects paired one after another
    std::once_flag centres_made_;
    std::vector<std::array<Extended, 3>> target_centres_;  // of the islands, once needed
    std::vector<std::array<Extended, 3>> object_centres_;  // of the target's objects, once needed
    std::vector<TAhead> ahead_;    // in start order
    std::vector<TIndex> ahead_of_;  // per start object: into ahead_, or kNone
    std::mutex ahead_lock_;
    std::condition_variable ahead_done_;
    std::jthread ahead_thread_;  // last: stopped and joined first
};

}  // namespace

std::size_t ReorderLayoutPolygons = 256;

TReorderResult FindOrder(const TVANE_Object* Start, const TVANE_Object* Target, std::size_t Examples,
                         const TPhaseDone& PhaseDone) {
    const auto done = [&](const char* phase) {
        if (PhaseDone) PhaseDone(phase);
    };
    TReorderResult result;
    TMesh start, target;
    start.Source = Start;
    target.Source = Target;
    OnBoth(start, target, [&](TMesh& mesh) { mesh.Counts = Flatten(mesh.Source, mesh, &mesh == &target); }, true);
    result.Start = start.Counts;
    result.Target = target.Counts;
    if (result.Start.Objects != result.Target.Objects) {
        result.Failure = TReorderFailure::ObjectCount;
        result.StartCount = result.Start.Objects;
        result.TargetCount = result.Target.Objects;
    } else if (result.Start.Polygons != result.Target.Polygons) {
        result.Failure = TReorderFailure::PolygonCount;
        result.StartCount = result.Start.Polygons;
        result.TargetCount = result.Target.Polygons;
    } else if (result.Start.Vertices != result.Target.Vertices) {
        result.Failure = TReorderFailure::VertexCount;
        result.StartCount = result.Start.Vertices;
        result.TargetCount = result.Target.Vertices;
    }
    done("flatten");
    if (!result.Found()) return result;
    // Each shape's structure is found on a core of its own. The target is
    // laid out first and read in its own order from here on; the start is
    // read in the order it is listed, which is kept for the result.
    OnBoth(start, target, [&](TMesh& mesh) {
        if (&mesh == &target) LayOutInSpace(mesh);
        GroupCorners(mesh);
        FindMates(mesh);
        Colour(mesh);
        FindIslands(mesh);
    });
    done("structure");
    TReorder(start, target, Examples, result).Run();
    done("match");
    return result;
}

void ApplyOrder(TVANE_Object*& Target, const TReorderResult& Order) {
    assert(Order.Found());
    // The order points into Target's records, which the caller holds
    // mutable; FindOrder only read them.
    std::size_t next_polygon = 0;
    TVANE_Object* previous_object = nullptr;
    std::vector<TVANE_Vertex*> corners;
    for (const TObjectPairing& pairing : Order.Objects) {
        auto* object = const_cast<TVANE_Object*>(pairing.TargetObject);
        object->Prev = previous_object;
        (previous_object ? previous_object->Next : Target) = object;
        previous_object = object;
        TVANE_Polygon* previous_polygon = nullptr;
        object->Polygons = nullptr;
        for (std::int64_t k = 0; k < pairing.Polygons; ++k) {
            // The target's records lie in its old order: those a few places
            // on are asked for early (hints only).
            constexpr std::size_t kRecordsAhead = 8, kVerticesAhead = 4;
            if (next_polygon + kRecordsAhead < Order.TargetPolygons.size())
                __builtin_prefetch(Order.TargetPolygons[next_polygon + kRecordsAhead].Polygon);
            if (next_polygon + kVerticesAhead < Order.TargetPolygons.size())
                __builtin_prefetch(Order.TargetPolygons[next_polygon + kVerticesAhead].Polygon->Vertices);
            const TPlacedPolygon& placed = Order.TargetPolygons[next_polygon++];
            auto* polygon = const_cast<TVANE_Polygon*>(placed.Polygon);
            polygon->Prev = previous_polygon;
            (previous_polygon ? previous_polygon->Next : object->Polygons) = polygon;
            previous_polygon = polygon;
            corners.clear();
            for (TVANE_Vertex* v = polygon->Vertices; v; v = v->Next) corners.push_back(v);
            const std::size_t n = corners.size();
            TVANE_Vertex* previous_vertex = nullptr;
            polygon->Vertices = nullptr;
            for (std::size_t c = 0; c < n; ++c) {
                TVANE_Vertex* v = corners[placed.Reversed ? (placed.First + n - c) % n : (placed.First + c) % n];
                v->Prev = previous_vertex;
                (previous_vertex ? previous_vertex->Next : polygon->Vertices) = v;
                previous_vertex = v;
            }
            if (previous_vertex) previous_vertex->Next = nullptr;
        }
        if (previous_polygon) previous_polygon->Next = nullptr;
    }
    if (previous_object) previous_object->Next = nullptr;
}
