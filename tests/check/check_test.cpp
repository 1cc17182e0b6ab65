#include "app/morph_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "tests/morph/shape_builder.h"

namespace {

using morph_test::ShapeBuilder;
using V = ShapeBuilder::Values;

V P(Extended x, Extended y, Extended z = 0) { return {x, y, z, 0, 0, 0, 0, 0}; }

// 3---2---5
// |   |   |    two quads sharing the edge 1-2: corners 1 and 2 are shared
// 0---1---4
ShapeBuilder::Object TwoQuads(Extended z) {
    return {{P(0, 0, z), P(1, 0, z), P(1, 1, z), P(0, 1, z)},
            {P(1, 0, z), P(2, 0, z), P(2, 1, z), P(1, 1, z)}};
}

// An n x n grid of unit quads in one object; vertex (i, j) lies at (i, j, 0),
// with every other quad using -0 for its zeros when signed_zeros is set.
ShapeBuilder::Object Grid(int n, bool signed_zeros) {
    ShapeBuilder::Object quads;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const Extended z = signed_zeros && (i + j) % 2 ? -0.0L : 0.0L;
            const Extended x0 = i == 0 ? z : i, y0 = j == 0 ? z : j;
            quads.push_back({P(x0, y0, z), P(i + 1, y0, z), P(i + 1, j + 1, z), P(x0, j + 1, z)});
        }
    }
    return quads;
}

class CheckCorrespondenceTest : public testing::Test {
protected:
    ShapeBuilder builder;
};

TEST_F(CheckCorrespondenceTest, MovedShapeWithTheSameCornersCorresponds) {
    TVANE_Object* start = builder.Build({TwoQuads(0), {{P(5, 5), P(6, 5), P(5, 6)}}});
    TVANE_Object* target = builder.Build({TwoQuads(3), {{P(5, 5, 1), P(6, 5, 1), P(5, 6, 2)}}});
    const TCorrespondence report = CheckCorrespondence(start, target);
    EXPECT_TRUE(report.Corresponds());
    EXPECT_TRUE(report.ConnectivityAgrees());
    EXPECT_EQ(report.Start.Objects, 2);
    EXPECT_EQ(report.Start.Polygons, 3);
    EXPECT_EQ(report.Target.Vertices, 11);
    EXPECT_EQ(report.CornersInStart, 2);
    EXPECT_EQ(report.CornersInTarget, 2);
    EXPECT_EQ(report.VertexCountMismatches + report.KindMismatches, 0);
    EXPECT_TRUE(report.BrokenCorners.empty());
    EXPECT_EQ(report.MedianDisplacement, 3.0L);
    EXPECT_EQ(report.Outliers, 0);
}

TEST_F(CheckCorrespondenceTest, EveryCornerOfALargeGridIsFound) {
    // Every grid point but the four outer corners is shared by 2 or 4 quads.
    constexpr int n = 300;
    TVANE_Object* start = builder.Build({Grid(n, false)});
    TVANE_Object* target = builder.Build({Grid(n, true)});  // -0 is the same position as 0
    const TCorrespondence report = CheckCorrespondence(start, target);
    EXPECT_EQ(report.CornersInStart, (n + 1) * (n + 1) - 4);
    EXPECT_EQ(report.CornersInTarget, (n + 1) * (n + 1) - 4);
    EXPECT_TRUE(report.ConnectivityAgrees());
}

