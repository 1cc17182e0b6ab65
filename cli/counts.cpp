#include "cli/counts.h"

#include "cli/shape_files.h"

void PrintCounts(std::FILE* Out, const char* Role, const std::string& FileName, const TShapeCounts& Counts) {
    std::fprintf(Out, "%s ", Role);
    PutBytes(FileName, Out);
    std::fprintf(Out, ": %lld objects, %lld polygons, %lld vertices\n", static_cast<long long>(Counts.Objects),
                 static_cast<long long>(Counts.Polygons), static_cast<long long>(Counts.Vertices));
}

void JsonCounts(TJsonWriter& Json, const std::string& FileName, const TShapeCounts& Counts) {
    Json.BeginObject();
    Json.Key("file");
    Json.String(FileName);
    Json.Member("objects", Counts.Objects);
    Json.Member("polygons", Counts.Polygons);
    Json.Member("vertices", Counts.Vertices);
    Json.EndObject();
}
