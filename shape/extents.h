#pragma once
#include "shape/records.h"

// An axis-aligned box of vertex positions, in the order of the object's own
// extents.
struct TVANE_Extents {
    Extended MinX = 0, MinY = 0, MinZ = 0;
    Extended MaxX = 0, MaxY = 0, MaxZ = 0;
};

// The stored extents of Object.
inline TVANE_Extents ObjectExtents(const TVANE_Object& Object) {
    return {Object.MinX, Object.MinY, Object.MinZ, Object.MaxX, Object.MaxY, Object.MaxZ};
}

// A box grown point by point, in TValue: empty until the first point, which
// sets it. A point compares as "x < min" and "x > max", so a NaN never moves
// a side once the box holds a number.
template <typename TValue>
class TBoxGrowth {
public:
    bool Empty() const { return empty_; }

    // Returns whether the box changed.
    bool Add(TValue X, TValue Y, TValue Z) {
        const TValue p[3] = {X, Y, Z};
        if (empty_) {
            for (int i = 0; i < 3; ++i) min_[i] = max_[i] = p[i];
            empty_ = false;
            return true;
        }
        bool grown = false;
        for (int i = 0; i < 3; ++i) {
            if (p[i] < min_[i]) min_[i] = p[i], grown = true;
            if (p[i] > max_[i]) max_[i] = p[i], grown = true;
        }
        return grown;
    }

    // Joins Box, minimum with minimum and maximum with maximum; the first
    // box is taken as it stands.
    void Add(const TVANE_Extents& Box) {
        const TValue low[3] = {Box.MinX, Box.MinY, Box.MinZ};
        const TValue high[3] = {Box.MaxX, Box.MaxY, Box.MaxZ};
        for (int i = 0; i < 3; ++i) {
            if (empty_ || low[i] < min_[i]) min_[i] = low[i];
            if (empty_ || high[i] > max_[i]) max_[i] = high[i];
        }
        empty_ = false;
    }

    // The box; all zero while empty.
    TVANE_Extents Box() const { return {min_[0], min_[1], min_[2], max_[0], max_[1], max_[2]}; }

    // Writes the box into Object's extents.
    void WriteTo(TVANE_Object& Object) const {
        Object.MinX = min_[0], Object.MinY = min_[1], Object.MinZ = min_[2];
        Object.MaxX = max_[0], Object.MaxY = max_[1], Object.MaxZ = max_[2];
    }

private:
    TValue min_[3] = {}, max_[3] = {};
    bool empty_ = true;
};
