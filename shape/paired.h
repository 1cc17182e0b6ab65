#pragma once
#include <array>
#include <cstddef>
#include <tuple>
#include <type_traits>

#include "shape/records.h"

// Walks over shapes that pair up by place: the i-th object of one shape goes
// with the i-th object of the others, the j-th polygon of paired objects and
// the k-th vertex of paired polygons likewise. A blend, a mix, the
// correspondence check and the exports all pair records this way.

// The first record one level down: an object's polygons, a polygon's
// vertices, const where the record is.
inline TVANE_Polygon* FirstChild(TVANE_Object* Object) { return Object->Polygons; }
inline const TVANE_Polygon* FirstChild(const TVANE_Object* Object) { return Object->Polygons; }
inline TVANE_Vertex* FirstChild(TVANE_Polygon* Polygon) { return Polygon->Vertices; }
inline const TVANE_Vertex* FirstChild(const TVANE_Polygon* Polygon) { return Polygon->Vertices; }

// Calls Visit(a, b, ...) with the records the lists from a, b, ... hold at
// each place, first to last, until one of the lists ends (at once when a
// head is nullptr). Returns where each list stopped: its first record not
// visited, nullptr for one at least. Lists of const and of mutable records
// mix; Visit gets references to records of the same constness.
template <typename TVisit, typename... T>
std::tuple<T*...> ForEachPaired(TVisit&& Visit, T*... Lists) {
    static_assert(sizeof...(T) > 0);
    while ((... && (Lists != nullptr))) {
        Visit(*Lists...);
        ((Lists = Lists->Next), ...);
    }
    return {Lists...};
}

// Steps each partner along Next; one whose list has ended (nullptr) stays
// nullptr. Partners is a range of record pointers (std::array, std::vector).
template <typename TPartners>
void StepPartners(TPartners& Partners) {
    for (auto& record : Partners) {
        if (record != nullptr) record = record->Next;
    }
}

// Sets Children[i] to the first child of Parents[i] (FirstChild), or to
// nullptr where Parents[i] is nullptr. Children has Parents' size.
template <typename TParents, typename TChildren>
void EnterPartners(const TParents& Parents, TChildren& Children) {
    for (std::size_t i = 0; i < Parents.size(); ++i)
        Children[i] = Parents[i] != nullptr ? FirstChild(Parents[i]) : nullptr;
}

// How a walk treats lists that end before others.
enum class TPairing {
    // At each level the walk ends with the shortest list: every record it
    // meets has all its partners.
    Shortest,
    // The first list, the lead, is walked whole; a partner is nullptr where
    // its list has ended, and stays so to the end of that level.
    Lead,
};

// A place in a walk over the polygons of a lead shape, object after object,
// with the polygons paired with each in N partner shapes. Copies are
// independent places, so a walk can be noted at some places and taken up
// again from them (CutIntoPieces). Objects without polygons, or (Shortest)
// without paired polygons, are passed over.
template <TPairing Pairing, typename TLead, std::size_t N = 0>
class TPolygonWalk {
public:
    using TLeadPolygon = std::conditional_t<std::is_const_v<TLead>, const TVANE_Polygon, TVANE_Polygon>;

    // At the first polygon of Lead, paired with Partners.
    explicit TPolygonWalk(TLead* Lead, const std::array<const TVANE_Object*, N>& Partners = {})
        : object_(Lead), partner_objects_(Partners) {
        if constexpr (Pairing == TPairing::Shortest) {
            if (AnyEnded(partner_objects_)) object_ = nullptr;
        }
        Enter();
    }

    // The lead's polygon here; nullptr at the end of the walk.
    TLeadPolygon* At() const { return polygon_; }
    // Partner i's polygon paired with At(): never nullptr with Shortest,
    // nullptr with Lead where partner i has none.
    // cppcheck-suppress CastIntegerToAddressAtReturn ; an array of pointers, not integers
    const TVANE_Polygon* Partner(std::size_t i) const { return partner_polygons_[i]; }
    // The lead's object holding At().
    TLead* Object() const { return object_; }

    // To the next polygon, in a later object when this one's have ended.
    void Next() {
        polygon_ = polygon_->Next;
        StepPartners(partner_polygons_);
        if (polygon_ != nullptr && !(Pairing == TPairing::Shortest && AnyEnded(partner_polygons_))) return;
        StepObject();
        Enter();
    }

private:
    template <typename TRecords>
    static bool AnyEnded(const TRecords& records) {
        for (const auto* record : records) {
            if (record == nullptr) return true;
        }
        return false;
    }

    void StepObject() {
        if (object_ == nullptr) return;  // the walk has ended
        object_ = object_->Next;
        StepPartners(partner_objects_);
        if constexpr (Pairing == TPairing::Shortest) {
            if (AnyEnded(partner_objects_)) object_ = nullptr;
        }
    }

    // On the first polygon of this object, or of a later one where this one
    // has none (with Shortest: none paired); polygon_ is nullptr at the end.
    void Enter() {
        for (polygon_ = nullptr; object_ != nullptr; StepObject()) {
            polygon_ = FirstChild(object_);
            EnterPartners(partner_objects_, partner_polygons_);
            if (polygon_ != nullptr && !(Pairing == TPairing::Shortest && AnyEnded(partner_polygons_))) return;
            polygon_ = nullptr;
        }
    }

    TLead* object_;
    std::array<const TVANE_Object*, N> partner_objects_;
    TLeadPolygon* polygon_ = nullptr;
    std::array<const TVANE_Polygon*, N> partner_polygons_{};
};
