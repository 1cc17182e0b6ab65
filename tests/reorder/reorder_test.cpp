#include "app/reorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "app/morph_check.h"
#include "shape/placed.h"
#include "shape/probes.h"
#include "shape/vane.h"
#include "tests/shape/test_util.h"
#include "tests/morph/shape_builder.h"

namespace {

using morph_test::ShapeBuilder;
using TValues = ShapeBuilder::Values;

struct TTestPolygon {
    std::uint8_t Kind = kKindPoly;
    int Attribute = 0;  // index into the shape's attribute names
    std::vector<TValues> Corners;
};
struct TTestObject {
    std::string Name;
    std::vector<TTestPolygon> Polygons;
};
using TTestShape = std::vector<TTestObject>;

// Builds shapes as the reader would hold them: names, kinds and attribute
// records (one list for the whole shape), owned by the builder.
class TTestBuilder {
public:
    TVANE_Object* Build(const TTestShape& shape) {
        std::vector<ShapeBuilder::Object> objects;
        for (const TTestObject& o : shape) {
            objects.emplace_back();
            for (const TTestPolygon& p : o.Polygons) objects.back().push_back(p.Corners);
        }
        TVANE_Object* head = builder_.Build(objects);
        TVANE_Object* object = head;
        for (const TTestObject& o : shape) {
            object->Name = o.Name;
            TVANE_Polygon* polygon = object->Polygons;
            for (const TTestPolygon& p : o.Polygons) {
                polygon->Kind = p.Kind;
                polygon->Attribute = AttributeNamed(kAttributes[p.Attribute]);
                polygon = polygon->Next;
            }
            object = object->Next;
        }
        return head;
    }

private:
    static constexpr const char* kAttributes[] = {"skin", "cloth", "metal"};

    TVANE_Attribute* AttributeNamed(const char* name) {
        for (TVANE_Attribute& a : attributes_)
            if (a.Name == name) return &a;
        attributes_.push_back(TVANE_Attribute{nullptr, name});  // a deque: earlier ones stay where they are
        return &attributes_.back();
    }

