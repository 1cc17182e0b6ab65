#include "app/morph.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <deque>
#include <limits>
#include <vector>

namespace {

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

ShapeBuilder::Values Fill(Extended v) { return {v, v, v, v, v, v, v, v}; }

// Every vertex of a shape, in walk order.
std::vector<const TVANE_Vertex*> Vertices(const TVANE_Object* shape) {
    std::vector<const TVANE_Vertex*> out;
    for (; shape; shape = shape->Next)
        for (const TVANE_Polygon* p = shape->Polygons; p; p = p->Next)
            for (const TVANE_Vertex* v = p->Vertices; v; v = v->Next) out.push_back(v);
    return out;
}

std::array<Extended, 8> ValuesOf(const TVANE_Vertex& v) {
    return {v.X, v.Y, v.Z, v.NX, v.NY, v.NZ, v.U, v.V};
}

TEST(LinearMap, EndsOfTheRangeAreExact) {
    // The far end comes back exactly even where the rounded quotient would
    // miss it: (0 - 815) / 100 * 100 + 815 is not 0 in extended precision.
    EXPECT_EQ(LinearMap(815, 0, 0, 100, 100), 0.0L);
    EXPECT_EQ(LinearMap(0.1L, 0.7L, 0, 100, 100), 0.7L);
    EXPECT_EQ(LinearMap(0.1L, 0.7L, 0, 100, 0), 0.1L);
    // An empty input range gives y0, whatever x is.
    EXPECT_EQ(LinearMap(3, 9, 5, 5, 5), 3.0L);
    EXPECT_EQ(LinearMap(3, 9, 5, 5, 100), 3.0L);
}

TEST(LinearMap, InteriorAndOutsideValues) {
    struct Row { Extended y0, y1, x; Extended want; };
    const Row rows[] = {
        {0, 10, 50, 5}, {-4, 4, 50, 0}, {2, 4, 150, 5}, {2, 4, -50, 1},
        {10, 0, 25, 7.5L}, {1, 1, 123456, 1},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(LinearMap(r.y0, r.y1, 0, 100, r.x), r.want) << r.y0 << ".." << r.y1 << " @" << r.x;
    }
}

TEST(LinearMap, QuotientIsTakenBeforeTheProduct) {
    // For these numbers the two orders of evaluation round differently, so
    // only the quotient-first order gives this exact result.
    const volatile Extended y1 = 1, span = 3, x = 5;
    const Extended quotient_first = (y1 / span) * x;
    const Extended product_first = (x * y1) / span;
    ASSERT_NE(quotient_first, product_first);
    EXPECT_EQ(LinearMap(0, 1, 0, 3, 5), quotient_first);
}

TEST(ReadInteger, FieldTexts) {
    struct Row { const char* text; std::int32_t value; bool valid; };
    const Row rows[] = {
        {"050", 50, true},   {"", 0, false},      {" 7", 7, true},     {"7 ", 7, false},
        {"50%", 50, false},  {"abc", 0, false},   {"-20", -20, true},  {"-20x", 20, false},
        {"+5", 5, true},     {"$32", 50, true},   {"$fF", 255, true},  {"$", 0, false},
        {"-", 0, false},     {"   ", 0, false},   {"\t7", 0, false},   {"- 5", 0, false},
        {"-$10", 0, false},  {"12a", 12, false},  {"$1g", 1, false},   {"0", 0, true},
        {"2147483647", 2147483647, true}, {"-2147483648", std::numeric_limits<std::int32_t>::min(), true},
    };
    for (const Row& r : rows) {
        const TIntegerReading got = ReadInteger(r.text);
        EXPECT_EQ(got.Value, r.value) << '"' << r.text << '"';
        EXPECT_EQ(got.Valid, r.valid) << '"' << r.text << '"';
    }
}

TEST(ReadInteger, BeyondThe32BitRangeIsInvalidAndSaturates) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    struct Row { const char* text; std::int32_t value; };
    const Row rows[] = {
        {"2147483648", kMax}, {"-2147483649", kMin}, {"$80000000", kMax},
        {"99999999999999999999999999999", kMax}, {"-99999999999999999999999999999", kMin},
        {"-99999999999999999999999999999x", kMax},  // stray character: sign not applied
    };
    for (const Row& r : rows) {
        const TIntegerReading got = ReadInteger(r.text);
        EXPECT_EQ(got.Value, r.value) << r.text;
        EXPECT_FALSE(got.Valid) << r.text;
    }
}

// start:  object a: polygon (v0 v1), polygon (v2)     object b: polygon (v3)
// target: same structure
class BlendSufTest : public testing::Test {
protected:
    ShapeBuilder builder;
};

