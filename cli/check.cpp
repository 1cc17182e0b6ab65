// check: whether START and TARGET correspond, object by object, polygon by
// polygon and vertex by vertex, and the first place where they stop.
#include <cstdio>
#include <string>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/shape_files.h"

namespace {

constexpr TUsage kCheckUsage = {
    "check", "START.suf TARGET.suf",
    "Counts the objects, polygons and vertices of both shapes and tells whether\n"
    "they correspond: the same number of objects, of polygons in each object and\n"
    "of vertices in each polygon. Otherwise names the first place (1-based\n"
    "object, polygon and vertex numbers, object names) where they stop.\n"
    "Exit status 0 when they correspond, 1 when not.\n"};

struct TCounts {
    long long Objects = 0, Polygons = 0, Vertices = 0;
};

template <typename T>
long long Length(const T* head) {
    long long n = 0;
    for (; head; head = head->Next) ++n;
    return n;
}

TCounts Count(const TVANE_Object* shape) {
    TCounts counts;
    for (; shape; shape = shape->Next) {
        ++counts.Objects;
        for (const TVANE_Polygon* p = shape->Polygons; p; p = p->Next) {
            ++counts.Polygons;
            counts.Vertices += Length(p->Vertices);
        }
    }
    return counts;
}

void PrintCounts(const char* role, const std::string& file_name, const TCounts& counts) {
    std::printf("%s ", role);
    PutBytes(file_name, stdout);
    std::printf(": %lld objects, %lld polygons, %lld vertices\n", counts.Objects,
                counts.Polygons, counts.Vertices);
}

// 'object 2 ("lid" / "lid")'
void PrintObject(long long index, const TVANE_Object* start, const TVANE_Object* target) {
    std::printf("object %lld (\"", index);
    PutBytes(start->Name, stdout);
    std::fputs("\" / \"", stdout);
    PutBytes(target->Name, stdout);
    std::fputs("\")", stdout);
}

// Walks both shapes in step and prints the first place where one list ends
// before the other. Returns true when none does.
bool Correspond(const TVANE_Object* start, const TVANE_Object* target) {
    long long object_index = 1;
    for (; start && target; start = start->Next, target = target->Next, ++object_index) {
        const TVANE_Polygon* start_poly = start->Polygons;
        const TVANE_Polygon* target_poly = target->Polygons;
        long long polygon_index = 1;
        for (; start_poly && target_poly;
             start_poly = start_poly->Next, target_poly = target_poly->Next, ++polygon_index) {
            const long long start_vertices = Length(start_poly->Vertices);
            const long long target_vertices = Length(target_poly->Vertices);
            if (start_vertices == target_vertices) continue;
            std::fputs("first mismatch: ", stdout);
            PrintObject(object_index, start, target);
            std::printf(", polygon %lld: start has %lld vertices, target %lld (vertex %lld has no partner)\n",
                        polygon_index, start_vertices, target_vertices,
                        (start_vertices < target_vertices ? start_vertices : target_vertices) + 1);
            return false;
        }
        if (start_poly || target_poly) {
            const long long start_polygons = Length(start->Polygons);
            const long long target_polygons = Length(target->Polygons);
            std::fputs("first mismatch: ", stdout);
            PrintObject(object_index, start, target);
            std::printf(": start has %lld polygons, target %lld (polygon %lld has no partner)\n",
                        start_polygons, target_polygons, polygon_index);
            return false;
        }
    }
    if (start || target) {
        const TVANE_Object* extra = start ? start : target;
        std::printf("first mismatch: object %lld (\"", object_index);
        PutBytes(extra->Name, stdout);
        std::printf("\") of the %s has no partner in the %s\n", start ? "start" : "target",
                    start ? "target" : "start");
        return false;
    }
    return true;
}

}  // namespace

int RunCheck(int argc, char** argv) {
    TArguments args;
    if (!ParseArguments(argc, argv, kCheckUsage, {}, args)) return kExitUsage;
    if (args.Help) return ShowHelp(kCheckUsage);
    if (args.Positionals.size() != 2) return UsageError(kCheckUsage, "needs two arguments");

    const std::string start_name(args.Positionals[0]), target_name(args.Positionals[1]);
    TShapeList start, target;
    if (!LoadShapeFile(start_name, start)) return kExitFailed;
    if (!LoadShapeFile(target_name, target)) return kExitFailed;
    PrintCounts("start ", start_name, Count(start.Get()));
    PrintCounts("target", target_name, Count(target.Get()));
    if (!Correspond(start.Get(), target.Get())) return kExitFailed;
    std::puts("the shapes correspond: every object, polygon and vertex has a partner");
    return kExitOk;
}