    ShapeBuilder builder_;
    std::deque<TVANE_Attribute> attributes_;
};

// Every record of a shape in list order, values bit for bit.
std::string Dump(const TVANE_Object* shape) {
    std::string out;
    char text[64];
    for (; shape; shape = shape->Next) {
        out += "obj " + shape->Name + "\n";
        for (const TVANE_Polygon* p = shape->Polygons; p; p = p->Next) {
            out += "prim " + std::to_string(p->Kind) + " " + (p->Attribute ? p->Attribute->Name.Bytes() : "-") + "\n";
            for (const TVANE_Vertex* v = p->Vertices; v; v = v->Next) {
                for (const Extended x : {Extended(v->X), Extended(v->Y), Extended(v->Z), Extended(v->NX),
                                         Extended(v->NY), Extended(v->NZ), Extended(v->U), Extended(v->V)}) {
                    std::snprintf(text, sizeof text, " %La", x);
                    out += text;
                }
                out += "\n";
            }
        }
    }
    return out;
}

TValues Corner(Extended x, Extended y, Extended z) { return {x, y, z, 0, 0, 1, x, y}; }

// 0---1   a quad of the XY plane at (x, y), counter-clockwise
// |   |
// 3---2
TTestPolygon Quad(Extended x, Extended y, Extended z = 0, int attribute = 0) {
    return {kKindPoly, attribute, {Corner(x, y, z), Corner(x + 1, y, z), Corner(x + 1, y + 1, z), Corner(x, y + 1, z)}};
}

// An octahedron split twice into four, on the unit sphere: 128 uvshade
// triangles, normals along the radius, UVs from longitude and latitude.
TTestShape Sphere() {
    using P = std::array<Extended, 3>;
    std::vector<std::array<P, 3>> triangles;
    const P axes[] = {{1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}};
    for (int i = 0; i < 4; ++i) {
        triangles.push_back({axes[i], axes[(i + 1) % 4], P{0, 0, 1}});
        triangles.push_back({axes[(i + 1) % 4], axes[i], P{0, 0, -1}});
    }
    const auto half = [](const P& a, const P& b) {
        P m{(a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2};
        const Extended n = std::sqrt(m[0] * m[0] + m[1] * m[1] + m[2] * m[2]);
        return P{m[0] / n, m[1] / n, m[2] / n};
    };
    for (int round = 0; round < 2; ++round) {
        std::vector<std::array<P, 3>> finer;
        for (const auto& [a, b, c] : triangles) {
            const P ab = half(a, b), bc = half(b, c), ca = half(c, a);
            finer.push_back({a, ab, ca});
            finer.push_back({ab, b, bc});
            finer.push_back({ca, bc, c});
            finer.push_back({ab, bc, ca});
        }
        triangles = finer;
    }
    TTestObject sphere{"sphere", {}};
    for (const auto& triangle : triangles) {
        TTestPolygon polygon{kKindUvShade, static_cast<int>(sphere.Polygons.size() % 3), {}};
        for (const P& p : triangle)
            polygon.Corners.push_back({p[0], p[1], p[2], p[0], p[1], p[2], std::atan2(p[1], p[0]), std::acos(p[2])});
        sphere.Polygons.push_back(polygon);
    }
    return {sphere};
}

// Object "pair": two strips of two quads apart (islands of one structure);
// "step" and "step2": a quad with a triangle on its top edge, two objects
// of one structure told apart by name; "tail": three quads in an L.
TTestShape Parts() {
    TTestObject pair{"pair", {Quad(0, 0), Quad(1, 0), Quad(5, 0, 0, 1), Quad(6, 0, 0, 1)}};
    const auto step = [](const char* name, Extended x) {
        TTestPolygon triangle{kKindPoly, 2, {Corner(x, 11, 0), Corner(x + 1, 11, 0), Corner(x + 0.5L, 12, 0)}};
        return TTestObject{name, {Quad(x, 10), triangle}};
    };
    TTestObject tail{"tail", {Quad(0, 20), Quad(1, 20), Quad(1, 21)}};
    return {pair, step("step", 0), step("step2", 3), tail};
}

// A quad with a triangle on its top edge and a pentagon on its right one:
// no order but one pairs it with itself.
TTestShape Lopsided() {
    TTestPolygon triangle{kKindPoly, 1, {Corner(0, 1, 0), Corner(1, 1, 0), Corner(0.5L, 2, 0)}};
    TTestPolygon pentagon{kKindPoly, 2, {Corner(1, 0, 0), Corner(2, 0, 0), Corner(2.5L, 0.5L, 0), Corner(2, 1, 0), Corner(1, 1, 0)}};
    return {{"lopsided", {Quad(0, 0), triangle, pentagon}}};
}

// A unit cube about the origin, each face wound outwards.
TTestShape Cube() {
    TTestObject cube{"cube", {}};
    const auto c = [](int i) { return Extended(i) - 0.5L; };
    const int faces[6][4][3] = {
        {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}}, {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}},
        {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}}, {{0, 1, 0}, {0, 1, 1}, {1, 1, 1}, {1, 1, 0}},
        {{0, 0, 0}, {0, 0, 1}, {0, 1, 1}, {0, 1, 0}}, {{1, 0, 0}, {1, 1, 0}, {1, 1, 1}, {1, 0, 1}},
    };
    for (const auto& face : faces) {
        TTestPolygon quad{kKindShade, 0, {}};
        for (const auto& p : face) quad.Corners.push_back(Corner(c(p[0]), c(p[1]), c(p[2])));
        cube.Polygons.push_back(quad);
    }
    return {cube};
}

// Four by four quads.
TTestShape Grid() {
    TTestObject grid{"grid", {}};
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) grid.Polygons.push_back(Quad(i - 2, j - 2));
    return {grid};
}

