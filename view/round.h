#pragma once
#include <cmath>

#include "shape/records.h"

// The nearest integer as an extended real; a value exactly halfway goes to
// the even neighbour (2.5 gives 2, -1.5 gives -2, 0.5 gives 0). Relies on the
// default rounding mode, which nothing in the program changes. rint rather
// than nearbyint: the same result without saving and restoring the
// floating-point environment on every call, which made drawing twice as slow.
inline Extended RoundHalfEven(Extended Value) {
    return std::rint(Value);
}