TEST_F(CheckCorrespondenceTest, StructureMismatchesAreFoundWhereTheyAre) {
    const V a = P(0, 0), b = P(1, 0), c = P(0, 1);
    struct Row {
        const char* what;
        std::vector<ShapeBuilder::Object> start, target;
        TMismatchLevel level;
        std::int64_t object, polygon, start_count, target_count;
    };
    const std::vector<Row> rows = {
        {"polygon 2 of object 2 one vertex short",
         {{{a, b, c}}, {{a, b, c}, {a, b, c}}}, {{{a, b, c}}, {{a, b, c}, {a, b}}},
         TMismatchLevel::Vertices, 2, 2, 3, 2},
        {"object 1 with a polygon more in the target",
         {{{a, b, c}}, {{a}}}, {{{a, b, c}, {a}}, {{a}}}, TMismatchLevel::Polygons, 1, 0, 1, 2},
        {"a third object in the start", {{{a}}, {{b}}, {}}, {{{a}}, {{b}}},
         TMismatchLevel::Objects, 3, 0, 3, 2},
        {"a vertex mismatch before a polygon mismatch is the first",
         {{{a, b}}, {{a}, {b}}}, {{{a, b, c}}, {{a}}}, TMismatchLevel::Vertices, 1, 1, 2, 3},
    };
    for (const Row& r : rows) {
        const TCorrespondence report = CheckCorrespondence(builder.Build(r.start), builder.Build(r.target));
        EXPECT_FALSE(report.Corresponds()) << r.what;
        EXPECT_FALSE(report.StructureMatches) << r.what;
        EXPECT_FALSE(report.ConnectivityChecked) << r.what;
        const TStructureMismatch& m = report.FirstMismatch;
        EXPECT_EQ(m.Level, r.level) << r.what;
        EXPECT_EQ(m.Place.Object, r.object) << r.what;
        EXPECT_EQ(m.Place.Polygon, r.polygon) << r.what;
        EXPECT_EQ(m.StartCount, r.start_count) << r.what;
        EXPECT_EQ(m.TargetCount, r.target_count) << r.what;
    }
}

TEST_F(CheckCorrespondenceTest, EveryPairOfPolygonsIsComparedByKindAndVertexCount) {
    const V a = P(0, 0), b = P(1, 0), c = P(0, 1);
    TVANE_Object* start = builder.Build({{{a, b, c}, {a, b}, {a, b, c}, {a, b, c}, {a}}});
    TVANE_Object* target = builder.Build({{{a, b, c}, {a, b, c}, {a, b, c}, {a, b}, {a}}});
    start->Name = "lid";
    target->Name = "cap";
    // Polygon 3: a kind apart; polygon 4: both; polygon 5: a kind apart.
    TVANE_Polygon* p3 = start->Polygons->Next->Next;
    p3->Kind = kKindShade;
    p3->Next->Kind = kKindUvPoly;
    p3->Next->Next->Kind = kKindUvShade;
    const TCorrespondence report = CheckCorrespondence(start, target, 3);
    EXPECT_EQ(report.VertexCountMismatches, 2);
    EXPECT_EQ(report.KindMismatches, 3);
    EXPECT_EQ(report.FirstMismatch.Place.Polygon, 2);
    ASSERT_EQ(report.PolygonMismatches.size(), 3u) << "the first three of four";
    EXPECT_EQ(report.PolygonMismatches[0].Place.Polygon, 2);
    EXPECT_EQ(report.PolygonMismatches[0].StartVertices, 2);
    EXPECT_EQ(report.PolygonMismatches[0].TargetVertices, 3);
    EXPECT_EQ(report.PolygonMismatches[1].Place.Polygon, 3);
    EXPECT_EQ(report.PolygonMismatches[1].StartKind, kKindShade);
    EXPECT_EQ(report.PolygonMismatches[1].TargetKind, kKindPoly);
    EXPECT_EQ(report.PolygonMismatches[2].Place.Polygon, 4);
    EXPECT_EQ(report.PolygonMismatches[2].Place.StartObject->Name, "lid");
    EXPECT_EQ(report.PolygonMismatches[2].Place.TargetObject->Name, "cap");

    // Kinds alone: the counts pair, so the corners are compared, but the
    // shapes do not correspond.
    TVANE_Object* same_counts = builder.Build({{{a, b, c}}});
    TVANE_Object* other_kind = builder.Build({{{a, b, c}}});
    other_kind->Polygons->Kind = kKindShade;
    const TCorrespondence kinds = CheckCorrespondence(same_counts, other_kind);
    EXPECT_TRUE(kinds.StructureMatches);
    EXPECT_TRUE(kinds.ConnectivityAgrees());
    EXPECT_FALSE(kinds.Corresponds());
}