// A strip of 40 triangles, each an object of its own, named "t0" and "t1" by
// turns: more objects of one structure and name than are compared at once,
// each found through the corners it shares with those paired before it.
TTestShape Triangles() {
    TTestShape shape;
    for (int i = 0; i < 40; ++i) {
        const int square = i / 2;  // two triangles to a square
        const auto x = static_cast<Extended>(square);
        TTestPolygon triangle = i % 2 == 0
                                    ? TTestPolygon{kKindPoly, 0, {Corner(x, 0, 0), Corner(x + 1, 0, 0), Corner(x, 1, 0)}}
                                    : TTestPolygon{kKindPoly, 0, {Corner(x + 1, 0, 0), Corner(x + 1, 1, 0), Corner(x, 1, 0)}};
        shape.push_back({i % 2 == 0 ? "t0" : "t1", {triangle}});
    }
    return shape;
}

// The target: every value moved a little and unevenly, and all by Offset.
TTestShape Moved(TTestShape shape, Extended offset) {
    for (TTestObject& o : shape)
        for (TTestPolygon& p : o.Polygons)
            for (TValues& v : p.Corners) {
                const Extended x = v[0], y = v[1], z = v[2];
                v[0] = x + 0.05L * std::sin(3 * y + 1) + offset;
                v[1] = y + 0.03L * std::cos(2 * x + z) - offset;
                v[2] = z + 0.04L * x * y + 0.02L * x + offset / 2;
                v[3] += 0.25L, v[6] += 0.5L, v[7] -= 0.125L;
            }
    return shape;
}

struct TScramble {
    bool ReverseObjects = false;
    bool Shuffle = false;
    bool Rotate = false;
    bool MirrorFirst = false;  // every polygon of the first object
    bool MirrorSome = false;   // every third polygon of every object
};

TTestShape Scrambled(TTestShape shape, const TScramble& how) {
    std::mt19937 random(7);
    for (std::size_t o = 0; o < shape.size(); ++o) {
        auto& polygons = shape[o].Polygons;
        if (how.Shuffle) std::shuffle(polygons.begin(), polygons.end(), random);
        for (std::size_t k = 0; k < polygons.size(); ++k) {
            auto& corners = polygons[k].Corners;
            if (how.Rotate)
                std::rotate(corners.begin(), corners.begin() + static_cast<std::ptrdiff_t>(random() % corners.size()),
                            corners.end());
            if ((how.MirrorFirst && o == 0) || (how.MirrorSome && k % 3 == 0)) std::reverse(corners.begin(), corners.end());
        }
    }
    if (how.ReverseObjects) std::reverse(shape.begin(), shape.end());
    return shape;
}

struct TScrambleRow {
    const char* Name;
    TTestShape (*Shape)();
    Extended Offset;
    TScramble How;
    bool Unique;         // no other order of least movement to choose from
    bool FirstMirrored;  // the report calls the first object mirrored
};

// Sets SufParallelPolygons for a scope, and lays out targets of as few
// polygons in space.
class TParallelAt {
public:
    explicit TParallelAt(std::size_t polygons) : kept_(SufParallelPolygons), layout_(ReorderLayoutPolygons) {
        SufParallelPolygons = polygons;
        ReorderLayoutPolygons = std::min(layout_, polygons);
    }
    ~TParallelAt() {
        SufParallelPolygons = kept_;
        ReorderLayoutPolygons = layout_;
    }
    TParallelAt(const TParallelAt&) = delete;
    TParallelAt& operator=(const TParallelAt&) = delete;

private:
    std::size_t kept_, layout_;
};

