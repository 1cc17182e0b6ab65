#include "app/morph.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "app/preview.h"
#include "shape/probes.h"
#include "shape/vane.h"
#include "view/canvas.h"
#include "view/draw.h"
#include "tests/morph/shape_builder.h"

namespace {

using morph_test::ShapeBuilder;
using morph_test::Vertices;

ShapeBuilder::Values Fill(Extended v) { return {v, v, v, v, v, v, v, v}; }

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
        {"50%", 50, false},  {"abc", 0, false},   {"-20", -20, true},  {"-20x", -20, false},
        {"+5", 5, true},     {"$32", 50, true},   {"$fF", 255, true},  {"$", 0, false},
        {"-", 0, false},     {"   ", 0, false},   {"\t7", 0, false},   {"- 5", 0, false},
        {"-$10", 0, false},  {"12a", 12, false},  {"$1g", 1, false},   {"0", 0, true},      {"-20 ", -20, false},
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
        {"-99999999999999999999999999999x", kMin},  // stray character: sign kept
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

// A value the start and the target share blends to what the arithmetic
// gives, bit for bit, also where that is not the value itself: -0 becomes
// +0 at most percentages, an infinity becomes NaN.
TEST_F(BlendSufTest, SharedValuesBlendBitForBitAsTheArithmeticDoes) {
    const Extended specials[] = {0.0L, -0.0L, 1.5L, -2.25e-4000L, std::numeric_limits<Extended>::denorm_min(),
                                 std::numeric_limits<Extended>::max(), std::numeric_limits<Extended>::infinity(),
                                 -std::numeric_limits<Extended>::infinity(),
                                 std::numeric_limits<Extended>::quiet_NaN()};
    for (const Extended v : specials) {
        TVANE_Object* start = builder.Build({{{Fill(v)}}});
        TVANE_Object* target = builder.Build({{{Fill(v)}}});
        for (const std::int32_t p : {0, 37, 100, -50}) {
            TVANE_Object* result = builder.Build({{{Fill(99)}}});
            BlendSuf(start, target, result, p);
            const TPackedExtended want = LinearMap(v, v, 0, 100, p);
            for (const Extended got : ValuesOf(*Vertices(result)[0])) {
                const TPackedExtended stored = got;
                EXPECT_EQ(std::memcmp(&stored, &want, sizeof want), 0) << v << " at " << p;
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

namespace {

using morph_test::SetKinds;

// Length of a vertex's normal, in extended precision.
Extended NormalLength(const TVANE_Vertex& v) {
    return std::sqrt(v.NX * v.NX + v.NY * v.NY + v.NZ * v.NZ);
}

TEST_F(BlendSufTest, AllValuesWithoutRenormalizingIsTheWindowsBlend) {
    using V = ShapeBuilder::Values;
    const V s{1, 2, 3, 0, 0, 1, 0.25L, 0}, t{3, 6, -5, 1, 0, 0, 1, 0.7L};
    TVANE_Object* start = builder.Build({{{s, t}}, {{t}}});
    TVANE_Object* target = builder.Build({{{t, s}}, {{s}}});
    SetKinds(start, kKindUvShade);
    for (const std::int32_t p : {0, 33, 100, -250}) {
        TVANE_Object* plain = builder.Build({{{Fill(9), Fill(9)}}, {{Fill(9)}}});
        TVANE_Object* with_options = builder.Build({{{Fill(9), Fill(9)}}, {{Fill(9)}}});
        BlendSuf(start, target, plain, p);
        const TBlendOutcome outcome = BlendSuf(start, target, with_options, p, TBlendOptions{});
        EXPECT_EQ(outcome.NearZeroNormals, 0);
        const auto a = Vertices(plain), b = Vertices(with_options);
        for (std::size_t k = 0; k < a.size(); ++k) EXPECT_EQ(ValuesOf(*a[k]), ValuesOf(*b[k])) << p;
    }
}

TEST_F(BlendSufTest, ValuesLeftOutKeepTheStartsValues) {
    using V = ShapeBuilder::Values;
    const V s{1, 2, 3, 0, 0, 1, 0.25L, 0.5L}, t{3, 6, -5, 1, 0, 0, 1, 0.75L};
    TVANE_Object* start = builder.Build({{{s}}});
    TVANE_Object* target = builder.Build({{{t}}});
    struct Row { bool pos, normal, uv; V want; };
    const Row rows[] = {
        {true, false, false, {2, 4, -1, 0, 0, 1, 0.25L, 0.5L}},
        {false, true, false, {1, 2, 3, 0.5L, 0, 0.5L, 0.25L, 0.5L}},
        {false, false, true, {1, 2, 3, 0, 0, 1, 0.625L, 0.625L}},
        {true, true, false, {2, 4, -1, 0.5L, 0, 0.5L, 0.25L, 0.5L}},
        {false, false, false, s},
    };
    for (const Row& r : rows) {
        // The result starts as something else, as after a blend at another percentage.
        TVANE_Object* result = builder.Build({{{Fill(99)}}});
        TBlendOptions options;
        options.Positions = r.pos, options.Normals = r.normal, options.TextureCoordinates = r.uv;
        BlendSuf(start, target, result, 50, options);
        EXPECT_EQ(ValuesOf(*result->Polygons->Vertices), r.want) << r.pos << r.normal << r.uv;
    }
}

TEST_F(BlendSufTest, RenormalizeGivesUnitNormalsOfShadedPolygonsOnly) {
    using V = ShapeBuilder::Values;
    // Normals at right angles blend to length sqrt(1/2) at 50; far-apart
    // lengths and extrapolation give other lengths, all scaled back to 1.
    const V s1{0, 0, 0, 1, 0, 0, 0, 0}, t1{0, 0, 0, 0, 1, 0, 0, 0};
    const V s2{0, 0, 0, 0, 0, 3, 0, 0}, t2{0, 0, 0, 0.001L, 0.002L, 0.5L, 0, 0};
    const V s3{0, 0, 0, 0.6L, 0.8L, 0, 0, 0}, t3{0, 0, 0, -0.8L, 0.6L, 1e-7L, 0, 0};
    TVANE_Object* start = builder.Build({{{s1, s2, s3}, {s1}}, {{s2, s3}}, {{s1}}});
    TVANE_Object* target = builder.Build({{{t1, t2, t3}, {t1}}, {{t2, t3}}, {{t1}}});
    TBlendOptions options;
    options.Renormalize = true;
    for (const std::int32_t p : {50, 1, 99, 100, 0, 175, -60}) {
        TVANE_Object* result = builder.Build({{{Fill(0), Fill(0), Fill(0)}, {Fill(0)}}, {{Fill(0), Fill(0)}}, {{Fill(0)}}});
        TVANE_Polygon* poly = result->Polygons;
        poly->Kind = kKindShade;
        poly->Next->Kind = kKindUvShade;
        result->Next->Polygons->Kind = kKindShade;
        result->Next->Next->Polygons->Kind = kKindPoly;  // carries no normals: blended, not scaled
        const TBlendOutcome outcome = BlendSuf(start, target, result, p, options);
        EXPECT_EQ(outcome.NearZeroNormals, 0) << p;
        const auto got = Vertices(result);
        ASSERT_EQ(got.size(), 7u);
        for (std::size_t k = 0; k < 6; ++k)
            EXPECT_NEAR(static_cast<double>(NormalLength(*got[k])), 1.0, 1e-12) << "p=" << p << " vertex " << k;
        if (p == 50) {
            EXPECT_NEAR(static_cast<double>(NormalLength(*got[6])), std::sqrt(0.5), 1e-15);
            // Direction kept: halfway between X and Y.
            EXPECT_NEAR(static_cast<double>(got[0]->NX), std::sqrt(0.5), 1e-15);
            EXPECT_EQ(got[0]->NX, got[0]->NY);
            EXPECT_EQ(got[0]->X, 0.0L);
        }
    }
}

TEST_F(BlendSufTest, RenormalizeLeavesNormalsOfNoLengthAloneAndCountsThem) {
    using V = ShapeBuilder::Values;
    // Opposite normals cancel at 50; a file without normals in a shaded
    // polygon gives zeros at every percentage; a tiny leftover of the
    // cancellation is no direction either.
    const V up{0, 0, 0, 0, 0, 1, 0, 0}, down{0, 0, 0, 0, 0, -1, 0, 0};
    const V none{1, 1, 1, 0, 0, 0, 0, 0};
    const V tilted_down{0, 0, 0, 1e-12L, 0, -1, 0, 0};
    TVANE_Object* start = builder.Build({{{up, none, up, up}}});
    TVANE_Object* target = builder.Build({{{down, none, tilted_down, up}}});
    SetKinds(start, kKindShade);
    TVANE_Object* result = builder.Build({{{Fill(7), Fill(7), Fill(7), Fill(7)}}});
    SetKinds(result, kKindShade);
    TBlendOptions options;
    options.Renormalize = true;
    const TBlendOutcome outcome = BlendSuf(start, target, result, 50, options);
    EXPECT_EQ(outcome.NearZeroNormals, 3);
    const auto got = Vertices(result);
    // Left exactly as blended.
    EXPECT_EQ(got[0]->NZ, LinearMap(1, -1, 0, 100, 50));
    EXPECT_LT(NormalLength(*got[0]), 1e-15L);
    EXPECT_EQ(NormalLength(*got[1]), 0.0L);
    EXPECT_EQ(got[2]->NX, LinearMap(0, 1e-12L, 0, 100, 50));
    EXPECT_EQ(NormalLength(*got[3]), 1.0L);

    // Without Normals chosen nothing is renormalised nor counted.
    options.Normals = false;
    EXPECT_EQ(BlendSuf(start, target, result, 50, options).NearZeroNormals, 0);
    EXPECT_EQ(got[0]->NZ, 1.0L);
}

// A large blend runs in pieces over the cores, and morph blends START in
// place. Pieces of one and two polygons, cut inside and between objects,
// give the values and the count of one pass, as does blending a shape into
// itself, where renormalising must use the normals as they were.
TEST_F(BlendSufTest, PiecesAndInPlaceGiveTheValuesOfOnePass) {
    using V = ShapeBuilder::Values;
    const V a{1, 2, 3, 0, 0, 3, 0.25L, 1}, b{-1, 0.1L, 7, 0, 0, -9, 3, -2}, c{5, 5, 5, 3, 4, 0, 1, 1};
    // At 75 percent d's normal blends to 1.5E-9 across: short beside d's 3,
    // not beside the blend itself.
    const V d{0, 0, 0, 0, 0, 3, 0, 0}, e{0, 0, 0, 2e-9L, 0, -1, 0, 0};
    const std::vector<ShapeBuilder::Object> starts = {{{a, b, c}, {d}, {c, a}}, {{c}}, {{a, b}, {b, c, a}}};
    const std::vector<ShapeBuilder::Object> targets = {{{b, a, a}, {e}, {a, c}}, {{b}}, {{b, a}, {a, a}}};
    TVANE_Object* start = builder.Build(starts);
    TVANE_Object* target = builder.Build(targets);
    SetKinds(start, kKindShade);
    TBlendOptions options;
    options.Renormalize = true;
    auto blend = [&](std::size_t pieces, bool in_place) {
        SufParallelPolygons = pieces == 0 ? 32768 : 1;
        SufPiecePolygons = pieces == 0 ? 4096 : pieces;
        TVANE_Object* result = builder.Build(starts);
        SetKinds(result, kKindShade);
        const TBlendOutcome outcome = BlendSuf(in_place ? result : start, target, result, 75, options);
        std::vector<V> values;
        for (const TVANE_Vertex* v : Vertices(result)) values.push_back(ValuesOf(*v));
        values.push_back(Fill(static_cast<Extended>(outcome.NearZeroNormals)));
        return values;
    };
    const std::vector<V> one_pass = blend(0, false);
    EXPECT_EQ(one_pass.back()[0], 4.0L);  // a toward b, and d toward e
    for (std::size_t pieces : {1, 2}) EXPECT_EQ(blend(pieces, false), one_pass) << pieces;
    for (std::size_t pieces : {0, 1}) EXPECT_EQ(blend(pieces, true), one_pass) << pieces;
    SufParallelPolygons = 32768;
    SufPiecePolygons = 4096;
}

}  // namespace

// start: one polygon (v0 v1)   target a: same   target b: only v0
TEST(MixSuf, OneTargetIsTheBlendAndMoreAddTheirParts) {
    using V = ShapeBuilder::Values;
    ShapeBuilder builder;
    const V s0 = Fill(0.1L), s1 = Fill(815), a0 = Fill(0.7L), a1 = Fill(0), b0 = Fill(-3);
    TVANE_Object* start = builder.Build({{{s0, s1}}});
    TVANE_Object* a = builder.Build({{{a0, a1}}});
    TVANE_Object* b = builder.Build({{{b0}}});
    for (const Extended p : {0.0L, 100.0L, 33.0L, -250.0L, 12.5L}) {
        TVANE_Object* blended = builder.Build({{{s0, s1}}});
        TVANE_Object* mixed = builder.Build({{{s0, s1}}});
        BlendSuf(start, a, blended, static_cast<std::int32_t>(p));
        const TMixTarget one[] = {{a, p}};
        MixSuf(start, one, 1, mixed);
        if (p == std::floor(p)) {
            for (std::size_t k = 0; k < 2; ++k)
                EXPECT_EQ(ValuesOf(*Vertices(mixed)[k]), ValuesOf(*Vertices(blended)[k])) << p;
        }
        // A second target adds its part where it reaches and nothing past
        // its shorter polygon.
        TVANE_Object* two = builder.Build({{{s0, s1}}});
        const TMixTarget both[] = {{a, p}, {b, 40}};
        MixSuf(start, both, 2, two);
        const Extended first = LinearMap(0.1L, 0.7L, 0, 100, p);
        EXPECT_EQ(Vertices(two)[0]->X, first + LinearMap(0, -3 - 0.1L, 0, 100, 40)) << p;
        EXPECT_EQ(Vertices(two)[1]->V, LinearMap(815, 0, 0, 100, p)) << p;
    }
}

// A blend drawn in the walk that blends it gives the values and the pixels
// of the blend followed by the drawing: lists of other lengths at every
// level, objects without polygons, in one pass and in pieces on the cores.
TEST_F(BlendSufTest, BlendAndDrawGivesTheBlendThenTheDrawing) {
    std::uint32_t seed = 3;
    const auto value = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<Extended>(static_cast<int>(seed >> 16) % 121 - 60) / 3;
    };
    const auto object = [&value](int polygons, int corners) {
        ShapeBuilder::Object made(static_cast<std::size_t>(polygons));
        for (ShapeBuilder::Polygon& polygon : made) {
            for (int c = 0; c < corners; ++c)
                polygon.push_back({value(), value(), value(), value(), 0, 0, value(), value()});
        }
        return made;
    };
    // Start, target and result differ in length at the level of objects,
    // polygons and vertices; each result begins as its own values.
    TVANE_Object* start = builder.Build({{}, object(40, 3), object(30, 4), object(5, 3)});
    TVANE_Object* target = builder.Build({{}, object(35, 3), object(30, 3)});
    const std::vector<ShapeBuilder::Object> result_layout = {{}, object(45, 3), object(30, 4), object(5, 3), {},
                                                              object(3, 5)};
    TVANE_ViewSettings settings;
    VANE->DefaultViewSettings(settings);
    settings.Camera.HalfSize = 30;
    TVANE_Colors colors;
    VANE->DefaultViewColors(colors);

    const std::size_t threshold = SufParallelPolygons, piece = SufPiecePolygons;
    SufPiecePolygons = 7;  // pieces cut inside and between objects
    for (std::size_t polygons : {std::size_t{1} << 20, std::size_t{8}}) {  // one pass, then pieces
        SufParallelPolygons = polygons;
        TVANE_Object* expected = builder.Build(result_layout);
        TVANE_Object* got = builder.Build(result_layout);
        std::vector<TBitmap> expected_views(3, TBitmap(97, 85)), got_views(3, TBitmap(97, 85));
        std::vector<TSufView> expected_list, got_list;
        for (std::uint8_t kind = kViewXY; kind <= kViewZX; ++kind) {
            settings.ViewKind = kind;
            expected_list.push_back({&expected_views[kind], settings});
            got_list.push_back({&got_views[kind], settings});
        }
        BlendSuf(start, target, expected, 37);
        DrawSufViews(expected, expected_list, colors);
        BlendAndDrawSuf(start, target, got, 37, got_list, colors);
        const auto expected_vertices = Vertices(expected), got_vertices = Vertices(got);
        ASSERT_EQ(got_vertices.size(), expected_vertices.size());
        for (std::size_t k = 0; k < got_vertices.size(); ++k)
            EXPECT_EQ(ValuesOf(*got_vertices[k]), ValuesOf(*expected_vertices[k])) << "vertex " << k;
        for (std::size_t v = 0; v < 3; ++v) {
            EXPECT_EQ(std::memcmp(got_views[v].Pixels(), expected_views[v].Pixels(), std::size_t{97} * 85 * 4), 0)
                << "view " << v << ", threshold " << polygons;
        }
    }
    SufParallelPolygons = threshold;
    SufPiecePolygons = piece;
}
