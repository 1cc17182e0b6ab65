#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "shape/arena.h"
#include "shape/extents.h"
#include "shape/owner.h"
#include "shape/records.h"

// A failure to read a file of another format. what() is the cause in
// English, without the file name ("line 12: 'x' is not a number"); the
// caller puts the file name in front.
class TImportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Builds a shape list front to back, as the shape reader does: objects,
// polygons and vertices in the order they are added, attribute records
// shared by name across the whole list (each object's list starts as the
// previous object's), records marked as read from a file, extents set.
// Names are made safe for a shape file (see SufName). An object is made
// only when its first polygon arrives, so empty groups leave nothing behind.
class TShapeBuilder {
public:
    TShapeBuilder() = default;
    TShapeBuilder(const TShapeBuilder&) = delete;
    TShapeBuilder& operator=(const TShapeBuilder&) = delete;

    // Starts a new object for the polygons that follow.
    void BeginObject(std::string_view Name);
    // Starts a polygon of Kind (0..3) with the attribute Attribute ("" for none).
    void BeginPolygon(std::uint8_t Kind, std::string_view Attribute);
    // Appends a vertex with Values' X .. V to the polygon begun last.
    // Throws TImportError past the limit of LimitVertices.
    void AddVertex(const TVANE_Vertex& Values);
    // AddVertex of a position and, where not nullptr, a normal (3 values)
    // and texture coordinates (2); other values 0. An object of such
    // vertices only has its extents found as they come.
    void AddVertex(const double* Position, const double* Normal, const double* Uv);

    // Bounds what a small file may expand to: from now on AddVertex, and
    // ExpectVertices, refuse ("expands to more than Most vertices") a
    // vertex beyond Most in the whole list. No limit until this is called.
    void LimitVertices(std::size_t Most) { vertex_limit_ = Most; }
    // Throws as AddVertex would when More further vertices would pass the
    // limit; a reader calls it before it allocates for them.
    void ExpectVertices(std::size_t More) const;

    std::size_t Polygons() const { return polygon_count_; }
    // The list, extents computed; the caller owns it and releases it with
    // FreeSuf. nullptr when no polygon was added.
    TVANE_Object* Finish();

private:
    TVANE_Vertex* NewVertex();
    // Gives the object polygons went to its extents.
    void CloseObject();

    TVANE_Object* obj_ = nullptr;  // object polygons go to, nullptr until the first
    TVANE_Polygon* poly_ = nullptr;
    TVANE_Vertex* vtx_ = nullptr;
    std::string pending_name_ = "default";
    bool new_object_ = true;
    std::size_t polygon_count_ = 0;
    std::unordered_map<std::string, TVANE_Attribute*> attributes_;
    std::string last_attribute_;  // as given to the last BeginPolygon with one
    TVANE_Attribute* last_record_ = nullptr;  // its record
    TArenaOf<TVANE_Polygon> polygons_;
    TArenaOf<TVANE_Vertex> vertices_;
    // After the arenas, so that a list Finish did not hand out is released
    // before them.
    TShapePtr list_;
    std::size_t vertex_count_ = 0;
    // The box of the object's vertices given as doubles, while all were.
    TBoxGrowth<double> box_;
    bool all_doubles_ = true;
    std::size_t vertex_limit_ = SIZE_MAX;
};

// Name as a shape file can hold it: one token that reads back as it was
// written. Bytes 0..32 and the token delimiters , ( ) { } [ ] ` " ' become
// '_', as does the '*' of "/*" and "*/" (comment marks); an empty name
// becomes Fallback.
std::string SufName(std::string_view Name, std::string_view Fallback);

// Whether a shape file can hold Value: true when the shape file writer has
// text for it that reads back (FormatNumber). False for NaN, the infinities
// and magnitudes that round, at 15 digits, past the largest double.
bool Writable(Extended Value);

// Bytes as one part of a file name: their NameText with '/', backslashes and
// control characters as '_'; an empty text, "." and ".." become Fallback.
std::string FileNamePart(std::string_view Bytes, std::string_view Fallback);

// Makes Names unique as NameText reads them, first come first kept: a name
// met before gets "_2", or the first of "_3", "_4", ... that is still free.
void MakeUnique(std::vector<std::string>& Names);
