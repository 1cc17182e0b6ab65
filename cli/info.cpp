// info: what a shape file holds.
#include <cstdio>
#include <string>
#include <unordered_set>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/shape_files.h"

namespace {

constexpr TUsage kInfoUsage = {
    "info", "FILE.suf",
    "Lists the objects of the shape (number, name, polygons, vertices, extents),\n"
    "the polygons by kind, the vertices, the attribute names in the order they\n"
    "first appear, and the extents of the whole shape.\n"};

constexpr const char* kKindNames[] = {"poly", "shade", "uvpoly", "uvshade"};

struct TBox {
    bool Empty = true;
    Extended MinX = 0, MinY = 0, MinZ = 0, MaxX = 0, MaxY = 0, MaxZ = 0;

    void Add(const TVANE_Object& obj) {
        if (Empty) {
            MinX = obj.MinX, MinY = obj.MinY, MinZ = obj.MinZ;
            MaxX = obj.MaxX, MaxY = obj.MaxY, MaxZ = obj.MaxZ;
            Empty = false;
            return;
        }
        if (obj.MinX < MinX) MinX = obj.MinX;
        if (obj.MinY < MinY) MinY = obj.MinY;
        if (obj.MinZ < MinZ) MinZ = obj.MinZ;
        if (obj.MaxX > MaxX) MaxX = obj.MaxX;
        if (obj.MaxY > MaxY) MaxY = obj.MaxY;
        if (obj.MaxZ > MaxZ) MaxZ = obj.MaxZ;
    }
};

void PrintBox(const TBox& box) {
    if (box.Empty) {
        std::fputs("no vertices", stdout);
        return;
    }
    std::printf("X %.15Lg .. %.15Lg, Y %.15Lg .. %.15Lg, Z %.15Lg .. %.15Lg", box.MinX, box.MaxX,
                box.MinY, box.MaxY, box.MinZ, box.MaxZ);
}

// Attribute names of the whole shape, oldest first. An object's list is
// newest first and may share its tail with the lists of earlier objects, so
// each object contributes only the records in front of the first one seen.
std::vector<const std::string*> AttributeNames(const TVANE_Object* shape) {
    std::unordered_set<const TVANE_Attribute*> seen_records;
    std::unordered_set<std::string> seen_names;
    std::vector<const std::string*> names;
    std::vector<const TVANE_Attribute*> fresh;
    for (; shape; shape = shape->Next) {
        fresh.clear();
        for (const TVANE_Attribute* a = shape->Attributes; a && !seen_records.count(a); a = a->Next)
            fresh.push_back(a);
        for (auto it = fresh.rbegin(); it != fresh.rend(); ++it) {
            seen_records.insert(*it);
            if (seen_names.insert((*it)->Name).second) names.push_back(&(*it)->Name);
        }
    }
    return names;
}

}  // namespace

int RunInfo(int argc, char** argv) {
    TArguments args;
    if (!ParseArguments(argc, argv, kInfoUsage, {}, args)) return kExitUsage;
    if (args.Help) return ShowHelp(kInfoUsage);
    if (args.Positionals.size() != 1) return UsageError(kInfoUsage, "needs one argument");

    const std::string file_name(args.Positionals[0]);
    TShapeList shape;
    if (!LoadShapeFile(file_name, shape)) return kExitFailed;

    long long objects = 0, polygons = 0, vertices = 0;
    long long by_kind[4] = {};
    TBox whole;
    for (const TVANE_Object* obj = shape.Get(); obj; obj = obj->Next) ++objects;
    std::fputs("file: ", stdout);
    PutBytes(file_name, stdout);
    std::printf("\nobjects: %lld\n", objects);
    long long index = 1;
    for (const TVANE_Object* obj = shape.Get(); obj; obj = obj->Next, ++index) {
        long long obj_polygons = 0, obj_vertices = 0;
        for (const TVANE_Polygon* p = obj->Polygons; p; p = p->Next) {
            ++obj_polygons;
            if (p->Kind < 4) ++by_kind[p->Kind];
            for (const TVANE_Vertex* v = p->Vertices; v; v = v->Next) ++obj_vertices;
        }
        TBox box;
        if (obj_vertices > 0) {
            box.Add(*obj);
            whole.Add(*obj);
        }
        std::printf("  %lld \"", index);
        PutBytes(obj->Name, stdout);
        std::printf("\": %lld polygons, %lld vertices, ", obj_polygons, obj_vertices);
        PrintBox(box);
        std::fputc('\n', stdout);
        polygons += obj_polygons;
        vertices += obj_vertices;
    }
    std::printf("polygons: %lld (", polygons);
    for (int kind = 0; kind < 4; ++kind)
        std::printf("%s%s %lld", kind ? ", " : "", kKindNames[kind], by_kind[kind]);
    std::printf(")\nvertices: %lld\nattributes:", vertices);
    const std::vector<const std::string*> names = AttributeNames(shape.Get());
    if (names.empty()) std::fputs(" none", stdout);
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::fputs(i ? ", " : " ", stdout);
        PutBytes(*names[i], stdout);
    }
    std::fputs("\nextents: ", stdout);
    PrintBox(whole);
    std::fputc('\n', stdout);
    return kExitOk;
}