TEST(Reorder, GivesBackTheOrderOfScrambledTargets) {
    const TScramble all{true, true, true, false, false};
    const TScramble mirrored{true, true, true, true, false};
    const TScrambleRow rows[] = {
        {"sphere, scrambled", Sphere, 0, all, false, false},
        {"sphere, mirrored", Sphere, 0, mirrored, false, true},
        {"sphere, moved far, some windings mirrored", Sphere, 40, {false, true, true, false, true}, false, false},
        {"parts, objects reversed", Parts, 0, {true, false, false, false, false}, false, false},
        {"parts, scrambled and mirrored", Parts, 0, mirrored, false, true},
        {"lopsided, scrambled and mirrored", Lopsided, 0, mirrored, true, true},
        {"parts, moved far", Parts, 25, all, false, false},
        {"cube, scrambled", Cube, 0, all, false, false},
        {"cube, mirrored and moved far", Cube, 30, mirrored, false, true},
        {"grid, scrambled", Grid, 0, all, false, false},
        {"grid, corners rotated only", Grid, 0, {false, false, true, false, false}, false, false},
        {"triangles of their own, scrambled and moved far", Triangles, 30, all, false, false},
    };
    // Objects whose targets are clear are paired on two lanes at once from
    // SufParallelPolygons polygons on: with it at 1, the small shapes are,
    // their targets are laid out in space first, and their saves are made
    // in pieces of two polygons on several threads.
    test_util::TempDir dir;
    for (const TScrambleRow& row : rows) for (const std::size_t lanes : {SufParallelPolygons, std::size_t{1}}) {
        SCOPED_TRACE(row.Name);
        SCOPED_TRACE(lanes);
        const TParallelAt parallel_at(lanes);
        const std::size_t piece_polygons = SufPiecePolygons;
        SufPiecePolygons = lanes == 1 ? 2 : piece_polygons;
        TTestBuilder builder;
        const TTestShape target_shape = Moved(row.Shape(), row.Offset);
        const TVANE_Object* start = builder.Build(row.Shape());
        const TVANE_Object* target = builder.Build(target_shape);
        TVANE_Object* scrambled = builder.Build(Scrambled(target_shape, row.How));
        const TCorrespondence before = CheckCorrespondence(start, scrambled);
        ASSERT_FALSE(before.Corresponds() && before.ConnectivityAgrees());

        const TReorderResult order = FindOrder(start, scrambled);
        ASSERT_TRUE(order.Found()) << static_cast<int>(order.Failure) << " at object " << order.Place.Object
                                   << ", polygon " << order.Place.Polygon << ", vertex " << order.Place.Vertex;
        EXPECT_EQ(order.Unique(), row.Unique);
        EXPECT_EQ(order.Objects[0].Mirrored, row.FirstMirrored);
        // Written in the order found from lines formatted in the old order:
        // the bytes of the target in order.
        {
            TSufVertexLines lines(scrambled);
            lines.FormatAside();
            lines.Finish();
            ASSERT_TRUE(SaveSufPlaced(dir.Path("placed.suf"), lines, order.TargetObjects, order.TargetPolygons));
        }
        ASSERT_TRUE(VANE->SaveSuf(dir.Path("target.suf"), const_cast<TVANE_Object*>(target)));
        EXPECT_TRUE(test_util::ReadFile(dir.Path("placed.suf")) == test_util::ReadFile(dir.Path("target.suf"))) << "saved bytes differ";
        ApplyOrder(scrambled, order);
        EXPECT_TRUE(Dump(scrambled) == Dump(target)) << "records differ";
        EXPECT_TRUE(CheckCorrespondence(start, scrambled).ConnectivityAgrees());
        SufPiecePolygons = piece_polygons;
    }
}

// Flaps (one quad each) hung from corners of a strip of two quads, turned
// in the target by 60 degrees about those corners. Alone, a flap's corners
// would pair a quarter turn off, which moves them least; but the strip,
// paired before them, has paired the corners they hang from, and only the
// true order agrees. Walked alone on a lane of their own, the flaps yield:
// a flap of a structure of its own is walked ahead, one of two alike beside
// the strip.
TEST(Reorder, ObjectsWalkedAloneYieldToPositionsPairedBeforeThem) {
    // A unit square with its corner (0, 0) at (px, py), turned by ANGLE.
    const auto flap = [](Extended px, Extended py, Extended angle) {
        const Extended c = std::cos(angle), s = std::sin(angle);
        TTestPolygon quad{kKindPoly, 0, {}};
        for (const auto& [x, y] : {std::pair(0.0L, 0.0L), {1.0L, 0.0L}, {1.0L, 1.0L}, {0.0L, 1.0L}})
            quad.Corners.push_back(Corner(px + c * x - s * y, py + s * x + c * y, 0));
        return quad;
    };
    const Extended half_turn = std::numbers::pi_v<Extended>;
    const auto one = [&](Extended turn) {
        return TTestShape{{"strip", {Quad(0, 0), Quad(1, 0)}}, {"flap", {flap(2, 1, turn)}}};
    };
    const auto two = [&](Extended turn) {
        return TTestShape{{"strip", {Quad(0, 0), Quad(1, 0)}},
                          {"flapA", {flap(2, 1, turn)}},
                          {"flapB", {flap(0, 0, turn + half_turn)}}};
    };
    for (const auto& hinged : {std::function<TTestShape(Extended)>(one), std::function<TTestShape(Extended)>(two)})
        for (const std::size_t lanes : {SufParallelPolygons, std::size_t{1}}) {
            SCOPED_TRACE(lanes);
            const TParallelAt parallel_at(lanes);
            TTestBuilder builder;
            const TVANE_Object* start = builder.Build(hinged(0));
            const TTestShape turned = hinged(half_turn / 3);
            const TVANE_Object* target = builder.Build(turned);
            TVANE_Object* scrambled = builder.Build(Scrambled(turned, {true, true, true, false, false}));
            const TReorderResult order = FindOrder(start, scrambled);
            ASSERT_TRUE(order.Found());
            ApplyOrder(scrambled, order);
            EXPECT_TRUE(Dump(scrambled) == Dump(target)) << "records differ";
        }
}

