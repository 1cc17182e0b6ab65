// reorder: TARGET written with its objects, polygons and corners in the
// order that corresponds to START, found from the shapes' structure.
#include <cstdio>
#include <optional>
#include <string>

#include "app/reorder.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/counts.h"
#include "cli/json.h"
#include "cli/shape_files.h"
#include "cli/timings.h"
#include "formats/shape_io.h"
#include "shape/kinds.h"

namespace {

constexpr TUsage kReorderUsage = {
    "reorder", "START.suf TARGET.suf OUT.suf [--strict] [--json] [--timings]",
    "Writes TARGET to OUT with its objects, polygons and the corners of each\n"
    "polygon in the order that corresponds to START, so that a blend of START\n"
    "toward OUT pairs what belongs together. OUT holds exactly TARGET's records\n"
    "(names, kinds, attributes, every value); only their order changes. START\n"
    "is only read. OUT - is standard output.\n"
    "\n"
    "The order comes from structure alone: corners are shared by position, as\n"
    "check compares them, and polygons are neighbours where they share an edge.\n"
    "So a target that moved far is repaired as surely as one that moved little.\n"
    "A polygon's corners may be rotated, and reversed where its winding is the\n"
    "mirror of the start's. Objects and their connected parts (islands) pair by\n"
    "structure; several of one structure pair by name, then by the least\n"
    "movement. Where the structure allows several orders (a cube allows 48) the\n"
    "one that moves the vertices least wins: the smallest sum of squared\n"
    "distances between paired positions.\n"
    "\n"
    "No order is found where the counts or kinds differ, a polygon's neighbours\n"
    "differ, three or more polygons share an edge, or polygons share no corner\n"
    "at all (a polygon soup); the first place in START is named.\n"
    "The report goes to stderr (or, with --json, to stdout).\n"
    "\n"
    "  --strict   refuse an ambiguous match: exit status 3, nothing written\n"
    "  --json     print the report as one JSON object on stdout\n"
    "  --timings  print the time of each step on stderr\n"
    "\n"
    "Exit status 0 when OUT is written, 1 when no order corresponds (or a file\n"
    "cannot be read or written), 3 when --strict refuses an ambiguous match.\n"};

constexpr int kExitAmbiguous = 3;
constexpr std::size_t kExamples = 5;

const char* ByName(TPairedBy by) {
    switch (by) {
        case TPairedBy::Name: return "name";
        case TPairedBy::Movement: return "movement";
        default: return "structure";
    }
}

const char* FailureName(TReorderFailure why) {
    switch (why) {
        case TReorderFailure::ObjectCount: return "object_count";
        case TReorderFailure::PolygonCount: return "polygon_count";
        case TReorderFailure::VertexCount: return "vertex_count";
        case TReorderFailure::NoObject: return "no_object";
        case TReorderFailure::NoIsland: return "no_island";
        case TReorderFailure::Soup: return "soup";
        case TReorderFailure::NonManifold: return "non_manifold";
        case TReorderFailure::Neighbours: return "neighbours";
        case TReorderFailure::Corner: return "corner";
        case TReorderFailure::Kind: return "kind";
        case TReorderFailure::Size: return "size";
        default: return "none";
    }
}

std::string Number(std::int64_t n) { return std::to_string(n); }

// 'object 2 ("lid" / "cap"), polygon 3, vertex 1' as check names places;
// 'object 2 ("lid")' where no target object pairs it.
std::string PlaceText(const TShapePlace& place) {
    std::string text = "object " + Number(place.Object) + " (\"" + place.StartObject->Name;
    if (place.TargetObject) text += "\" / \"" + place.TargetObject->Name;
    text += "\")";
    if (place.Polygon > 0) text += ", polygon " + Number(place.Polygon);
    if (place.Vertex > 0) text += ", vertex " + Number(place.Vertex);
    return text;
}

std::string FailureText(const TReorderResult& r) {
    const auto counts = [&](const char* what) {
        return "the start has " + Number(r.StartCount) + " " + what + ", the target " + Number(r.TargetCount) +
               ": no order pairs them";
    };
    const std::string place = r.Place.StartObject ? PlaceText(r.Place) : std::string();
    switch (r.Failure) {
        case TReorderFailure::ObjectCount: return counts("objects");
        case TReorderFailure::PolygonCount: return counts("polygons");
        case TReorderFailure::VertexCount: return counts("vertices");
        case TReorderFailure::NoObject:
            return place + " of the start: no object of the target has its " + Number(r.StartCount) +
                   " polygons and " + Number(r.TargetCount) + " vertices";
        case TReorderFailure::NoIsland:
            return place + ": the part of the start that holds this polygon has no partner of its structure in the target object";
        case TReorderFailure::Soup:
            return place + ": shares no corner with another polygon, and several of the target are alike; the order cannot be found from structure (a polygon soup)";
        case TReorderFailure::NonManifold:
            return place + ": three or more polygons share the edge to the next vertex; the order cannot be found from structure there";
        case TReorderFailure::Neighbours:
            return place + ": the polygons that meet at the edge to the next vertex differ in the target";
        case TReorderFailure::Corner:
            return place + ": the target shares this corner with other corners than the start does";
        case TReorderFailure::Kind:
            return place + std::string(": ") + KindName(r.StartCount) + " in the start, " + KindName(r.TargetCount) +
                   " in the target";
        case TReorderFailure::Size:
            return place + ": " + Number(r.StartCount) + " vertices in the start, " + Number(r.TargetCount) +
                   " in the target";
        default: return {};
    }
}

// ---- text -------------------------------------------------------------------

void PrintText(const std::string& start_name, const std::string& target_name, const TReorderResult& r) {
    PrintCounts(stderr, "start ", start_name, r.Start);
    PrintCounts(stderr, "target", target_name, r.Target);
    std::fprintf(stderr, "objects paired: %zu\n", r.Objects.size());
    for (const TObjectPairing& o : r.Objects) {
        std::fprintf(stderr, "  object %lld (\"", static_cast<long long>(o.Start));
        PutBytes(o.StartObject->Name, stderr);
        std::fprintf(stderr, "\") with target object %lld (\"", static_cast<long long>(o.Target));
        PutBytes(o.TargetObject->Name, stderr);
        std::fprintf(stderr, "\"), by %s: islands %lld, polygons %lld, moved %lld, rotated %lld, reversed %lld%s\n",
                     ByName(o.By), static_cast<long long>(o.Islands), static_cast<long long>(o.Polygons),
                     static_cast<long long>(o.Moved), static_cast<long long>(o.Rotated),
                     static_cast<long long>(o.Reversed),
                     o.Mirrored ? "; mirrored: every polygon's winding is reversed" : "");
    }
    std::fprintf(stderr, "islands: %lld\n", static_cast<long long>(r.Islands));
    std::fprintf(stderr, "polygons: %lld in another place, %lld with their corners rotated, %lld reversed\n",
                 static_cast<long long>(r.Moved), static_cast<long long>(r.Rotated),
                 static_cast<long long>(r.Reversed));
    if (r.Unique()) {
        std::fputs("the match is unique\n", stderr);
    } else {
        std::fprintf(stderr,
                     "the match is ambiguous: %lld %s between orders the structure allows, each decided by the least movement\n",
                     static_cast<long long>(r.AmbiguousChoices), r.AmbiguousChoices == 1 ? "choice" : "choices");
        for (const TAmbiguity& a : r.Ambiguities) {
            std::fputs("  ", stderr);
            PutBytes(PlaceText(a.Place), stderr);
            std::fprintf(stderr,
                         ": %lld candidates compared, %lld of them complete orders; the runner-up moves the vertices %.15Lg more (sum of squared distances)\n",
                         static_cast<long long>(a.Candidates), static_cast<long long>(a.Matches), a.Margin);
        }
        if (r.AmbiguousChoices > static_cast<std::int64_t>(r.Ambiguities.size()))
            std::fprintf(stderr, "  ... (the first %zu are named)\n", r.Ambiguities.size());
    }
    std::fprintf(stderr, "movement of paired vertices: sum of squared distances %.15Lg\n", r.Movement);
}

// ---- JSON -------------------------------------------------------------------

void JsonPlaceMembers(TJsonWriter& json, const TShapePlace& place) {
    json.Member("object", place.Object);
    if (place.Polygon > 0) json.Member("polygon", place.Polygon);
    if (place.Vertex > 0) json.Member("vertex", place.Vertex);
    json.Key("start_name");
    json.String(place.StartObject->Name);
    json.Key("target_name");
    if (place.TargetObject) {
        json.String(place.TargetObject->Name);
    } else {
        json.Null();
    }
}

void JsonFailure(TJsonWriter& json, const TReorderResult& r) {
    if (r.Found()) {
        json.Null();
        return;
    }
    json.BeginObject();
    json.Key("reason");
    json.String(FailureName(r.Failure));
    json.Key("message");
    json.String(FailureText(r));
    if (r.Place.StartObject) JsonPlaceMembers(json, r.Place);
    json.EndObject();
}

void JsonObjects(TJsonWriter& json, const TReorderResult& r) {
    json.BeginArray();
    for (const TObjectPairing& o : r.Objects) {
        json.BeginObject();
        json.Member("start", o.Start);
        json.Member("target", o.Target);
        json.Key("start_name");
        json.String(o.StartObject->Name);
        json.Key("target_name");
        json.String(o.TargetObject->Name);
        json.Key("by");
        json.String(ByName(o.By));
        json.Member("islands", o.Islands);
        json.Member("polygons", o.Polygons);
        json.Member("moved", o.Moved);
        json.Member("rotated", o.Rotated);
        json.Member("reversed", o.Reversed);
        json.Key("mirrored");
        json.Bool(o.Mirrored);
        json.EndObject();
    }
    json.EndArray();
}

void JsonAmbiguities(TJsonWriter& json, const TReorderResult& r) {
    json.BeginArray();
    for (const TAmbiguity& a : r.Ambiguities) {
        json.BeginObject();
        JsonPlaceMembers(json, a.Place);
        json.Member("candidates", a.Candidates);
        json.Member("matches", a.Matches);
        json.Key("margin");
        json.Number(a.Margin);
        json.EndObject();
    }
    json.EndArray();
}

void PrintJson(const std::string& start_name, const std::string& target_name, const std::string& out_name,
               const TReorderResult& r, int status) {
    TJsonWriter json(stdout);
    json.BeginObject();
    json.Member("status", status);
    json.Key("start");
    JsonCounts(json, start_name, r.Start);
    json.Key("target");
    JsonCounts(json, target_name, r.Target);
    json.Key("found");
    json.Bool(r.Found());
    json.Key("failure");
    JsonFailure(json, r);
    json.Key("objects");
    JsonObjects(json, r);
    json.Member("islands", r.Islands);
    json.Member("moved", r.Moved);
    json.Member("rotated", r.Rotated);
    json.Member("reversed", r.Reversed);
    json.Key("movement");
    json.Number(r.Movement);
    json.Key("unique");
    json.Bool(r.Unique());
    json.Member("ambiguous_choices", r.AmbiguousChoices);
    json.Key("ambiguities");
    JsonAmbiguities(json, r);
    json.Key("written");
    if (status == kExitOk) {
        json.String(out_name);
    } else {
        json.Null();
    }
    json.EndObject();
    std::fputc('\n', stdout);
}

}  // namespace

