// Records of loaded and copied shapes live in shared blocks: releasing them
// one at a time, mixing them with records made on their own, and moving
// them into another shape must all keep every record valid until it is
// released and give every block back in the end. Under the sanitizer build a
// record used after its release or a record never released fails the run.
#include <gtest/gtest.h>

#include <string>

#include "shape/arena.h"
#include "shape/state.h"
#include "shape/vane.h"
#include "shape/probes.h"
#include "tests/shape/test_util.h"

namespace {

using test_util::Dump;

// `triangles` one-line triangles in one object; vertex i of triangle t has
// X = t, Y = i. Enough of them fill several blocks.
std::string Triangles(int triangles) {
    std::string text = "obj suf sheet {\r\natr a\r\n";
    for (int t = 0; t < triangles; ++t) {
        const std::string x = std::to_string(t);
        for (const std::string& part : {"prim poly ( " + x, " 0 0  " + x, " 1 0  " + x}) text += part;
        text += " 2 0 )\r\n";
    }
    return text + "}\r\n";
}

int CountPolygons(const TVANE_Object* o) {
    int n = 0;
    for (const TVANE_Polygon* p = o->Polygons; p != nullptr; p = p->Next) ++n;
    return n;
}

class RecordBlocks : public ::testing::Test {
protected:
    void SetUp() override {
        VANE_SourceInitialize();
        blocks_before_ = RecordBlocksInUse();
    }
    // Loads `text`; the test releases the shape itself.
    TVANE_Object* Load(const std::string& text) {
        const std::string path = dir_.Path("shape.suf");
        test_util::WriteFile(path, text);
        return VANE->LoadSuf(path);
    }
    std::size_t blocks_before_ = 0;
    test_util::TempDir dir_;
};

TEST_F(RecordBlocks, FreeSufGivesEveryBlockBack) {
    TVANE_Object* shape = Load(Triangles(6000));  // 2.9 MB of vertices: blocks of both kinds
    ASSERT_NE(shape, nullptr);
    EXPECT_GT(RecordBlocksInUse(), blocks_before_ + 4);
    TVANE_Object* copy = VANE->CopySuf(shape);
    ASSERT_NE(copy, nullptr);
    // Copied vertices are made afresh, so they are not marked as read.
    std::string expected = Dump(shape);
    for (std::size_t at = 0; (at = expected.find(" m1", at)) != std::string::npos;) expected[at + 2] = '0';
    EXPECT_EQ(Dump(copy), expected);
    VANE->FreeSuf(copy);
    VANE->FreeSuf(shape);
    EXPECT_EQ(RecordBlocksInUse(), blocks_before_);
}

TEST_F(RecordBlocks, DeleteSufPolygonAndOwnRecordsMixInOneList) {
    TVANE_Object* shape = Load(Triangles(1000));
    ASSERT_NE(shape, nullptr);
    // Release every other polygon one at a time; the rest must read unchanged.
    for (TVANE_Polygon* p = shape->Polygons; p != nullptr && p->Next != nullptr;) {
        TVANE_Polygon* next = p->Next->Next;
        VANE->DeleteSufPolygon(shape, p->Next);
        p = next;
    }
    EXPECT_EQ(CountPolygons(shape), 500);
    int t = 0;
    for (const TVANE_Polygon* p = shape->Polygons; p != nullptr; p = p->Next, t += 2) {
        ASSERT_EQ(p->Vertices->X, t);
        ASSERT_EQ(p->Vertices->Next->Next->Y, 2);
    }
    // Records made on their own, in a loaded polygon and as a polygon of their own.
    VANE->InsertSufVertex(shape->Polygons, VANE->NewSufVertex(7, 8, 9, 0, 0, 0, 0, 0));
    TVANE_Polygon* own = VANE->NewSufPolygon("b", kKindPoly, shape);
    VANE->InsertSufVertex(own, VANE->NewSufVertex(1, 2, 3, 0, 0, 0, 0, 0));
    VANE->InsertSufPolygon(shape, own);
    EXPECT_EQ(shape->Polygons->Next->Vertices->X, 7);
    // The head (own record) and a loaded one go one at a time too.
    VANE->DeleteSufPolygon(shape, shape->Polygons);
    VANE->DeleteSufPolygon(shape, shape->Polygons);
    EXPECT_EQ(CountPolygons(shape), 499);
    EXPECT_EQ(shape->Polygons->Vertices->X, 2);
    VANE->FreeSuf(shape);
    EXPECT_EQ(RecordBlocksInUse(), blocks_before_);
}

TEST_F(RecordBlocks, RecordMovedIntoAnotherShapeOutlivesItsSource) {
    TVANE_Object* source = Load(Triangles(10));
    ASSERT_NE(source, nullptr);
    TVANE_Object* target = VANE->NewSufObject("target");
    ASSERT_NE(target, nullptr);
    // Take the second polygon out by hand and give it to the other object.
    TVANE_Polygon* moved = source->Polygons->Next;
    source->Polygons->Next = moved->Next;
    moved->Next->Prev = source->Polygons;
    moved->Attribute = nullptr;
    VANE->InsertSufPolygon(target, moved);
    VANE->FreeSuf(source);
    EXPECT_GT(RecordBlocksInUse(), blocks_before_);  // the moved records keep their blocks
    EXPECT_EQ(target->Polygons->Vertices->Next->Next->X, 1);
    EXPECT_EQ(target->Polygons->Vertices->Next->Next->Y, 2);
    VANE->FreeSuf(target);
    EXPECT_EQ(RecordBlocksInUse(), blocks_before_);
}

}  // namespace
