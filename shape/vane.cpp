#include "shape/vane.h"

namespace {
TVANE Instance;
}  // namespace

TVANE* const VANE = &Instance;