TEST(Reorder, ReportsHowObjectsPairedAndWhatChanged) {
    TTestBuilder builder;
    const TTestShape shape = Parts();
    const TVANE_Object* start = builder.Build(shape);
    TVANE_Object* target = builder.Build(Scrambled(Moved(shape, 0), {true, false, false, true, false}));
    const TReorderResult order = FindOrder(start, target);
    ASSERT_TRUE(order.Found());
    ASSERT_EQ(order.Objects.size(), 4u);
    // "step" and "step2" share a structure and pair by name; "pair"'s two
    // strips share one and pair by the least movement.
    EXPECT_EQ(order.Objects[0].Target, 4);
    EXPECT_EQ(order.Objects[1].By, TPairedBy::Name);
    EXPECT_EQ(order.Objects[2].By, TPairedBy::Structure);  // the one left
    EXPECT_EQ(order.Objects[3].By, TPairedBy::Structure);
    EXPECT_EQ(order.Objects[0].Islands, 2);
    EXPECT_EQ(order.Islands, 5);
    EXPECT_EQ(order.Objects[0].Reversed, 4);  // "pair", mirrored, came last
    EXPECT_TRUE(order.Objects[0].Mirrored);
    EXPECT_FALSE(order.Objects[3].Mirrored);
    EXPECT_EQ(order.Moved, 11);  // every object changes place
    ASSERT_FALSE(order.Unique());
    EXPECT_EQ(order.Ambiguities[0].Place.Object, 1);
    EXPECT_GT(order.Ambiguities[0].Margin, 0);
}

TEST(Reorder, CubeMatchIsAmbiguousAmongItsSymmetries) {
    TTestBuilder builder;
    const TVANE_Object* start = builder.Build(Cube());
    const TVANE_Object* target = builder.Build(Moved(Cube(), 0));
    const TReorderResult order = FindOrder(start, target);
    ASSERT_TRUE(order.Found());
    ASSERT_EQ(order.AmbiguousChoices, 1);
    EXPECT_EQ(order.Ambiguities[0].Candidates, 48);
    EXPECT_GE(order.Ambiguities[0].Matches, 2);
    EXPECT_GT(order.Ambiguities[0].Margin, 0);
    EXPECT_EQ(order.Moved + order.Rotated + order.Reversed, 0);
}

struct TFailureRow {
    const char* Name;
    std::function<TTestShape()> Start;
    std::function<TTestShape()> Target;
    TReorderFailure Why;
    std::int64_t Object, Polygon, Vertex;
};

