// Record constructors, front insertion, release, deep copy and extents of
// shape lists.
#include <cassert>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>

#include "shape/arena.h"
#include "shape/extents.h"
#include "shape/state.h"
#include "shape/vane.h"

namespace {

// Links Record in front of the doubly linked list that starts at Head.
template <typename TRecord>
void PushFront(TRecord*& head, TRecord* record) {
    if (head != nullptr) head->Prev = record;
    record->Next = head;
    record->Prev = nullptr;
    head = record;
}

}  // namespace

TVANE_Object* AppendObject(TVANE_Object*& Head, TVANE_Object* Last) {
    auto* o = new TVANE_Object;
    o->Prev = Last;
    if (Last != nullptr) {
        Last->Next = o;
        o->Attributes = Last->Attributes;
    } else {
        Head = o;
    }
    return o;
}

namespace {

TVANE_Attribute* FindAttribute(TVANE_Attribute* head, const std::string& name) {
    for (TVANE_Attribute* a = head; a != nullptr; a = a->Next) {
        if (a->Name == name) return a;
    }
    return nullptr;
}

// Attribute records of one object's list by name, for a caller that builds
// the whole list itself and would otherwise walk it for every polygon.
using AttributeIndex = std::unordered_map<std::string_view, TVANE_Attribute*>;

// A polygon of Obj's kind Kind with the attribute named *attr_name (looked up
// in Obj's list, or in `index` when given, and added at the front of the list
// when missing), or without an attribute when attr_name is nullptr. Not
// linked into Obj. From `arena` when given, otherwise made on its own. A
// record added shares the bytes of `shared` when given (the same name).
TVANE_Polygon* MakePolygon(const std::string* attr_name, std::uint8_t kind, TVANE_Object* obj,
                           AttributeIndex* index = nullptr,
                           TArenaOf<TVANE_Polygon>* arena = nullptr,
                           const TSufName* shared = nullptr) {
    assert(obj != nullptr);
    TVANE_Attribute* added = nullptr;
    bool indexed = false;
    try {
        TVANE_Attribute* attr = nullptr;
        if (attr_name != nullptr) {
            if (index != nullptr) {
                auto found = index->find(*attr_name);
                if (found != index->end()) attr = found->second;
            } else {
                attr = FindAttribute(obj->Attributes, *attr_name);
            }
            if (attr == nullptr) {
                added = new TVANE_Attribute{obj->Attributes,
                                            shared != nullptr ? *shared : TSufName(*attr_name)};
                obj->Attributes = added;
                attr = added;
                if (index != nullptr) indexed = index->emplace(added->Name, added).second;
            }
        }
        auto* poly = arena != nullptr ? arena->New() : new TVANE_Polygon;
        poly->Attribute = attr;
        poly->Kind = kind;
        return poly;
    } catch (const std::bad_alloc&) {
        if (added != nullptr) {
            if (indexed) index->erase(added->Name);
            obj->Attributes = added->Next;
            delete added;
        }
        SetSufErrorMessage({"オブジェクト", obj->Name, "のポリゴン作成中にメモリーが枯渇しました。"});
        return nullptr;
    }
}

// Attribute records reached through several objects' lists (the reader shares
// list tails between objects) must be released once. Lists can share only
// tails, so a walk may stop at the first record it has already collected. A
// collected record is chained into the release list through its Next with the
// low bit set as the "collected" mark; records are at least 2-aligned.
// Allocates nothing, so it is safe while memory is exhausted.
TVANE_Attribute* Tagged(TVANE_Attribute* a) {
    return reinterpret_cast<TVANE_Attribute*>(reinterpret_cast<std::uintptr_t>(a) | 1u);
}
TVANE_Attribute* Untagged(TVANE_Attribute* a) {
    return reinterpret_cast<TVANE_Attribute*>(reinterpret_cast<std::uintptr_t>(a) & ~std::uintptr_t{1});
}
bool IsTagged(TVANE_Attribute* a) { return (reinterpret_cast<std::uintptr_t>(a) & 1u) != 0; }

void CollectAttributes(TVANE_Attribute* head, TVANE_Attribute*& collected) {
    for (TVANE_Attribute* a = head; a != nullptr && !IsTagged(a->Next);) {
        TVANE_Attribute* next = a->Next;
        a->Next = Tagged(collected);
        collected = a;
        a = next;
    }
}

void ReleaseAttributes(TVANE_Attribute* collected) {
    while (collected != nullptr) {
        TVANE_Attribute* next = Untagged(collected->Next);
        delete collected;
        collected = next;
    }
}

// A vertex with the values of `values`, Marked 0, from `arena` or made on
// its own when that is nullptr.
TVANE_Vertex* MakeVertex(const TVANE_Vertex& values, TArenaOf<TVANE_Vertex>* arena) {
    try {
        auto* vtx = arena != nullptr ? arena->New() : new TVANE_Vertex;
        vtx->X = values.X, vtx->Y = values.Y, vtx->Z = values.Z;
        vtx->NX = values.NX, vtx->NY = values.NY, vtx->NZ = values.NZ;
        vtx->U = values.U, vtx->V = values.V;
        return vtx;
    } catch (const std::bad_alloc&) {
        SetSufErrorMessage({"頂点データ作成中にメモリーが枯渇しました。"});
        return nullptr;
    }
}

void ReleaseVertices(TVANE_Vertex* v) {
    while (v != nullptr) {
        PrefetchAhead(v);
        TVANE_Vertex* next = v->Next;
        ReleaseVertex(v);
        v = next;
    }
}

// Releases a polygon that is in no object's list, with its vertices.
void ReleaseLoosePolygon(TVANE_Polygon* poly) {
    if (poly == nullptr) return;
    ReleaseVertices(poly->Vertices);
    ReleasePolygon(poly);
}

template <typename T>
T* LastOf(T* head) {
    if (head == nullptr) return nullptr;
    while (head->Next != nullptr) head = head->Next;
    return head;
}

}  // namespace

