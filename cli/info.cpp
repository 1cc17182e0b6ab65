// info: what a shape file holds.
#include <cstdio>
#include <string>
#include <unordered_set>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/json.h"
#include "cli/shape_files.h"
#include "shape/extents.h"
#include "shape/kinds.h"

namespace {

constexpr TUsage kInfoUsage = {
    "info", "FILE.suf [--json]",
    "Lists the objects of the shape (number, name, polygons, vertices, extents),\n"
    "the polygons by kind, the vertices, the attribute names in the order they\n"
    "first appear, and the extents of the whole shape; for a glTF file also its\n"
    "morph targets (name, and how many of the file's vertices each moves).\n"
    "\n"
    "  --json  print the same as one JSON object; extents are null for an\n"
    "          object without vertices\n"};


using TBox = TBoxGrowth<Extended>;

void PrintBox(const TBox& growth) {
    if (growth.Empty()) {
        std::fputs("no vertices", stdout);
        return;
    }
    const TVANE_Extents box = growth.Box();
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
            const TVANE_Attribute* record = *it;
            seen_records.insert(record);
            if (seen_names.insert(record->Name).second) names.push_back(&record->Name.Bytes());
        }
    }
    return names;
}

struct TObjectFacts {
    const TVANE_Object* Object = nullptr;
    long long Polygons = 0;
    long long Vertices = 0;
    TBox Box;
};

struct TShapeFacts {
    std::vector<TObjectFacts> Objects;
    long long Polygons = 0;
    long long Vertices = 0;
    long long ByKind[kKindCount] = {};
    TBox Whole;
    std::vector<const std::string*> Attributes;
    std::vector<TImportedTarget> Targets;  // of a glTF file
};

TShapeFacts Gather(const TVANE_Object* shape) {
    TShapeFacts facts;
    for (const TVANE_Object* obj = shape; obj; obj = obj->Next) {
        TObjectFacts& object = facts.Objects.emplace_back();
        object.Object = obj;
        for (const TVANE_Polygon* p = obj->Polygons; p; p = p->Next) {
            ++object.Polygons;
            if (p->Kind < kKindCount) ++facts.ByKind[p->Kind];
            for (const TVANE_Vertex* v = p->Vertices; v; v = v->Next) ++object.Vertices;
        }
        if (object.Vertices > 0) {
            object.Box.Add(ObjectExtents(*obj));
            facts.Whole.Add(ObjectExtents(*obj));
        }
        facts.Polygons += object.Polygons;
        facts.Vertices += object.Vertices;
    }
    facts.Attributes = AttributeNames(shape);
    return facts;
}

void PrintText(const std::string& file_name, const TShapeFacts& facts) {
    std::fputs("file: ", stdout);
    PutBytes(file_name, stdout);
    std::printf("\nobjects: %zu\n", facts.Objects.size());
    long long index = 1;
    for (const TObjectFacts& object : facts.Objects) {
        std::printf("  %lld \"", index++);
        PutName(object.Object->Name, stdout);
        std::printf("\": %lld polygons, %lld vertices, ", object.Polygons, object.Vertices);
        PrintBox(object.Box);
        std::fputc('\n', stdout);
    }
    std::printf("polygons: %lld (", facts.Polygons);
    for (std::size_t kind = 0; kind < kKindCount; ++kind)
        std::printf("%s%s %lld", kind ? ", " : "", kKinds[kind].Keyword.data(), facts.ByKind[kind]);
    std::printf(")\nvertices: %lld\nattributes:", facts.Vertices);
    if (facts.Attributes.empty()) std::fputs(" none", stdout);
    for (std::size_t i = 0; i < facts.Attributes.size(); ++i) {
        std::fputs(i ? ", " : " ", stdout);
        PutName(*facts.Attributes[i], stdout);
    }
    std::fputs("\nextents: ", stdout);
    PrintBox(facts.Whole);
    std::fputc('\n', stdout);
    if (facts.Targets.empty()) return;
    std::printf("morph targets: %zu\n", facts.Targets.size());
    for (std::size_t t = 0; t < facts.Targets.size(); ++t) {
        std::printf("  %zu \"", t + 1);
        PutName(facts.Targets[t].Name, stdout);
        std::printf("\": %zu vertices move\n", facts.Targets[t].Moving);
    }
}

// {"min": [x, y, z], "max": [x, y, z]}, or null without vertices.
void JsonBox(TJsonWriter& json, const TBox& growth) {
    if (growth.Empty()) {
        json.Null();
        return;
    }
    const TVANE_Extents box = growth.Box();
    const Extended min[3] = {box.MinX, box.MinY, box.MinZ};
    const Extended max[3] = {box.MaxX, box.MaxY, box.MaxZ};
    json.BeginObject();
    json.Key("min");
    json.Numbers(min, 3);
    json.Key("max");
    json.Numbers(max, 3);
    json.EndObject();
}

void PrintJson(const std::string& file_name, const TShapeFacts& facts) {
    TJsonWriter json(stdout);
    json.BeginObject();
    json.Key("file");
    json.String(file_name);
    json.Key("objects");
    json.BeginArray();
    for (const TObjectFacts& object : facts.Objects) {
        json.BeginObject();
        json.Key("name");
        json.String(object.Object->Name);
        json.Member("polygons", object.Polygons);
        json.Member("vertices", object.Vertices);
        json.Key("extents");
        JsonBox(json, object.Box);
        json.EndObject();
    }
    json.EndArray();
    json.Member("polygons", facts.Polygons);
    json.Key("polygons_by_kind");
    json.BeginObject();
    for (std::size_t kind = 0; kind < kKindCount; ++kind) {
        json.Member(kKinds[kind].Keyword, facts.ByKind[kind]);
    }
    json.EndObject();
    json.Member("vertices", facts.Vertices);
    json.Key("attributes");
    json.BeginArray();
    for (const std::string* name : facts.Attributes) json.String(*name);
    json.EndArray();
    json.Key("extents");
    JsonBox(json, facts.Whole);
    if (!facts.Targets.empty()) {
        json.Key("morph_targets");
        json.BeginArray();
        for (const TImportedTarget& target : facts.Targets) {
            json.BeginObject();
            json.Key("name");
            json.String(target.Name);
            json.Member("moving_vertices", static_cast<long long>(target.Moving));
            json.EndObject();
        }
        json.EndArray();
    }
    json.EndObject();
}

}  // namespace

int RunInfo(int argc, char** argv) {
    TArguments args;
    if (const int status = ParseCommand(argc, argv, kInfoUsage, 1, args, {"--json"}); status != kGoOn) return status;

    const std::string file_name(args.Positionals[0]);
    TShapePtr shape;
    std::vector<TImportedTarget> targets;
    if (!LoadShapeFile(file_name, shape, targets, false)) return kExitFailed;
    TShapeFacts facts = Gather(shape.get());
    facts.Targets = std::move(targets);
    if (args.Has("--json")) {
        PrintJson(file_name, facts);
    } else {
        PrintText(file_name, facts);
    }
    KeepToExit(shape);
    return kExitOk;
}