TEST(Reorder, FindsNoOrderAndSaysWhere) {
    const TTestPolygon triangle{kKindPoly, 0, {Corner(0, 9, 0), Corner(1, 9, 0), Corner(0, 8, 0)}};
    const auto strip = [] { return TTestShape{{"strip", {Quad(0, 0), Quad(1, 0), Quad(2, 0)}}}; };
    const auto fins = [] {
        // Three triangles on the edge from (0 0 0) to (1 0 0).
        TTestObject object{"fins", {}};
        for (const Extended z : {1.0L, -1.0L, 2.0L})
            object.Polygons.push_back({kKindPoly, 0, {Corner(0, 0, 0), Corner(1, 0, 0), Corner(0.5L, 1, z)}});
        return TTestShape{object};
    };
    const auto soup = [] {
        TTestObject object{"soup", {}};
        for (const Extended x : {0.0L, 5.0L})
            object.Polygons.push_back({kKindPoly, 0, {Corner(x, 0, 0), Corner(x + 1, 0, 0), Corner(x, 1, 0)}});
        return TTestShape{object};
    };
    // A quad with triangles hung from its corners (0, 0) and (1, Y).
    const auto glued = [](Extended x, Extended y) {
        return [=] {
            TTestPolygon a{kKindPoly, 0, {Corner(0, 0, 0), Corner(-1, 0, 0), Corner(-1, -1, 0)}};
            TTestPolygon b{kKindPoly, 0, {Corner(1, y, 0), Corner(2 + x, y, 0), Corner(2 + x, y - 1, 0)}};
            return TTestShape{{"glued", {Quad(0, 0), a, b}}};
        };
    };
    // Strips "a", "b" and "c", with polygon B of "b" and C of "c" of another kind.
    const auto strips = [&](int b, int c) {
        return [=] {
            TTestShape shape;
            for (const auto& [name, other] : {std::pair("a", -1), std::pair("b", b), std::pair("c", c)}) {
                TTestObject object = strip()[0];
                object.Name = name;
                if (other >= 0) object.Polygons[static_cast<std::size_t>(other)].Kind = kKindUvPoly;
                shape.push_back(object);
            }
            return shape;
        };
    };
    const TFailureRow rows[] = {
        {"a polygon fewer", strip, [&] { auto s = strip(); s[0].Polygons.pop_back(); return s; },
         TReorderFailure::PolygonCount, 0, 0, 0},
        {"vertices spread differently over objects",
         [&] { return TTestShape{{"a", {Quad(0, 0), Quad(1, 0)}}, {"b", {triangle}}}; },
         [&] { return TTestShape{{"a", {Quad(0, 0), triangle}}, {"b", {Quad(5, 5)}}}; },
         TReorderFailure::NoObject, 1, 0, 0},
        {"neighbours differ: the third quad turns a corner", strip, [] { return TTestShape{{"strip", {Quad(0, 0), Quad(1, 0), Quad(1, 1)}}}; },
         TReorderFailure::Neighbours, 1, 2, 2},
        {"three polygons on one edge", fins, fins, TReorderFailure::NonManifold, 1, 1, 1},
        {"a polygon soup", soup, soup, TReorderFailure::Soup, 1, 1, 0},
        {"corners glued elsewhere: a triangle at the opposite corner of the quad", glued(1, 1), glued(0, 0),
         TReorderFailure::Corner, 1, 3, 1},
        {"the second of three objects fails, and the third", strips(-1, -1),
         strips(1, 0), TReorderFailure::Kind, 2, 2, 0},
        {"another kind", strip, [&] { auto s = strip(); s[0].Polygons[1].Kind = kKindUvPoly; return s; },
         TReorderFailure::Kind, 1, 2, 0},
    };
    for (const TFailureRow& row : rows) for (const std::size_t lanes : {SufParallelPolygons, std::size_t{1}}) {
        SCOPED_TRACE(row.Name);
        SCOPED_TRACE(lanes);
        const TParallelAt parallel_at(lanes);
        TTestBuilder builder;
        const TVANE_Object* start = builder.Build(row.Start());
        TVANE_Object* target = builder.Build(row.Target());
        const std::string before = Dump(target);
        const TReorderResult order = FindOrder(start, target);
        EXPECT_EQ(order.Failure, row.Why);
        EXPECT_EQ(order.Place.Object, row.Object);
        EXPECT_EQ(order.Place.Polygon, row.Polygon);
        EXPECT_EQ(order.Place.Vertex, row.Vertex);
        EXPECT_EQ(Dump(target), before);
    }
}

}  // namespace
