#pragma once
#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>

#include "shape/records.h"

// Polygon and vertex records of the shapes that LoadSuf and CopySuf build
// come from large blocks instead of one allocation each: a shape of a
// million triangles is four million records, and one allocation per record
// costs more than the reading itself. Each block starts with a header that
// counts the records handed out of it and not yet released; the last release
// gives the block back. So FreeSuf of such a shape gives its memory back a
// block at a time, while records released one by one (DeleteSufPolygon)
// or linked into another shape stay valid as long as they are in use.
//
// Records made one at a time (NewSufPolygon, NewSufVertex, a plain new) keep
// their own allocation; ReleasePolygon and ReleaseVertex tell the two kinds
// apart by address, so both may be mixed in one list.

struct TRecordBlock;

// Hands out records of one type from blocks of its own, each block twice
// the size of the one before up to a limit; the blocks of one arena hold
// records of one shape only. One thread uses an arena at a time; arenas
// and releases of records on several threads at once are safe.
class TRecordArena {
public:
    // A downward arena fills each block from its end, for a caller that
    // makes a list from its last record to its first: walking the list then
    // still runs forward through memory, which is what prefetching likes.
    TRecordArena(std::size_t record_size, std::size_t record_align, bool downward);
    ~TRecordArena();
    TRecordArena(const TRecordArena&) = delete;
    TRecordArena& operator=(const TRecordArena&) = delete;

    // Room for one record, counted in its block. Throws std::bad_alloc.
    void* Take();

private:
    void NextBlock();

    std::size_t record_size_;
    std::size_t next_bytes_;
    TRecordBlock* block_ = nullptr;  // the block records are taken from
    char* free_ = nullptr;           // its first unused byte
    char* end_ = nullptr;
    bool downward_;
};

// An arena of records of type T. New() makes one as a new record would be
// made (links nullptr, values 0, Marked 0); throws std::bad_alloc.
template <typename T>
struct TArenaOf : TRecordArena {
    static_assert(std::is_trivially_copyable_v<T> && std::is_aggregate_v<T>,
                  "records are made by copying the bytes of a blank one");
    explicit TArenaOf(bool downward = false) : TRecordArena(sizeof(T), alignof(T), downward) {}
    T* New() {
        // The bytes of a blank record, copied: records are plain aggregates,
        // so the copy makes one. Built field by field instead, the compiler
        // sets each extended-real field through the x87 stack, a slow store
        // and reload per field.
        static const T blank{};
        void* record = Take();
        std::memcpy(record, &blank, sizeof(T));
        return std::launder(static_cast<T*>(record));
    }
};

// Lists made by LoadSuf and CopySuf run forward through their blocks, so
// the records a few places after this one are likely the next ones of the
// list: asking for them early hides most of the wait of a walk along Next.
// Only a hint; any address is safe.
template <typename T>
inline void PrefetchAhead(const T* record) {
    __builtin_prefetch(reinterpret_cast<const char*>(record) + 8 * sizeof(T));
}

// Releases a record whether it came from an arena or from new. Accept nullptr.
void ReleasePolygon(TVANE_Polygon* Poly);
void ReleaseVertex(TVANE_Vertex* Vtx);

// Released blocks from 2 MiB up are kept for the next shape, up to 1 GiB in
// all (reloading a shape or making a new blend first frees the old one).
// This gives them back to the system.
void ReleaseSpareBlocks();