TEST_F(BlendSufTest, BlendsAllEightValuesAtAnyPercent) {
    using V = ShapeBuilder::Values;
    const V s0{1, 2, 3, 0, 0, 1, 0, 0}, t0{3, 6, -5, 1, 0, 0, 1, 1};
    const V s1 = Fill(-8), t1 = Fill(8);
    const V s2 = Fill(0.1L), t2 = Fill(0.7L);
    TVANE_Object* start = builder.Build({{{s0, s1}, {s2}}, {{s1}}});
    TVANE_Object* target = builder.Build({{{t0, t1}, {t2}}, {{t1}}});
    const std::vector<V> start_values{s0, s1, s2, s1}, target_values{t0, t1, t2, t1};

    for (const std::int32_t p : {0, 100, 50, 150, -50, 7, -1000000}) {
        TVANE_Object* result = builder.Build({{{Fill(99), Fill(99)}, {Fill(99)}}, {{Fill(99)}}});
        BlendSuf(start, target, result, p);
        const auto got = Vertices(result);
        ASSERT_EQ(got.size(), 4u);
        for (std::size_t k = 0; k < got.size(); ++k) {
            const auto values = ValuesOf(*got[k]);
            for (std::size_t i = 0; i < 8; ++i) {
                const Extended s = start_values[k][i], t = target_values[k][i];
                if (p == 0) {
                    EXPECT_EQ(values[i], s);
                }
                if (p == 100) {
                    EXPECT_EQ(values[i], t);
                }
                // Within a few ulps of the straight line s + p% of the way.
                const Extended want = s + (t - s) * p / 100;
                EXPECT_NEAR(static_cast<double>(values[i]), static_cast<double>(want),
                            1e-15 * (1 + std::abs(static_cast<double>(want))))
                    << "p=" << p << " vertex " << k << " value " << i;
            }
        }
    }
}

TEST_F(BlendSufTest, MidpointOfSymmetricValuesIsExact) {
    TVANE_Object* start = builder.Build({{{Fill(-0.3L)}}});
    TVANE_Object* target = builder.Build({{{Fill(0.3L)}}});
    TVANE_Object* result = builder.Build({{{Fill(5)}}});
    BlendSuf(start, target, result, 50);
    for (Extended v : ValuesOf(*result->Polygons->Vertices)) EXPECT_EQ(v, 0.0L);
}

TEST_F(BlendSufTest, ShorterListEndsTheWalkAtEachLevel) {
    // start:  obj (poly v v v) (poly v v)    obj (poly v)    obj (poly v)
    // target: obj (poly v v)                 obj (poly v v)
    // Result items without a partner keep their 99; the rest become 100% target (2).
    const auto s = Fill(1), t = Fill(2), r = Fill(99);
    TVANE_Object* start = builder.Build({{{s, s, s}, {s, s}}, {{s}}, {{s}}});
    TVANE_Object* target = builder.Build({{{t, t}}, {{t, t}}});
    TVANE_Object* result = builder.Build({{{r, r, r}, {r, r}}, {{r}}, {{r}}});
    BlendSuf(start, target, result, 100);
    std::vector<Extended> xs;
    for (const TVANE_Vertex* v : Vertices(result)) xs.push_back(v->X);
    EXPECT_EQ(xs, (std::vector<Extended>{2, 2, 99, 99, 99, 2, 99}));
}

TEST_F(BlendSufTest, ShorterResultAlsoEndsTheWalk) {
    // A result that is not a full copy of the start is walked only as far as it goes.
    const auto s = Fill(1), t = Fill(2), r = Fill(99);
    TVANE_Object* start = builder.Build({{{s, s}, {s}}, {{s}}});
    TVANE_Object* target = builder.Build({{{t, t}, {t}}, {{t}}});
    TVANE_Object* result = builder.Build({{{r}}});
    BlendSuf(start, target, result, 100);
    EXPECT_EQ(result->Polygons->Vertices->X, 2.0L);
    EXPECT_EQ(result->Polygons->Next, nullptr);
}

TEST_F(BlendSufTest, EmptyListsChangeNothing) {
    const auto s = Fill(1), r = Fill(99);
    TVANE_Object* start = builder.Build({{{s}}});
    TVANE_Object* result = builder.Build({{{r}}});
    BlendSuf(start, nullptr, result, 100);
    BlendSuf(nullptr, start, result, 100);
    BlendSuf(start, start, nullptr, 100);
    EXPECT_EQ(result->Polygons->Vertices->X, 99.0L);
}

TEST_F(BlendSufTest, LeavesNamesKindsAndExtentsAlone) {
    TVANE_Object* start = builder.Build({{{Fill(1)}}});
    TVANE_Object* target = builder.Build({{{Fill(3)}}});
    TVANE_Object* result = builder.Build({{{Fill(1)}}});
    result->Name = "kept";
    result->MinX = -7, result->MaxZ = 7;
    result->Polygons->Kind = kKindUvPoly;
    result->Polygons->Marked = 1;
    BlendSuf(start, target, result, 50);
    EXPECT_EQ(result->Polygons->Vertices->X, 2.0L);
    EXPECT_EQ(result->Name, "kept");
    EXPECT_EQ(result->MinX, -7.0L);
    EXPECT_EQ(result->MaxZ, 7.0L);
    EXPECT_EQ(result->Polygons->Kind, kKindUvPoly);
    EXPECT_EQ(result->Polygons->Marked, 1);
}

}  // namespace
