#pragma once
#include <cmath>

#include "shape/records.h"

// The nearest integer as an extended real; a value exactly halfway goes to
// the even neighbour (2.5 gives 2, -1.5 gives -2, 0.5 gives 0). Relies on the
// default rounding mode, which nothing in the program changes.
inline Extended RoundHalfEven(Extended Value) {
    return std::nearbyint(Value);
}
