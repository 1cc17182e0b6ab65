#pragma once
// Shape lists built in code for the view tests, released with FreeSuf.
#include <array>
#include <cstdint>
#include <initializer_list>

#include "shape/owner.h"
#include "shape/records.h"
#include "shape/vane.h"
#include "view/canvas.h"

namespace view_test {

using Point = std::array<Extended, 3>;

// Owns a shape list for the length of a test; objects and polygons are
// appended in the order given.
class ShapeList {
public:
    ShapeList() = default;
    ShapeList(const ShapeList&) = delete;
    ShapeList& operator=(const ShapeList&) = delete;

    TVANE_Object* Head() const { return head_.get(); }

    TVANE_Object* AddObject() {
        auto* object = new TVANE_Object;
        if (head_ == nullptr) {
            head_.reset(object);
        } else {
            TVANE_Object* last = head_.get();
            while (last->Next != nullptr) last = last->Next;
            last->Next = object;
            object->Prev = last;
        }
        return object;
    }

    static TVANE_Polygon* AddPolygon(TVANE_Object* object, std::initializer_list<Point> points,
                                     std::uint8_t marked = 1) {
        auto* poly = new TVANE_Polygon;
        poly->Marked = marked;
        TVANE_Vertex* last = nullptr;
        for (const Point& p : points) {
            auto* v = new TVANE_Vertex;
            v->X = p[0];
            v->Y = p[1];
            v->Z = p[2];
            v->Marked = 1;
            if (last == nullptr)
                poly->Vertices = v;
            else
                last->Next = v, v->Prev = last;
            last = v;
        }
        if (object->Polygons == nullptr) {
            object->Polygons = poly;
        } else {
            TVANE_Polygon* tail = object->Polygons;
            while (tail->Next != nullptr) tail = tail->Next;
            tail->Next = poly;
            poly->Prev = tail;
        }
        return poly;
    }

private:
    TShapePtr head_;
};

// Number of pixels of the given colour.
inline int CountPixels(const TBitmap& bitmap, TVANE_Color color) {
    int count = 0;
    for (std::int32_t y = 0; y < bitmap.Height(); ++y)
        for (std::int32_t x = 0; x < bitmap.Width(); ++x) count += bitmap.Pixel(x, y) == color;
    return count;
}

}  // namespace view_test
