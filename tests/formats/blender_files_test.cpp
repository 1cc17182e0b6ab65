// Files Blender wrote (tests/data/README.md says how): each imports with
// the mesh's counts and values, and the formats agree on the positions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/import.h"
#include "tests/shape/test_util.h"

namespace {

using test_util::Shape;

std::string Data(const char* name) { return std::string(PLIVRA_SOURCE_DIR) + "/tests/data/" + name; }

struct TCorner {
    double x, y, z;
};

// Every corner's position, polygon by polygon, of a list of one object.
std::vector<TCorner> Positions(const TVANE_Object* o, std::size_t& polygons) {
    std::vector<TCorner> out;
    polygons = 0;
    for (const TVANE_Polygon* p = o->Polygons; p != nullptr; p = p->Next, ++polygons) {
        for (const TVANE_Vertex* v = p->Vertices; v != nullptr; v = v->Next)
            out.push_back({static_cast<double>(v->X), static_cast<double>(v->Y), static_cast<double>(v->Z)});
    }
    return out;
}

TEST(ImportBlenderFiles, GiveTheIcoSphereInEveryFormat) {
    struct Row {
        const char* file;
        const char* object;
        std::uint8_t kind;
        double tolerance;  // against the OBJ's positions: 0 for text of the same digits
        TVANE_Vertex second;  // the first polygon's second corner
    };
    // Blender writes text rounded to 6 decimals (4 for OBJ normals); the
    // binary files hold the floats, within half a 6th decimal of the text.
    TVANE_Vertex obj_second, ply_second, stl_second;
    obj_second.X = 0.7236, obj_second.Y = -0.52572, obj_second.Z = -0.447215;
    obj_second.NX = 0.7236, obj_second.NY = -0.5257, obj_second.NZ = -0.4472;
    obj_second.U = 0.272728, obj_second.V = 0.157461;
    ply_second = obj_second;
    ply_second.NX = 0.723607, ply_second.NY = -0.525731, ply_second.NZ = -0.447214;
    stl_second = obj_second;
    stl_second.NX = 0.187597, stl_second.NY = -0.577354, stl_second.NZ = -0.794651;
    stl_second.U = stl_second.V = 0;
    const Row rows[] = {{"blender_ico.obj", "Icosphere", kKindUvShade, 0, obj_second},
                        {"blender_ico_ascii.ply", "default", kKindUvShade, 0, ply_second},
                        {"blender_ico_binary.ply", "default", kKindUvShade, 5e-7, ply_second},
                        {"blender_ico_ascii.stl", "Exported", kKindShade, 0, stl_second},
                        {"blender_ico_binary.stl", "Exported", kKindShade, 5e-7, stl_second}};
    std::vector<TCorner> obj_positions;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        Shape shape(ImportShape(Data(row.file)));
        ASSERT_NE(shape.get(), nullptr);
        EXPECT_EQ(shape->Next, nullptr);
        EXPECT_EQ(shape->Name, row.object);
        std::size_t polygons = 0;
        const std::vector<TCorner> positions = Positions(shape.get(), polygons);
        EXPECT_EQ(polygons, 20u);
        ASSERT_EQ(positions.size(), 60u);
        for (const TVANE_Polygon* p = shape->Polygons; p != nullptr; p = p->Next) EXPECT_EQ(p->Kind, row.kind);
        const TVANE_Vertex* first = shape->Polygons->Vertices;
        EXPECT_EQ(first->X, 0);
        EXPECT_EQ(first->Y, 0);
        EXPECT_EQ(first->Z, -1);
        const TVANE_Vertex* v = first->Next;
        const double tolerance = row.tolerance;
        for (auto [got, want] : {std::pair{v->X, row.second.X}, {v->Y, row.second.Y}, {v->Z, row.second.Z},
                                 {v->NX, row.second.NX}, {v->NY, row.second.NY}, {v->NZ, row.second.NZ},
                                 {v->U, row.second.U}, {v->V, row.second.V}}) {
            EXPECT_NEAR(static_cast<double>(got), static_cast<double>(want), tolerance);
        }
        if (obj_positions.empty()) {
            obj_positions = positions;
            continue;
        }
        for (std::size_t i = 0; i < positions.size(); ++i) {
            EXPECT_NEAR(positions[i].x, obj_positions[i].x, tolerance) << "corner " << i;
            EXPECT_NEAR(positions[i].y, obj_positions[i].y, tolerance) << "corner " << i;
            EXPECT_NEAR(positions[i].z, obj_positions[i].z, tolerance) << "corner " << i;
        }
    }
}

}  // namespace
