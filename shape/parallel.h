#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "shape/probes.h"

// Cores this process may keep busy, at least 1: those of its affinity mask,
// no more than a cgroup CPU quota allows. Counted once.
unsigned CoreCount();

// Calls Work(i) for every i of 0 .. Count - 1, spread over up to CoreCount()
// threads, the calling one among them; each thread takes the next index not
// yet taken, so pieces of uneven size balance out. Returns when every call
// has returned. Work must not throw. When no thread can be started, the
// calling thread does all of it.
void ForEachOnCores(std::size_t Count, const std::function<void(std::size_t)>& Work);

// Walks over polygons are shared out between the cores by places: a place
// (TPolygonWalk of shape/paired.h) stands on one polygon, At(), nullptr past
// the last, and Next() steps it on; copies of a place walk on their own.

// Whether the walk from Place is worth sharing out between the cores: there
// are several and the walk reaches SufParallelPolygons places. Steps at most
// that far; allocates nothing.
template <typename TPlace>
bool WalkOnCores(TPlace Place) {
    if (CoreCount() < 2) return false;
    std::size_t count = 0;
    for (; count < SufParallelPolygons && Place.At() != nullptr; Place.Next()) ++count;
    return count >= SufParallelPolygons;
}

// A stretch of a walk: where it begins and how many places it takes.
template <typename TPlace>
struct TWalkPiece {
    TPlace First;
    std::size_t Places = 0;
};

// The walk from First cut into pieces for the cores, in its order: pieces
// of SufPiecePolygons places each (the last one takes the rest), or, where
// there would be more than Most, Most pieces of nearly equal runs of such
// pieces. A walk that is not WalkOnCores is one piece, an empty one none.
// Walks the list once (and counts up to SufParallelPolygons). Throws
// std::bad_alloc.
template <typename TPlace>
std::vector<TWalkPiece<TPlace>> CutIntoPieces(const TPlace& First, std::size_t Most = SIZE_MAX) {
    const std::size_t size = std::max<std::size_t>(SufPiecePolygons, 1);
    const bool on_cores = WalkOnCores(First);
    std::vector<TWalkPiece<TPlace>> pieces;
    std::size_t count = 0;
    for (TPlace place = First; place.At() != nullptr; place.Next(), ++count) {
        if (on_cores && count % size == 0) pieces.push_back({place, 0});
    }
    if (count == 0) return {};
    if (!on_cores || Most <= 1) return {{First, count}};
    const std::size_t noted = pieces.size();
    const std::size_t kept = std::min(Most, noted);
    // Piece k of the kept ones runs from noted piece k * noted / kept to the
    // next one's beginning.
    for (std::size_t k = 0; k < kept; ++k) {
        const std::size_t first = k * noted / kept, last = (k + 1) * noted / kept;
        pieces[k] = {pieces[first].First, (last == noted ? count : last * size) - first * size};
    }
    pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(kept), pieces.end());
    return pieces;
}

// Calls Visit(place) for each place of Piece, in order.
template <typename TPlace, typename TVisit>
void WalkPiece(const TWalkPiece<TPlace>& Piece, TVisit&& Visit) {
    TPlace place = Piece.First;
    for (std::size_t n = Piece.Places; n > 0; --n, place.Next()) Visit(place);
}
