#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "shape/records.h"

// Whether two shapes correspond, so that blending pairs what belongs
// together: the same objects, polygons and vertices in the same order, the
// same kinds, and the same corners shared.

// A place in a pair of shapes: 1-based numbers along the lists. Polygon is 0
// for a whole object, Vertex 0 for a whole polygon. The objects at that place
// give their names to reports; one is nullptr where a shape has no object
// there. They point into the checked shapes.
struct TShapePlace {
    std::int64_t Object = 0;
    std::int64_t Polygon = 0;
    std::int64_t Vertex = 0;
    const TVANE_Object* StartObject = nullptr;
    const TVANE_Object* TargetObject = nullptr;
};

struct TShapeCounts {
    std::int64_t Objects = 0;
    std::int64_t Polygons = 0;
    std::int64_t Vertices = 0;
};

// The list that ends early at the first place where the shapes stop pairing.
enum class TMismatchLevel : std::uint8_t {
    Vertices,  // a polygon has more vertices in one shape; Place is the polygon
    Polygons,  // an object has more polygons in one shape; Place is the object
    Objects,   // one shape has more objects; Place is the first one without a partner
};

struct TStructureMismatch {
    TMismatchLevel Level = TMismatchLevel::Objects;
    TShapePlace Place;
    std::int64_t StartCount = 0;   // vertices of the polygon, polygons of the object, objects
    std::int64_t TargetCount = 0;  // the same in the target
};

// A pair of polygons whose kinds or vertex counts differ.
struct TPolygonMismatch {
    TShapePlace Place;
    std::uint8_t StartKind = 0;
    std::uint8_t TargetKind = 0;
    std::int64_t StartVertices = 0;
    std::int64_t TargetVertices = 0;
};

using TPosition = std::array<Extended, 3>;  // X, Y, Z

// A corner that one shape shares and the other does not: vertices that lie
// at one position in one shape and apart in the other.
struct TBrokenCorner {
    bool SharedInStart = true;  // the vertices coincide in the start (else in the target)
    TShapePlace First;          // the corner's first vertex in walk order
    TShapePlace Apart;          // a later vertex of that corner that the other shape moves away
    TPosition Shared;           // the corner's position where it is shared
    TPosition FirstElsewhere;   // the two vertices' positions in the other shape
    TPosition ApartElsewhere;
};

// A pair of polygons that moves much further than most.
struct TDisplacementOutlier {
    TShapePlace Place;      // the polygon
    Extended Distance = 0;  // mean distance between its start and target vertices
};

// A polygon moving more than this many times the median is an outlier.
constexpr Extended kOutlierFactor = 10;

struct TCorrespondence {
    TShapeCounts Start;
    TShapeCounts Target;

    // Structure: the first place where the lists stop pairing, and every
    // pair of polygons whose kind or vertex count differs.
    bool StructureMatches = true;
    TStructureMismatch FirstMismatch;  // meaningful when !StructureMatches
    std::int64_t VertexCountMismatches = 0;
    std::int64_t KindMismatches = 0;
    std::vector<TPolygonMismatch> PolygonMismatches;  // the first ones, in walk order

    // Connectivity, compared only when the structure matches: a corner is a
    // position that several vertices of one shape share (exactly, -0 = 0).
    bool ConnectivityChecked = false;
    std::int64_t CornersInStart = 0;
    std::int64_t CornersInTarget = 0;
    std::int64_t BrokenInStart = 0;   // start corners whose vertices the target puts apart
    std::int64_t BrokenInTarget = 0;  // target corners whose vertices the start has apart
    std::vector<TBrokenCorner> BrokenCorners;  // the first ones, the start's first

    // Displacement of each pair of polygons: a hint only, since a real morph
    // may move parts far. No outliers are sought when the median is 0.
    Extended MedianDisplacement = 0;
    std::int64_t Outliers = 0;
    std::vector<TDisplacementOutlier> LargestOutliers;  // largest first

    // Every object, polygon and vertex has a partner and paired polygons are
    // of one kind.
    bool Corresponds() const { return StructureMatches && KindMismatches == 0; }
    // Connectivity was compared and no corner broke.
    bool ConnectivityAgrees() const {
        return ConnectivityChecked && BrokenInStart == 0 && BrokenInTarget == 0;
    }
};

// For each vertex of Slots, the index in Slots of the first vertex at the
// same position (X, Y and Z equal; -0 = 0; a NaN coordinate equals nothing).
// Positions are hashed; should their hashes collide far more than chance
// allows (positions chosen for it), the slots are sorted instead, so that any
// input takes at most about n log n position comparisons. Comparisons, when
// given, is increased by their number. Throws like CheckCorrespondence.
std::vector<std::uint32_t> GroupPositions(std::span<const TVANE_Vertex* const> Slots,
                                          std::uint64_t* Comparisons = nullptr);

// A position copied out of its record, exactly.
struct TPackedPosition {
    TPackedExtended X, Y, Z;
};

// The same for positions held apart from their records, given in the order
// of the slots.
std::vector<std::uint32_t> GroupPositions(std::span<const TPackedPosition> Positions,
                                          std::uint64_t* Comparisons = nullptr);

// Compares Start and Target (either may be nullptr) and keeps at most
// Examples items in each list of examples. Time grows as n log n with the
// number of vertices, memory linearly (GroupPositions). Throws
// std::bad_alloc when memory runs out and std::length_error for more than
// 2^32 - 2 vertices.
TCorrespondence CheckCorrespondence(const TVANE_Object* Start, const TVANE_Object* Target,
                                    std::size_t Examples = 5);

// The finaliser of splitmix64: every input bit reaches every output bit, so
// keys with few bits set (grid coordinates, small counts) still spread over
// a hash table.
inline std::uint64_t MixBits(std::uint64_t h) {
    h ^= h >> 30;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 27;
    h *= 0x94D049BB133111EBull;
    h ^= h >> 31;
    return h;
}
