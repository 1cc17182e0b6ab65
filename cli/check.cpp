// check: whether START and TARGET correspond, object by object, polygon by
// polygon and vertex by vertex, whether they share the same corners, and
// where they stop doing so.
#include <cstdio>
#include <string>

#include "app/morph_check.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/counts.h"
#include "cli/json.h"
#include "cli/shape_files.h"
#include "shape/kinds.h"
#include "cli/timings.h"

namespace {

constexpr TUsage kCheckUsage = {
    "check", "START.suf TARGET.suf [--json] [--timings]",
    "Tells whether the two shapes correspond, so that a blend pairs what\n"
    "belongs together:\n"
    "  - the same number of objects, of polygons in each object and of vertices\n"
    "    in each polygon; otherwise names the first place (1-based object,\n"
    "    polygon and vertex numbers, object names) where they stop;\n"
    "  - every pair of polygons of one kind and vertex count;\n"
    "  - the same shared corners: vertices at one position in one shape (where\n"
    "    neighbouring polygons meet) must be at one position in the other too.\n"
    "    Shapes with the same counts but their polygons or vertices in another\n"
    "    order fail here. The first few broken corners are named.\n"
    "Polygons that move more than 10 times the median distance are listed as a\n"
    "hint; a real morph may move parts far, so they never decide the outcome.\n"
    "\n"
    "  --json     print the report as one JSON object instead of text\n"
    "  --timings  print the time of each step on stderr\n"
    "\n"
    "Exit status 0 when the shapes correspond and share the same corners, 1 when\n"
    "they do not correspond (or a file cannot be read), 3 when they correspond\n"
    "by count and kind but corners break.\n"};

constexpr int kExitCornersBreak = 3;
constexpr std::size_t kExamples = 5;


int Status(const TCorrespondence& report) {
    if (!report.Corresponds()) return kExitFailed;
    if (!report.ConnectivityAgrees()) return kExitCornersBreak;
    return kExitOk;
}

// ---- text -------------------------------------------------------------------

// 'object 2 ("lid" / "lid")', and ', polygon 3' and ', vertex 1' where given.
void PrintPlace(const TShapePlace& place) {
    std::printf("object %lld (\"", static_cast<long long>(place.Object));
    PutName(place.StartObject->Name, stdout);
    std::fputs("\" / \"", stdout);
    PutName(place.TargetObject->Name, stdout);
    std::fputs("\")", stdout);
    if (place.Polygon > 0) std::printf(", polygon %lld", static_cast<long long>(place.Polygon));
    if (place.Vertex > 0) std::printf(", vertex %lld", static_cast<long long>(place.Vertex));
}

void PrintPosition(const TPosition& p) { std::printf("(%.15Lg %.15Lg %.15Lg)", p[0], p[1], p[2]); }

void PrintFirstMismatch(const TStructureMismatch& m) {
    const auto start = static_cast<long long>(m.StartCount);
    const auto target = static_cast<long long>(m.TargetCount);
    const long long first_unpaired = (start < target ? start : target) + 1;
    std::fputs("first mismatch: ", stdout);
    switch (m.Level) {
        case TMismatchLevel::Vertices:
            PrintPlace(m.Place);
            std::printf(": start has %lld vertices, target %lld (vertex %lld has no partner)\n", start,
                        target, first_unpaired);
            break;
        case TMismatchLevel::Polygons:
            PrintPlace(m.Place);
            std::printf(": start has %lld polygons, target %lld (polygon %lld has no partner)\n", start,
                        target, first_unpaired);
            break;
        case TMismatchLevel::Objects: {
            const bool in_start = m.Place.StartObject != nullptr;
            std::printf("object %lld (\"", static_cast<long long>(m.Place.Object));
            PutName((in_start ? m.Place.StartObject : m.Place.TargetObject)->Name, stdout);
            std::printf("\") of the %s has no partner in the %s\n", in_start ? "start" : "target",
                        in_start ? "target" : "start");
            break;
        }
    }
}

void PrintPolygonMismatches(const TCorrespondence& report) {
    if (report.VertexCountMismatches == 0 && report.KindMismatches == 0) return;
    std::printf("pairs of polygons that differ: %lld in vertex count, %lld in kind\n",
                static_cast<long long>(report.VertexCountMismatches),
                static_cast<long long>(report.KindMismatches));
    for (const TPolygonMismatch& m : report.PolygonMismatches) {
        std::fputs("  ", stdout);
        PrintPlace(m.Place);
        std::printf(": %s with %lld vertices / %s with %lld vertices\n", KindName(m.StartKind),
                    static_cast<long long>(m.StartVertices), KindName(m.TargetKind),
                    static_cast<long long>(m.TargetVertices));
    }
}

void PrintCorners(const TCorrespondence& report) {
    if (!report.ConnectivityChecked) {
        std::puts("shared corners: not compared, since not every vertex has a partner");
        return;
    }
    std::printf("shared corners: %lld in the start, %lld in the target",
                static_cast<long long>(report.CornersInStart),
                static_cast<long long>(report.CornersInTarget));
    if (report.ConnectivityAgrees()) {
        std::puts("; none breaks");
        return;
    }
    std::printf("; %lld of the start's come apart in the target, %lld of the target's are apart in the start\n",
                static_cast<long long>(report.BrokenInStart),
                static_cast<long long>(report.BrokenInTarget));
    for (const TBrokenCorner& corner : report.BrokenCorners) {
        const char* sharing = corner.SharedInStart ? "start" : "target";
        const char* other = corner.SharedInStart ? "target" : "start";
        std::printf("  the %s shares ", sharing);
        PrintPosition(corner.Shared);
        std::fputs(" between ", stdout);
        PrintPlace(corner.First);
        std::fputs(" and ", stdout);
        PrintPlace(corner.Apart);
        std::printf("; the %s has them at ", other);
        PrintPosition(corner.FirstElsewhere);
        std::fputs(" and ", stdout);
        PrintPosition(corner.ApartElsewhere);
        std::fputc('\n', stdout);
    }
}

void PrintDisplacement(const TCorrespondence& report) {
    std::printf("displacement of paired polygons: median %.15Lg", report.MedianDisplacement);
    if (report.MedianDisplacement == 0) {
        std::puts("; no outliers sought");
        return;
    }
    std::printf("; %lld move more than %Lg times that (a hint only)\n",
                static_cast<long long>(report.Outliers), kOutlierFactor);
    for (const TDisplacementOutlier& outlier : report.LargestOutliers) {
        std::fputs("  ", stdout);
        PrintPlace(outlier.Place);
        std::printf(": %.15Lg\n", outlier.Distance);
    }
}

void PrintVerdict(const TCorrespondence& report) {
    switch (Status(report)) {
        case kExitOk:
            std::puts("the shapes correspond: every object, polygon and vertex has a partner, and shared corners stay shared");
            break;
        case kExitCornersBreak:
            std::puts("the counts correspond but the corners do not: the polygons or vertices are probably in another order; plivra-cli reorder START TARGET OUT can repair the order");
            break;
        default:
            std::puts("the shapes do not correspond");
    }
}

void PrintText(const std::string& start_name, const std::string& target_name,
               const TCorrespondence& report) {
    PrintCounts(stdout, "start ", start_name, report.Start);
    PrintCounts(stdout, "target", target_name, report.Target);
    if (!report.StructureMatches) PrintFirstMismatch(report.FirstMismatch);
    PrintPolygonMismatches(report);
    PrintCorners(report);
    PrintDisplacement(report);
    PrintVerdict(report);
}

// ---- JSON -------------------------------------------------------------------

void JsonName(TJsonWriter& json, const TVANE_Object* object) {
    if (object) {
        json.String(object->Name);
    } else {
        json.Null();
    }
}

// The members of a place, inside an object the caller opened.
void JsonPlaceMembers(TJsonWriter& json, const TShapePlace& place) {
    json.Member("object", place.Object);
    if (place.Polygon > 0) {
        json.Member("polygon", place.Polygon);
    }
    if (place.Vertex > 0) {
        json.Member("vertex", place.Vertex);
    }
    json.Key("start_name");
    JsonName(json, place.StartObject);
    json.Key("target_name");
    JsonName(json, place.TargetObject);
}

void JsonPlace(TJsonWriter& json, const TShapePlace& place) {
    json.BeginObject();
    JsonPlaceMembers(json, place);
    json.EndObject();
}

void JsonPosition(TJsonWriter& json, const TPosition& p) { json.Numbers(p.data(), p.size()); }

void JsonFirstMismatch(TJsonWriter& json, const TCorrespondence& report) {
    if (report.StructureMatches) {
        json.Null();
        return;
    }
    const TStructureMismatch& m = report.FirstMismatch;
    static constexpr const char* kLevels[] = {"vertices", "polygons", "objects"};
    json.BeginObject();
    json.Key("level");
    json.String(kLevels[static_cast<int>(m.Level)]);
    JsonPlaceMembers(json, m.Place);
    json.Member("start_count", m.StartCount);
    json.Member("target_count", m.TargetCount);
    json.EndObject();
}

void JsonPolygonMismatches(TJsonWriter& json, const TCorrespondence& report) {
    json.BeginArray();
    for (const TPolygonMismatch& m : report.PolygonMismatches) {
        json.BeginObject();
        JsonPlaceMembers(json, m.Place);
        json.Key("start_kind");
        json.String(KindName(m.StartKind));
        json.Key("target_kind");
        json.String(KindName(m.TargetKind));
        json.Member("start_vertices", m.StartVertices);
        json.Member("target_vertices", m.TargetVertices);
        json.EndObject();
    }
    json.EndArray();
}

void JsonCorners(TJsonWriter& json, const TCorrespondence& report) {
    if (!report.ConnectivityChecked) {
        json.Null();
        return;
    }
    json.BeginObject();
    json.Member("in_start", report.CornersInStart);
    json.Member("in_target", report.CornersInTarget);
    json.Member("broken_in_start", report.BrokenInStart);
    json.Member("broken_in_target", report.BrokenInTarget);
    json.Key("broken");
    json.BeginArray();
    for (const TBrokenCorner& corner : report.BrokenCorners) {
        json.BeginObject();
        json.Key("shared_in");
        json.String(corner.SharedInStart ? "start" : "target");
        json.Key("position");
        JsonPosition(json, corner.Shared);
        json.Key("first");
        JsonPlace(json, corner.First);
        json.Key("apart");
        JsonPlace(json, corner.Apart);
        json.Key("first_elsewhere");
        JsonPosition(json, corner.FirstElsewhere);
        json.Key("apart_elsewhere");
        JsonPosition(json, corner.ApartElsewhere);
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
}

void JsonDisplacement(TJsonWriter& json, const TCorrespondence& report) {
    json.BeginObject();
    json.Key("median");
    json.Number(report.MedianDisplacement);
    json.Key("outlier_factor");
    json.Number(kOutlierFactor);
    json.Member("outliers", report.Outliers);
    json.Key("largest");
    json.BeginArray();
    for (const TDisplacementOutlier& outlier : report.LargestOutliers) {
        json.BeginObject();
        JsonPlaceMembers(json, outlier.Place);
        json.Key("distance");
        json.Number(outlier.Distance);
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
}

void PrintJson(const std::string& start_name, const std::string& target_name,
               const TCorrespondence& report) {
    TJsonWriter json(stdout);
    json.BeginObject();
    json.Member("status", Status(report));
    json.Key("corresponds");
    json.Bool(report.Corresponds());
    json.Key("corners_agree");
    json.Bool(report.ConnectivityAgrees());
    json.Key("start");
    JsonCounts(json, start_name, report.Start);
    json.Key("target");
    JsonCounts(json, target_name, report.Target);
    json.Key("first_mismatch");
    JsonFirstMismatch(json, report);
    json.Member("vertex_count_mismatches", report.VertexCountMismatches);
    json.Member("kind_mismatches", report.KindMismatches);
    json.Key("polygon_mismatches");
    JsonPolygonMismatches(json, report);
    json.Key("corners");
    JsonCorners(json, report);
    json.Key("displacement");
    JsonDisplacement(json, report);
    json.EndObject();
}

}  // namespace

int RunCheck(int argc, char** argv) {
    TArguments args;
    if (const int status = ParseCommand(argc, argv, kCheckUsage, 2, args, {"--json", "--timings"}); status != kGoOn)
        return status;

    const std::string start_name(args.Positionals[0]), target_name(args.Positionals[1]);
    TStepTimer timer(args.Has("--timings"));
    TShapePtr start, target;
    if (!LoadShapeFiles(start_name, start, target_name, target)) return kExitFailed;
    timer.Lap("load start and target");
    const TCorrespondence report = CheckCorrespondence(start.get(), target.get(), kExamples);
    timer.Lap("check");
    if (args.Has("--json")) {
        PrintJson(start_name, target_name, report);
    } else {
        PrintText(start_name, target_name, report);
    }
    timer.Lap("report");
    KeepToExit(start);
    KeepToExit(target);
    return Status(report);
}
