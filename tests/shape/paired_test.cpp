#include "shape/paired.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "shape/parallel.h"
#include "shape/probes.h"
#include "tests/morph/shape_builder.h"

namespace {

using morph_test::ShapeBuilder;

// A shape of objects holding the given numbers of one-vertex polygons.
TVANE_Object* Layout(ShapeBuilder& builder, const std::vector<int>& polygons) {
    std::vector<ShapeBuilder::Object> objects;
    objects.reserve(polygons.size());
    for (const int n : polygons) objects.emplace_back(static_cast<std::size_t>(n), ShapeBuilder::Polygon(1));
    return builder.Build(objects);
}

// "<prefix>object.polygon" for every polygon of shape, counted from 0.
void Name(const TVANE_Object* shape, const std::string& prefix, std::map<const TVANE_Polygon*, std::string>& names) {
    int o = 0;
    for (; shape != nullptr; shape = shape->Next, ++o) {
        int p = 0;
        for (const TVANE_Polygon* poly = shape->Polygons; poly != nullptr; poly = poly->Next, ++p)
            names[poly] = prefix + std::to_string(o) + "." + std::to_string(p);
    }
}

template <TPairing Pairing>
std::string Walk(const TVANE_Object* lead, const TVANE_Object* a, const TVANE_Object* b) {
    std::map<const TVANE_Polygon*, std::string> names{{nullptr, "-"}};
    Name(lead, "", names);
    Name(a, "a", names);
    Name(b, "b", names);
    std::string walked;
    for (TPolygonWalk<Pairing, const TVANE_Object, 2> place(lead, {a, b}); place.At() != nullptr; place.Next())
        walked += names[place.At()] + " " + names[place.Partner(0)] + " " + names[place.Partner(1)] + ", ";
    return walked;
}

// Polygons per object: the lead and two partners differ in length at both
// levels, and objects without polygons stand at the front, inside and at
// the end.
TEST(TPolygonWalk, PairsByPlaceEndingWithTheShortestOrTheLead) {
    ShapeBuilder builder;
    const TVANE_Object* lead = Layout(builder, {0, 3, 2, 0, 1});
    const TVANE_Object* a = Layout(builder, {2, 1, 4});
    const TVANE_Object* b = Layout(builder, {1, 5, 5, 5});
    EXPECT_EQ(Walk<TPairing::Shortest>(lead, a, b), "1.0 a1.0 b1.0, 2.0 a2.0 b2.0, 2.1 a2.1 b2.1, ");
    EXPECT_EQ(Walk<TPairing::Lead>(lead, a, b),
              "1.0 a1.0 b1.0, 1.1 - b1.1, 1.2 - b1.2, 2.0 a2.0 b2.0, 2.1 a2.1 b2.1, 4.0 - -, ");
    EXPECT_EQ(Walk<TPairing::Shortest>(lead, nullptr, b), "");
    EXPECT_EQ(Walk<TPairing::Lead>(lead, nullptr, nullptr), "1.0 - -, 1.1 - -, 1.2 - -, 2.0 - -, 2.1 - -, 4.0 - -, ");
    EXPECT_EQ(Walk<TPairing::Lead>(nullptr, a, b), "");
}

// Pieces of every size, kept apart or run together, take every place of the
// walk once and in order, across objects and past empty ones.
TEST(CutIntoPieces, TakesEveryPlaceOnceInOrder) {
    ShapeBuilder builder;
    const TVANE_Object* shape = Layout(builder, {5, 0, 13, 1, 0, 9, 0});
    using TPlace = TPolygonWalk<TPairing::Lead, const TVANE_Object>;
    std::vector<const TVANE_Polygon*> whole;
    for (TPlace place(shape); place.At() != nullptr; place.Next()) whole.push_back(place.At());
    ASSERT_EQ(whole.size(), 28u);

    const std::size_t threshold = SufParallelPolygons, piece = SufPiecePolygons;
    SufParallelPolygons = 1;
    for (const std::size_t size : {1, 4, 27, 28, 100}) {
        for (const std::size_t most : {std::size_t{1}, std::size_t{3}, SIZE_MAX}) {
            SufPiecePolygons = size;
            const auto pieces = CutIntoPieces(TPlace(shape), most);
            std::vector<const TVANE_Polygon*> walked;
            for (const auto& p : pieces) WalkPiece(p, [&](const TPlace& place) { walked.push_back(place.At()); });
            EXPECT_EQ(walked, whole) << size << " " << most;
            const std::size_t sized = (28 + size - 1) / size;
            EXPECT_EQ(pieces.size(), CoreCount() < 2 ? 1 : std::min(most, sized)) << size << " " << most;
            if (most >= sized && CoreCount() >= 2) {
                for (std::size_t i = 0; i + 1 < pieces.size(); ++i) EXPECT_EQ(pieces[i].Places, size);
            }
        }
    }
    // Below the threshold one piece, and an empty walk none.
    SufParallelPolygons = 29;
    EXPECT_EQ(CutIntoPieces(TPlace(shape)).size(), 1u);
    EXPECT_TRUE(CutIntoPieces(TPlace(nullptr)).empty());
    SufParallelPolygons = threshold;
    SufPiecePolygons = piece;
}

}  // namespace
