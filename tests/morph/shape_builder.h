#pragma once
// Shape lists built in code for the blend tests. The builder owns every
// record, so nothing is released with FreeSuf.
#include <array>
#include <cstdint>
#include <deque>
#include <vector>

#include "shape/records.h"

namespace morph_test {

// Builds linked shape lists from nested vectors; owns every record.
class ShapeBuilder {
public:
    using Values = std::array<Extended, 8>;  // X Y Z NX NY NZ U V
    using Polygon = std::vector<Values>;
    using Object = std::vector<Polygon>;

    TVANE_Object* Build(const std::vector<Object>& objects) {
        TVANE_Object* head = nullptr;
        TVANE_Object* last_obj = nullptr;
        for (const Object& object : objects) {
            TVANE_Object& obj = objects_.emplace_back();
            Link(head, last_obj, &obj);
            TVANE_Polygon* last_poly = nullptr;
            for (const Polygon& polygon : object) {
                TVANE_Polygon& poly = polygons_.emplace_back();
                Link(obj.Polygons, last_poly, &poly);
                TVANE_Vertex* last_vtx = nullptr;
                for (const Values& v : polygon) {
                    TVANE_Vertex& vtx = vertices_.emplace_back();
                    vtx.X = v[0], vtx.Y = v[1], vtx.Z = v[2];
                    vtx.NX = v[3], vtx.NY = v[4], vtx.NZ = v[5];
                    vtx.U = v[6], vtx.V = v[7];
                    Link(poly.Vertices, last_vtx, &vtx);
                }
            }
        }
        return head;
    }

private:
    template <typename T>
    static void Link(T*& head, T*& last, T* record) {
        record->Prev = last;
        (last ? last->Next : head) = record;
        last = record;
    }

    std::deque<TVANE_Object> objects_;
    std::deque<TVANE_Polygon> polygons_;
    std::deque<TVANE_Vertex> vertices_;
};

// Every vertex of a shape, in walk order.
inline std::vector<const TVANE_Vertex*> Vertices(const TVANE_Object* shape) {
    std::vector<const TVANE_Vertex*> out;
    for (; shape; shape = shape->Next)
        for (const TVANE_Polygon* p = shape->Polygons; p; p = p->Next)
            for (const TVANE_Vertex* v = p->Vertices; v; v = v->Next) out.push_back(v);
    return out;
}

// Sets the kind of every polygon of the shape.
inline void SetKinds(TVANE_Object* shape, std::uint8_t kind) {
    for (; shape; shape = shape->Next)
        for (TVANE_Polygon* p = shape->Polygons; p; p = p->Next) p->Kind = kind;
}

}  // namespace morph_test
