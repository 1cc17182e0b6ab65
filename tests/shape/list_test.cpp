#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "shape/state.h"
#include "shape/vane.h"
#include "tests/shape/test_util.h"

using test_util::Dump;
using test_util::Extents;
using test_util::Shape;

namespace {

std::vector<int> KindsOf(const TVANE_Object* o) {
    std::vector<int> kinds;
    for (const TVANE_Polygon* p = o->Polygons; p != nullptr; p = p->Next) kinds.push_back(p->Kind);
    return kinds;
}

int CountAttributes(const TVANE_Object* o) {
    int n = 0;
    for (const TVANE_Attribute* a = o->Attributes; a != nullptr; a = a->Next) ++n;
    return n;
}

// Appends a polygon of kind `kind` with attribute `attr` ("" for none) and
// the given vertices (x only, y = 2x, z = 3x, normals and uv = x + 0.5).
TVANE_Polygon* AddPolygon(TVANE_Object* o, const char* attr, std::uint8_t kind,
                          std::vector<Extended> xs) {
    TVANE_Polygon* p = *attr ? VANE->NewSufPolygon(attr, kind, o) : new TVANE_Polygon{};
    p->Kind = kind;
    for (auto it = xs.rbegin(); it != xs.rend(); ++it) {
        Extended x = *it, h = x + 0.5L;
        VANE->InsertSufVertex(p, VANE->NewSufVertex(x, 2 * x, 3 * x, h, h, h, h, h));
    }
    // Append behind the last polygon, so the object keeps the order of the calls.
    TVANE_Polygon* last = o->Polygons;
    while (last != nullptr && last->Next != nullptr) last = last->Next;
    if (last == nullptr) {
        o->Polygons = p;
    } else {
        last->Next = p;
        p->Prev = last;
    }
    return p;
}

// obj a:  [poly red: 1 2 3] [shade -: (no vertices)] [uvshade green: 0.1]
// obj b:  no polygons
// obj c:  [uvpoly red: 1e-3000]
// The objects share attribute records the way the reader builds them: each
// object's list is a tail of the next one's.
TVANE_Object* BuildSample() {
    TVANE_Object* a = VANE->NewSufObject("a");
    AddPolygon(a, "red", kKindPoly, {1, 2, 3});
    AddPolygon(a, "", kKindShade, {});
    AddPolygon(a, "green", kKindUvShade, {0.1L});
    a->MinX = -1, a->MaxZ = 7;
    TVANE_Object* b = VANE->NewSufObject("b");
    b->Attributes = a->Attributes;
    b->MinY = 4;
    TVANE_Object* c = VANE->NewSufObject("c");
    c->Attributes = b->Attributes;
    AddPolygon(c, "red", kKindUvPoly, {1e-3000L})->Marked = 1;
    a->Next = b, b->Prev = a, b->Next = c, c->Prev = b;
    return a;
}

TEST(NewSufPolygon, LooksUpOrAddsTheAttributeAtTheFront) {
    Shape s(VANE->NewSufObject("o"));
    TVANE_Polygon* p1 = VANE->NewSufPolygon("red", 3, s.get());
    TVANE_Polygon* p2 = VANE->NewSufPolygon("Red", 1, s.get());
    TVANE_Polygon* p3 = VANE->NewSufPolygon("red", 2, s.get());
    ASSERT_EQ(CountAttributes(s.get()), 2);
    EXPECT_EQ(s->Attributes->Name, "Red");  // newest first
    EXPECT_EQ(p1->Attribute, p3->Attribute);
    EXPECT_NE(p1->Attribute, p2->Attribute);
    EXPECT_EQ(p1->Kind, 3);
    EXPECT_EQ(p1->Marked, 0);
    EXPECT_EQ(s->Polygons, nullptr);  // not linked
    for (TVANE_Polygon* p : {p1, p2, p3}) {
        VANE->InsertSufPolygon(s.get(), p);
    }
    EXPECT_EQ(KindsOf(s.get()), (std::vector<int>{2, 1, 3}));
}

TEST(InsertSuf, PutsRecordsAtTheFrontWithConsistentLinks) {
    Shape s(VANE->NewSufObject("o"));
    TVANE_Polygon* p = VANE->NewSufPolygon("", 0, s.get());
    VANE->InsertSufPolygon(s.get(), p);
    for (int i = 3; i >= 1; --i) VANE->InsertSufVertex(p, VANE->NewSufVertex(i, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(Dump(s.get()),
              "obj 'o'\n prim 0 marked 0 atr ''\n"
              "  1 0 0 0 0 0 0 0 m0\n  2 0 0 0 0 0 0 0 m0\n  3 0 0 0 0 0 0 0 m0\n");
}

TEST(DeleteSufPolygon, UnlinksHeadMiddleAndTail) {
    struct Case {
        int remove;  // index among kinds 0, 1, 2, 3
        std::vector<int> left;
    };
    for (const Case& c : {Case{0, {1, 2, 3}}, Case{1, {0, 2, 3}}, Case{3, {0, 1, 2}}}) {
        Shape s(VANE->NewSufObject("o"));
        std::vector<TVANE_Polygon*> polys;
        for (std::uint8_t k = 0; k < 4; ++k) polys.push_back(AddPolygon(s.get(), "x", k, {1, 2}));
        VANE->DeleteSufPolygon(s.get(), polys[static_cast<std::size_t>(c.remove)]);
        EXPECT_EQ(KindsOf(s.get()), c.left) << "removing " << c.remove;
        EXPECT_EQ(Dump(s.get()).find("BAD-PREV"), std::string::npos);
    }
    Shape single(VANE->NewSufObject("o"));
    VANE->DeleteSufPolygon(single.get(), AddPolygon(single.get(), "", 0, {1}));
    EXPECT_EQ(single->Polygons, nullptr);
}

TEST(FreeSuf, ReleasesSharedAttributesOnceAndClearsTheReference) {
    TVANE_Object* shape = BuildSample();
    VANE->FreeSuf(shape);  // a double release or a leak fails the sanitizer build
    EXPECT_EQ(shape, nullptr);
    VANE->FreeSuf(shape);
    EXPECT_EQ(shape, nullptr);

    // Two unrelated lists holding the same name are two records.
    TVANE_Object* a = VANE->NewSufObject("a");
    TVANE_Object* b = VANE->NewSufObject("b");
    VANE->InsertSufPolygon(a, VANE->NewSufPolygon("x", 0, a));
    VANE->InsertSufPolygon(b, VANE->NewSufPolygon("x", 0, b));
    // A record no polygon uses still belongs to the list.
    delete VANE->NewSufPolygon("y", 0, b);
    a->Next = b, b->Prev = a;
    VANE->FreeSuf(a);
    EXPECT_EQ(a, nullptr);
}

TEST(CopySuf, CopiesOrderValuesAndFlagsWithOwnAttributeLists) {
    Shape src(BuildSample());
    Shape copy(VANE->CopySuf(src.get()));
    ASSERT_NE(copy.get(), nullptr);
    // Vertices made by NewSufVertex are unmarked in both, polygons keep Marked.
    EXPECT_EQ(Dump(copy.get()), Dump(src.get()));
    EXPECT_EQ(Dump(copy.get()).find("BAD-PREV"), std::string::npos);
    for (const TVANE_Object *s = src.get(), *c = copy.get(); s != nullptr; s = s->Next, c = c->Next) {
        EXPECT_EQ(Extents(c), Extents(s));
    }

    // Each copied object holds exactly the names its polygons use.
    const TVANE_Object* a = copy.get();
    const TVANE_Object* b = a->Next;
    const TVANE_Object* c = b->Next;
    EXPECT_EQ(CountAttributes(a), 2);
    EXPECT_EQ(CountAttributes(b), 0);
    EXPECT_EQ(CountAttributes(c), 1);
    EXPECT_NE(a->Polygons->Attribute, c->Polygons->Attribute);
    EXPECT_EQ(a->Polygons->Next->Attribute, nullptr);
    EXPECT_EQ(a->Polygons->Attribute->Name, "red");

    // The copy is independent of its source.
    a->Polygons->Vertices->X = 99;
    EXPECT_EQ(src->Polygons->Vertices->X, 1);
    EXPECT_EQ(VANE->CopySuf(nullptr), nullptr);
}

// A long attribute name that a thousand objects inherit, as the reader
// gives it: each copied object gets a record of its own, but the bytes of
// the name are held once, not once per object.
TEST(CopySuf, CopiedRecordsShareTheBytesOfTheirNames) {
    test_util::ShapeFiles files;
    const std::string name(100'000, 'n');
    std::string text = "obj suf o {\r\natr " + name + "\r\n";
    for (int i = 0; i < 1000; ++i) text += "obj suf o {\r\nprim poly (\r\n0 0 0\r\n)\r\n}\r\n";
    TVANE_Object* src = files.Load(text);
    ASSERT_NE(src, nullptr) << SufErrorMessage;

    Shape copy(VANE->CopySuf(src));
    const char* bytes = src->Attributes->Name.data();
    int objects = 0, own_records = 0, shared_bytes = 0;
    for (const TVANE_Object *s = src, *c = copy.get(); s != nullptr; s = s->Next, c = c->Next) {
        ASSERT_NE(c, nullptr);
        if (c->Polygons == nullptr) continue;
        const TVANE_Attribute* record = c->Polygons->Attribute;
        ASSERT_NE(record, nullptr);
        ++objects;
        own_records += record == c->Attributes && record != s->Polygons->Attribute && record->Name == name;
        shared_bytes += record->Name.data() == bytes;
    }
    EXPECT_EQ(objects, 1000);
    EXPECT_EQ(own_records, 1000);
    EXPECT_EQ(shared_bytes, 1000);
}

TEST(CalcSufExtents, BoxesAllVerticesOfTheObject) {
    Shape s(VANE->NewSufObject("o"));
    TVANE_Polygon* p = AddPolygon(s.get(), "", 0, {});
    VANE->InsertSufVertex(p, VANE->NewSufVertex(3, 4, 0, 0, 0, 0, 0, 0));
    VANE->InsertSufVertex(p, VANE->NewSufVertex(1, 5, -2, 0, 0, 0, 0, 0));
    AddPolygon(s.get(), "", 0, {});  // a polygon without vertices is passed over
    s->MaxX = 100;
    VANE->CalcSufExtents(s.get());
    EXPECT_EQ(Extents(s.get()), "1 4 -2 / 3 5 0");

    // Vertices of a later polygon count too, and only the box changes.
    AddPolygon(s.get(), "", 0, {-10});
    VANE->CalcSufExtents(s.get());
    EXPECT_EQ(Extents(s.get()), "-10 -20 -30 / 3 5 0");

    Shape empty(VANE->NewSufObject("e"));
    empty->MinX = -3, empty->MaxY = 8;
    AddPolygon(empty.get(), "", 0, {});
    VANE->CalcSufExtents(empty.get());
    EXPECT_EQ(Extents(empty.get()), "-3 0 0 / 0 8 0");
    VANE->CalcSufExtents(nullptr);
}

// Records keep the ten bytes of an extended real: values no double holds,
// the smallest subnormal, a negative zero and a NaN's payload come back bit
// for bit, and arithmetic on a field stays in 80 bits.
TEST(NewSufVertex, KeepsEveryBitOfTheExtendedValues) {
    const Extended third = 1.0L / 3;
    const Extended values[8] = {third,
                                -third * 1e4000L,
                                std::numeric_limits<Extended>::denorm_min(),
                                -0.0L,
                                std::numeric_limits<Extended>::max(),
                                std::numeric_limits<Extended>::quiet_NaN(),
                                -std::numeric_limits<Extended>::infinity(),
                                1 + std::numeric_limits<Extended>::epsilon()};
    TVANE_Vertex* v = VANE->NewSufVertex(values[0], values[1], values[2], values[3], values[4],
                                         values[5], values[6], values[7]);
    ASSERT_NE(v, nullptr);
    const Extended back[8] = {v->X, v->Y, v->Z, v->NX, v->NY, v->NZ, v->U, v->V};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(std::memcmp(&back[i], &values[i], 10), 0) << i;
    v->X += 1;
    v->X *= 2;
    const Extended sum = (third + 1) * 2;
    EXPECT_EQ(static_cast<Extended>(v->X), sum);
    EXPECT_NE(static_cast<Extended>(v->X), static_cast<Extended>(static_cast<double>(sum)));
    delete v;
}

TEST(VANE_Source, StopReleasesTestSufAndClearsTheMessage) {
    VANE_SourceInitialize();
    EXPECT_EQ(TestSuf, nullptr);
    TestSuf = BuildSample();
    SufErrorMessage = "x";
    VANE_SourceFinalize();  // the sanitizer build reports the shape if it stays
    EXPECT_EQ(TestSuf, nullptr);
    EXPECT_EQ(SufErrorMessage, "");
    EXPECT_FALSE(SufFileOpen);
}

}  // namespace