TVANE_Object* TVANE::NewSufObject(const std::string& Name) {
    try {
        auto* obj = new TVANE_Object;
        try {
            obj->Name = Name;
        } catch (...) {
            delete obj;
            throw;
        }
        return obj;
    } catch (const std::bad_alloc&) {
        SetSufErrorMessage({"オブジェクト", Name, "作成中にメモリーが枯渇しました。"});
        return nullptr;
    }
}

TVANE_Polygon* TVANE::NewSufPolygon(const std::string& AttrName, std::uint8_t Kind,
                                    TVANE_Object* Obj) {
    return MakePolygon(&AttrName, Kind, Obj);
}

TVANE_Vertex* TVANE::NewSufVertex(Extended X, Extended Y, Extended Z, Extended NX, Extended NY,
                                  Extended NZ, Extended U, Extended V) {
    TVANE_Vertex values;
    values.X = X, values.Y = Y, values.Z = Z;
    values.NX = NX, values.NY = NY, values.NZ = NZ;
    values.U = U, values.V = V;
    return MakeVertex(values, nullptr);
}

void TVANE::InsertSufPolygon(TVANE_Object* Obj, TVANE_Polygon* Poly) {
    assert(Obj != nullptr && Poly != nullptr);
    PushFront(Obj->Polygons, Poly);
}

void TVANE::InsertSufVertex(TVANE_Polygon* Poly, TVANE_Vertex* Vtx) {
    assert(Poly != nullptr && Vtx != nullptr);
    PushFront(Poly->Vertices, Vtx);
}

void TVANE::DeleteSufPolygon(TVANE_Object* Obj, TVANE_Polygon* Poly) {
    assert(Obj != nullptr && Poly != nullptr);
    if (Obj->Polygons == Poly) Obj->Polygons = Poly->Next;
    if (Poly->Next != nullptr) Poly->Next->Prev = Poly->Prev;
    if (Poly->Prev != nullptr) Poly->Prev->Next = Poly->Next;
    ReleaseLoosePolygon(Poly);
}

void TVANE::FreeSuf(TVANE_Object*& Shape) {
    TVANE_Attribute* attributes = nullptr;
    for (TVANE_Object* obj = Shape; obj != nullptr; obj = obj->Next) {
        CollectAttributes(obj->Attributes, attributes);
    }
    for (TVANE_Object* obj = Shape; obj != nullptr;) {
        TVANE_Object* next = obj->Next;
        while (obj->Polygons != nullptr) DeleteSufPolygon(obj, obj->Polygons);
        delete obj;
        obj = next;
    }
    ReleaseAttributes(attributes);
    Shape = nullptr;
}

TVANE_Object* TVANE::CopySuf(TVANE_Object* Shape) {
    // The copy's polygons and vertices come from blocks of its own, filled
    // from their ends since the copy is made back to front.
    TArenaOf<TVANE_Polygon> polygons(true);
    TArenaOf<TVANE_Vertex> vertices(true);
    TVANE_Object* result = nullptr;
    TVANE_Object* last = nullptr;
    for (const TVANE_Object* src = Shape; src != nullptr; src = src->Next) {
        TVANE_Object* obj = NewSufObject(src->Name);
        if (obj == nullptr) {
            FreeSuf(result);
            return nullptr;
        }
        obj->Prev = last;
        if (last != nullptr) {
            last->Next = obj;
        } else {
            result = obj;
        }
        last = obj;
        obj->MinX = src->MinX, obj->MinY = src->MinY, obj->MinZ = src->MinZ;
        obj->MaxX = src->MaxX, obj->MaxY = src->MaxY, obj->MaxZ = src->MaxZ;

        // Walking the source backwards and inserting at the front keeps its order.
        // The copied records share their names' bytes with the source's.
        AttributeIndex attributes;
        for (const TVANE_Polygon* sp = LastOf(src->Polygons); sp != nullptr; sp = sp->Prev) {
            const TSufName* name = sp->Attribute != nullptr ? &sp->Attribute->Name : nullptr;
            TVANE_Polygon* poly = MakePolygon(name != nullptr ? &name->Bytes() : nullptr, sp->Kind,
                                              obj, &attributes, &polygons, name);
            if (poly == nullptr) {
                FreeSuf(result);
                return nullptr;
            }
            poly->Marked = sp->Marked;
            for (const TVANE_Vertex* sv = LastOf(sp->Vertices); sv != nullptr; sv = sv->Prev) {
                TVANE_Vertex* vtx = MakeVertex(*sv, &vertices);
                if (vtx == nullptr) {
                    ReleaseLoosePolygon(poly);
                    FreeSuf(result);
                    return nullptr;
                }
                InsertSufVertex(poly, vtx);
            }
            InsertSufPolygon(obj, poly);
        }
    }
    return result;
}

void TVANE::CalcSufExtents(TVANE_Object* Obj) {
    if (Obj == nullptr) return;
    TBoxGrowth<Extended> box;
    for (const TVANE_Polygon* poly = Obj->Polygons; poly != nullptr; poly = poly->Next) {
        for (const TVANE_Vertex* v = poly->Vertices; v != nullptr; v = v->Next) {
            PrefetchAhead(v);
            box.Add(v->X, v->Y, v->Z);
        }
    }
    if (!box.Empty()) box.WriteTo(*Obj);
}