TEST_F(CheckCorrespondenceTest, ReorderedVerticesBreakTheSharedCorners) {
    // The target's second quad starts one vertex later: the same counts, but
    // the corners 1 and 2 that the quads share now pair with other vertices.
    TVANE_Object* start = builder.Build({TwoQuads(0)});
    TVANE_Object* target = builder.Build({{{P(0, 0), P(1, 0), P(1, 1), P(0, 1)},
                                           {P(2, 0), P(2, 1), P(1, 1), P(1, 0)}}});
    start->Name = "body";
    const TCorrespondence report = CheckCorrespondence(start, target);
    EXPECT_TRUE(report.Corresponds()) << "the counts alone cannot tell";
    EXPECT_FALSE(report.ConnectivityAgrees());
    EXPECT_EQ(report.BrokenInStart, 2);
    EXPECT_EQ(report.BrokenInTarget, 2);
    ASSERT_EQ(report.BrokenCorners.size(), 4u);
    const TBrokenCorner& first = report.BrokenCorners[0];
    EXPECT_TRUE(first.SharedInStart);
    // Corner (1, 0): vertex 2 of polygon 1 and vertex 1 of polygon 2.
    EXPECT_EQ(first.First.Object, 1);
    EXPECT_EQ(first.First.Polygon, 1);
    EXPECT_EQ(first.First.Vertex, 2);
    EXPECT_EQ(first.Apart.Polygon, 2);
    EXPECT_EQ(first.Apart.Vertex, 1);
    EXPECT_EQ(first.First.StartObject->Name, "body");
    EXPECT_EQ(first.Shared, (TPosition{1, 0, 0}));
    EXPECT_EQ(first.FirstElsewhere, (TPosition{1, 0, 0}));
    EXPECT_EQ(first.ApartElsewhere, (TPosition{2, 0, 0}));
    EXPECT_FALSE(report.BrokenCorners[2].SharedInStart);
}

TEST_F(CheckCorrespondenceTest, CornersOnlyTheTargetSharesBreakToo) {
    // The target folds the two free ends of a strip onto one point.
    TVANE_Object* start = builder.Build({{{P(0, 0), P(1, 0)}, {P(5, 0), P(6, 0)}}});
    TVANE_Object* target = builder.Build({{{P(0, 0), P(1, 0)}, {P(1, 0), P(6, 0)}}});
    const TCorrespondence report = CheckCorrespondence(start, target, 1);
    EXPECT_EQ(report.CornersInStart, 0);
    EXPECT_EQ(report.CornersInTarget, 1);
    EXPECT_EQ(report.BrokenInStart, 0);
    EXPECT_EQ(report.BrokenInTarget, 1);
    ASSERT_EQ(report.BrokenCorners.size(), 1u);
    EXPECT_FALSE(report.BrokenCorners[0].SharedInStart);
    EXPECT_EQ(report.BrokenCorners[0].Apart.Polygon, 2);
    EXPECT_EQ(report.BrokenCorners[0].ApartElsewhere, (TPosition{5, 0, 0}));
}

TEST_F(CheckCorrespondenceTest, PolygonsMovingFarBeyondTheMedianAreOutliers) {
    ShapeBuilder::Object start_polys, target_polys;
    for (int i = 0; i < 20; ++i) {
        start_polys.push_back({P(i, 0), P(i, 1)});
        const Extended lift = i == 7 ? 50 : i == 12 ? 10.5L : i == 3 ? 10 : 1;
        target_polys.push_back({P(i, 0, lift), P(i, 1, lift)});
    }
    const TCorrespondence report =
        CheckCorrespondence(builder.Build({start_polys}), builder.Build({target_polys}));
    EXPECT_EQ(report.MedianDisplacement, 1.0L);
    EXPECT_EQ(report.Outliers, 2) << "10 times the median is not beyond it";
    ASSERT_EQ(report.LargestOutliers.size(), 2u);
    EXPECT_EQ(report.LargestOutliers[0].Place.Polygon, 8);
    EXPECT_EQ(report.LargestOutliers[0].Distance, 50.0L);
    EXPECT_EQ(report.LargestOutliers[1].Place.Polygon, 13);
    EXPECT_TRUE(report.Corresponds());

    // Most polygons standing still: no outlier test at all.
    ShapeBuilder::Object still = start_polys;
    still[4] = {P(4, 0, 9), P(4, 1, 9)};
    const TCorrespondence standing =
        CheckCorrespondence(builder.Build({start_polys}), builder.Build({still}));
    EXPECT_EQ(standing.MedianDisplacement, 0.0L);
    EXPECT_EQ(standing.Outliers, 0);
}