int RunReorder(int argc, char** argv) {
    TArguments args;
    if (const int status =
            ParseCommand(argc, argv, kReorderUsage, 3, args, {"--strict", "--json", "--timings"});
        status != kGoOn)
        return status;
    const std::string start_name(args.Positionals[0]), target_name(args.Positionals[1]),
        out_name(args.Positionals[2]);
    const bool json = args.Has("--json");
    if (json && out_name == "-") return UsageError(kReorderUsage, "--json and OUT - would both take standard output");

    TStepTimer timer(args.Has("--timings"));
    TShapePtr start, target;
    TSufSource source;
    if (!LoadShapeFiles(start_name, start, target_name, target, IsSufName(out_name) ? &source : nullptr))
        return kExitFailed;
    timer.Lap("load start and target");
    // OUT as a shape file is made of the target's vertex lines, copied in
    // the order found. Lines the target's file holds as they are written are
    // copied from it once the order is found; the others are formatted aside
    // in the order the records lie while the order is sought (in the time
    // the search leaves a core idle): formatting in a scattered order waits
    // on memory.
    std::optional<TSufVertexLines> lines;
    if (IsSufName(out_name)) {
        lines.emplace(target.get(), std::move(source));
        lines->FormatAside();
    }
    const TReorderResult order =
        FindOrder(start.get(), target.get(), kExamples, [&](const char* phase) { timer.Lap(phase); });

    int status = kExitOk;
    if (!order.Found()) {
        status = kExitFailed;
        if (!json) ReportFailure(target_name, FailureText(order));
    } else if (!order.Unique() && args.Has("--strict")) {
        status = kExitAmbiguous;
    } else if (lines) {
        lines->Finish();
        timer.Lap("format");
        if (!SavePlacedShapeFile(out_name, *lines, order.TargetObjects, order.TargetPolygons)) return kExitFailed;
        timer.Lap("save");
    } else {
        TVANE_Object* head = target.release();
        ApplyOrder(head, order);
        target.reset(head);
        timer.Lap("relink");
        if (!SaveShapeFile(out_name, target.get())) return kExitFailed;
        timer.Lap("save");
    }
    if (json) {
        PrintJson(start_name, target_name, out_name, order, status);
    } else if (order.Found()) {
        PrintText(start_name, target_name, order);
        if (status == kExitAmbiguous) {
            std::fputs("the match is ambiguous and --strict refuses it: nothing was written\n", stderr);
        } else {
            std::fputs("wrote ", stderr);
            PutBytes(out_name, stderr);
            std::fputs(": the target in the order of the start\n", stderr);
        }
    }
    timer.Lap("report");
    KeepToExit(start);
    KeepToExit(target);
    return status;
}
