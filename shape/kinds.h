#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "shape/records.h"

// What each primitive kind carries: its keyword after "prim", and the values
// of one vertex line in file order. Indexed by TVANE_Polygon::Kind.
constexpr std::size_t kMaxKindValues = 8;
struct TKindLayout {
    std::string_view Keyword;
    std::size_t Count;  // values per vertex line
    TPackedExtended TVANE_Vertex::*Fields[kMaxKindValues];
    // A written line separates groups (position, normal, texture
    // coordinates) by two blanks instead of one: before the values marked.
    bool GroupStart[kMaxKindValues];
};

inline constexpr TKindLayout kKinds[] = {
    {"poly", 3, {&TVANE_Vertex::X, &TVANE_Vertex::Y, &TVANE_Vertex::Z}, {}},
    {"shade",
     6,
     {&TVANE_Vertex::X, &TVANE_Vertex::Y, &TVANE_Vertex::Z, &TVANE_Vertex::NX, &TVANE_Vertex::NY,
      &TVANE_Vertex::NZ},
     {false, false, false, true}},
    {"uvpoly",
     5,
     {&TVANE_Vertex::X, &TVANE_Vertex::Y, &TVANE_Vertex::Z, &TVANE_Vertex::U, &TVANE_Vertex::V},
     {false, false, false, true}},
    {"uvshade",
     8,
     {&TVANE_Vertex::X, &TVANE_Vertex::Y, &TVANE_Vertex::Z, &TVANE_Vertex::NX, &TVANE_Vertex::NY,
      &TVANE_Vertex::NZ, &TVANE_Vertex::U, &TVANE_Vertex::V},
     {false, false, false, true, false, false, true}},
};
inline constexpr std::size_t kKindCount = sizeof kKinds / sizeof kKinds[0];

// The layout of a polygon of Kind: a kind beyond the four reads and writes
// as poly, as the reader makes every keyword it does not know.
inline const TKindLayout& KindLayout(std::uint8_t Kind) {
    return kKinds[Kind < kKindCount ? Kind : std::uint8_t{kKindPoly}];
}

// The keyword of Kind for a report, "unknown" for a kind beyond the four.
inline const char* KindName(std::int64_t Kind) {
    return Kind >= 0 && static_cast<std::size_t>(Kind) < kKindCount ? kKinds[Kind].Keyword.data() : "unknown";
}

// The kind a "prim" keyword names; poly for "poly" and every word not known.
inline std::uint8_t KindOf(std::string_view Keyword) {
    for (std::uint8_t kind = 1; kind < kKindCount; ++kind)
        if (kKinds[kind].Keyword == Keyword) return kind;
    return kKindPoly;
}