TEST_F(CheckCorrespondenceTest, EmptyShapesAndEmptyPolygons) {
    EXPECT_TRUE(CheckCorrespondence(nullptr, nullptr).ConnectivityAgrees());
    TVANE_Object* one = builder.Build({{{P(1, 1)}}});
    const TCorrespondence missing = CheckCorrespondence(one, nullptr);
    EXPECT_EQ(missing.FirstMismatch.Level, TMismatchLevel::Objects);
    EXPECT_EQ(missing.FirstMismatch.Place.StartObject, one);
    EXPECT_EQ(missing.FirstMismatch.Place.TargetObject, nullptr);
    // Polygons without vertices and an object without polygons pair as they are;
    // places after an empty polygon still count right.
    TVANE_Object* start = builder.Build({{}, {{}, {P(0, 0), P(0, 0)}}});
    TVANE_Object* target = builder.Build({{}, {{}, {P(0, 0), P(3, 0)}}});
    const TCorrespondence report = CheckCorrespondence(start, target);
    EXPECT_TRUE(report.Corresponds());
    ASSERT_EQ(report.BrokenCorners.size(), 1u);
    EXPECT_EQ(report.BrokenCorners[0].First.Object, 2);
    EXPECT_EQ(report.BrokenCorners[0].First.Polygon, 2);
    EXPECT_EQ(report.BrokenCorners[0].Apart.Vertex, 2);
}

// Distinct extended reals whose 80 bits all fold into one 64-bit word under
// the position hash (mantissa ^ sign-and-exponent * 0x9E3779B97F4A7C15), so
// that positions made of them all share one hash.
std::vector<Extended> CollidingValues(std::size_t count) {
    constexpr std::uint64_t kFolded = 0x8000'0000'0000'0000u;
    std::vector<Extended> values;
    for (std::uint32_t sign_exponent = 1; values.size() < count && sign_exponent < 0xFFFF; ++sign_exponent) {
        if ((sign_exponent & 0x7FFF) == 0x7FFF) continue;  // infinities and NaNs
        const std::uint64_t mantissa = kFolded ^ (sign_exponent * 0x9E3779B97F4A7C15u);
        if ((mantissa >> 63) == 0) continue;  // not a normal number
        Extended value = 0;
        std::memcpy(&value, &mantissa, sizeof mantissa);
        const auto exponent = static_cast<std::uint16_t>(sign_exponent);
        std::memcpy(reinterpret_cast<unsigned char*>(&value) + sizeof mantissa, &exponent, sizeof exponent);
        values.push_back(value);
    }
    return values;
}

// 25,000 positions chosen so that their hashes collide, each held by two
// vertices, and two vertices with a NaN coordinate: a hash table alone would
// compare every pair (over a billion comparisons, about 20 s).
TEST(GroupPositions, PositionsChosenToCollideStayNearLinear) {
    constexpr std::size_t kPositions = 25'000;
    const std::vector<Extended> values = CollidingValues(kPositions);
    ASSERT_EQ(values.size(), kPositions);
    std::vector<TVANE_Vertex> vertices(2 * kPositions + 2);
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        const Extended v = i < 2 * kPositions ? values[i % kPositions] : std::numeric_limits<Extended>::quiet_NaN();
        vertices[i].X = vertices[i].Y = vertices[i].Z = v;
    }
    std::vector<const TVANE_Vertex*> slots(vertices.size());
    for (std::size_t i = 0; i < vertices.size(); ++i) slots[i] = &vertices[i];

    // The same positions copied out of their records group alike.
    std::vector<TPackedPosition> positions(vertices.size());
    for (std::size_t i = 0; i < vertices.size(); ++i) positions[i] = {vertices[i].X, vertices[i].Y, vertices[i].Z};

    for (const bool packed : {false, true}) {
        SCOPED_TRACE(packed ? "packed positions" : "records");
        std::uint64_t comparisons = 0;
        const std::vector<std::uint32_t> groups =
            packed ? GroupPositions(positions, &comparisons) : GroupPositions(slots, &comparisons);
        ASSERT_EQ(groups.size(), slots.size());
        std::size_t wrong = 0;
        for (std::uint32_t s = 0; s < groups.size(); ++s) {
            const std::uint32_t first = s < 2 * kPositions ? s % kPositions : s;  // a NaN equals nothing
            wrong += groups[s] != first ? 1 : 0;
        }
        EXPECT_EQ(wrong, 0u);
        // n log n is about 800,000 here.
        EXPECT_LT(comparisons, 100 * slots.size());
    }
}

}  // namespace
