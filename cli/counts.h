#pragma once
#include <cstdio>
#include <string>

#include "app/morph_check.h"
#include "cli/json.h"

// "ROLE FILE: N objects, N polygons, N vertices" on Out, the first lines of
// the reports of check and reorder.
void PrintCounts(std::FILE* Out, const char* Role, const std::string& FileName, const TShapeCounts& Counts);

// The same as {"file", "objects", "polygons", "vertices"}.
void JsonCounts(TJsonWriter& Json, const std::string& FileName, const TShapeCounts& Counts);
