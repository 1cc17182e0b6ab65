#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "shape/records.h"

// A shape written in another order than its lists hold, without relinking
// them: its objects in a given order, each with its polygons, and each
// polygon's corners starting elsewhere (and running backwards).

// Where a polygon of the shape goes.
struct TPlacedPolygon {
    const TVANE_Polygon* Polygon = nullptr;
    std::uint32_t Index = 0;  // its place in the shape's lists, counted over all objects from 0
    std::uint32_t First = 0;  // the corner written first
    bool Reversed = false;    // corners follow backwards from First
};

// An object of the shape and how many of the placed polygons, in turn, it
// holds.
struct TPlacedObject {
    const TVANE_Object* Object = nullptr;
    std::size_t Polygons = 0;
};

// Where the vertex lines of a shape's polygons stand in the shape file it was
// read from, so that a save can copy the lines that are written as the
// writer would write them instead of formatting every value again.
struct TSufSource {
    static constexpr std::uint64_t kUnknown = UINT64_MAX;
    // Which file, and how it stood: its device, inode, size and times of
    // change (nanoseconds). A file that differs since is not copied from.
    struct TIdentity {
        std::uint64_t Device = 0, Inode = 0, Size = 0;
        std::int64_t Modified = 0, Changed = 0;
        bool operator==(const TIdentity&) const = default;
        // The file open as Fd as it stands now; false when it cannot be asked.
        bool Of(int Fd);
    };
    std::string FileName;
    TIdentity File;  // as it was when read
    // Per polygon in list order: the file offset of its first value, or
    // kUnknown. Empty when the lines are not known at all.
    std::vector<std::uint64_t> FirstValue;
};

// LoadSuf that also notes where the polygons' lines stand. Only a file
// read on every core (a large one) gives their places; Source is left
// without them otherwise.
TVANE_Object* LoadSufKeepingSource(const std::string& FileName, TSufSource& Source);

// The vertex lines of a shape's polygons formatted ahead of its save, in the
// order its lists hold, which is the order its records lie in when it was
// just read: formatting reads memory in turn, however scattered the order
// the shape is written in. Where Source tells where the lines stand in the
// file the shape was read from and the file has not changed, lines written
// there as the writer writes them are copied from it instead. The shape must
// not change while this lives.
class TSufVertexLines {
public:
    // Nothing is formatted yet, nor the lists walked. Throws std::bad_alloc.
    explicit TSufVertexLines(const TVANE_Object* Shape, TSufSource Source = {});
    ~TSufVertexLines();
    TSufVertexLines(const TSufVertexLines&) = delete;
    TSufVertexLines& operator=(const TSufVertexLines&) = delete;

    // Starts formatting on a thread of its own (when the machine has
    // several cores) at the system's idle priority, while the caller does
    // other work: it takes only time no other thread wants.
    void FormatAside();
    // Formats on every core what is not formatted yet, and returns once
    // every line is made. A line that cannot be made here (memory ran out, a
    // value out of range) is left to the save, which makes it in place and
    // fails there as a save fails.
    void Finish();
    // Polygons whose lines Finish copied from the source file.
    std::size_t CopiedPolygons() const;

    struct TState;

private:
    std::unique_ptr<TState> state_;
    friend bool SaveSufPlaced(const std::string&, const TSufVertexLines&, std::span<const TPlacedObject>,
                              std::span<const TPlacedPolygon>);
};

// Writes the shape of Lines (finished) as SaveSuf writes a shape whose lists
// hold Objects in that order, each with its polygons from Polygons in turn,
// their corners from First on (backwards where Reversed): the same bytes,
// the same failures, the same messages in SufErrorMessage.
bool SaveSufPlaced(const std::string& FileName, const TSufVertexLines& Lines, std::span<const TPlacedObject> Objects,
                   std::span<const TPlacedPolygon> Polygons);
