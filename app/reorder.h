#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/morph_check.h"
#include "shape/placed.h"
#include "shape/records.h"

// Finding the order of a target's objects, polygons and corners that
// corresponds to a start, so that blending pairs what belongs together. The
// order comes from structure alone: corners are shared by position (as
// CheckCorrespondence groups them) and polygons are neighbours where they
// share an edge. Where the structure allows several orders, the one that
// moves the vertices least wins.

// How a start object found its target object.
enum class TPairedBy : std::uint8_t {
    Structure,  // the only target object of its structure
    Name,       // several of its structure, one of its name
    Movement,   // several of its structure and name: the one that moves least
};

// One start object and the target object that takes its place.
struct TObjectPairing {
    std::int64_t Start = 0;   // 1-based in the start
    std::int64_t Target = 0;  // 1-based in the target as it was read
    const TVANE_Object* StartObject = nullptr;
    const TVANE_Object* TargetObject = nullptr;
    TPairedBy By = TPairedBy::Structure;
    std::int64_t Islands = 0;   // connected parts
    std::int64_t Polygons = 0;
    std::int64_t Moved = 0;     // target polygons that change place
    std::int64_t Rotated = 0;   // polygons whose corners start elsewhere
    std::int64_t Reversed = 0;  // polygons whose winding is the mirror of the start's
    bool Mirrored = false;      // every polygon of three corners or more reversed
};

// A choice between several orders the structure allows: of an object's
// islands (Place is the island's first start polygon) or of objects of one
// structure and name (Place is the start object).
struct TAmbiguity {
    TShapePlace Place;
    std::int64_t Candidates = 0;  // compared
    std::int64_t Matches = 0;     // of those, orders that the structure allows
    Extended Margin = 0;          // runner-up's movement minus the chosen one's
};

// Why no order was found.
enum class TReorderFailure : std::uint8_t {
    None,
    ObjectCount,    // Start/TargetCount: objects of the shapes
    PolygonCount,   // polygons of the shapes
    VertexCount,    // vertices of the shapes
    NoObject,       // Place: a start object with no target object of its counts
    NoIsland,       // Place: the first polygon of a part the target object lacks
    Soup,           // Place: a polygon that shares no corner, one of several alike
    NonManifold,    // Place: a vertex whose edge to the next one three or more polygons share
    Neighbours,     // Place: a vertex whose edge to the next one meets other polygons in the target
    Corner,         // Place: a vertex that the target shares with other corners
    Kind,           // Place: a polygon; Start/TargetCount are the kinds
    Size,           // Place: a polygon; Start/TargetCount its vertices
};

struct TReorderResult {
    TShapeCounts Start;
    TShapeCounts Target;

    TReorderFailure Failure = TReorderFailure::None;
    TShapePlace Place;  // in the start; TargetObject is the paired one or nullptr
    std::int64_t StartCount = 0;
    std::int64_t TargetCount = 0;

    std::vector<TObjectPairing> Objects;  // in start order
    std::int64_t Islands = 0;
    std::int64_t Moved = 0;
    std::int64_t Rotated = 0;
    std::int64_t Reversed = 0;
    Extended Movement = 0;  // sum of squared distances between paired positions

    std::int64_t AmbiguousChoices = 0;
    std::vector<TAmbiguity> Ambiguities;  // the first ones, in start order

    // The order: target objects in start order with their polygon counts,
    // and for each start polygon in walk order the target polygon at its
    // place, First being the target corner that pairs the start's first.
    // They point into the target.
    std::vector<TPlacedObject> TargetObjects;
    std::vector<TPlacedPolygon> TargetPolygons;

    bool Found() const { return Failure == TReorderFailure::None; }
    bool Unique() const { return AmbiguousChoices == 0; }
};

// Objects of the target with at least this many polygons are laid out by
// the places of their polygons in space before they are read further, so
// that a target in any order is read as one in order is; the result is the
// same either way. Tests lower it to 1 to compare.
extern std::size_t ReorderLayoutPolygons;

// Called with a phase's name as each phase ends ("group", "match"), for
// timings; may be empty.
using TPhaseDone = std::function<void(const char* Phase)>;

// Finds the order of Target that corresponds to Start (either may be
// nullptr) and keeps at most Examples ambiguities. Reads both shapes only.
// Time grows as n log n in the vertices in practice; where the structure
// allows many orders (regular grids, tori) a bounded number of them is
// compared. Throws std::bad_alloc when memory runs out and
// std::length_error for more than 2^32 - 4 vertices in one shape.
TReorderResult FindOrder(const TVANE_Object* Start, const TVANE_Object* Target,
                         std::size_t Examples = 5, const TPhaseDone& PhaseDone = {});

// Relinks the records of Target, the list FindOrder read, in the order
// Order found: objects, their polygons and each polygon's vertices. No
// record is made, freed or changed otherwise. Order must be Found().
void ApplyOrder(TVANE_Object*& Target, const TReorderResult& Order);
