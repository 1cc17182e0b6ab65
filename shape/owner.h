#pragma once
#include <memory>

#include "shape/records.h"
#include "shape/vane.h"

// Releases a shape list with FreeSuf.
struct TFreeSuf {
    void operator()(TVANE_Object* List) const { VANE->FreeSuf(List); }
};

// The owner of a shape list wherever one is made or loaded outside the
// window's own holders (which release theirs with FreeSuf themselves).
using TShapePtr = std::unique_ptr<TVANE_Object, TFreeSuf>;
