#pragma once
#include <cstddef>

// What tests, the fuzzer and the benchmarks look into or switch: not part of
// what the library offers its programs.

// Vertex values standing alone between blanks are read straight from the
// line rather than as tokens; the same values either way. Tests turn it off
// to compare the two.
extern bool SufPlainValues;

// Bytes the reader's window of a file starts with; reading is the same for
// every size. Tests make it tiny, so that words and lines are cut at every
// place. Set it before a load, never while one runs.
extern std::size_t SufWindowBytes;

// Files of at least SufCoreReadBytes bytes are read on every core (when
// there are several), in pieces of about SufReadPieceBytes bytes cut at line
// starts; the records, line numbers and messages are those of reading on one
// core. Tests lower both; with SufCoreReadBytes 0 every file is read in
// pieces, also on one core. Set them before a load, never while one runs.
extern std::size_t SufCoreReadBytes;
extern std::size_t SufReadPieceBytes;

// Shapes of at least this many polygons are written, blended and drawn in
// pieces of SufPiecePolygons polygons spread over the cores (a drawing runs
// such pieces together into a few per core), smaller ones in one pass on the
// calling thread; the bytes, values and pixels are the same either way.
// Tests lower both to compare the two on small shapes.
extern std::size_t SufParallelPolygons;
extern std::size_t SufPiecePolygons;

// Blocks holding records now.
std::size_t RecordBlocksInUse();
// Bytes of the blocks in use that come from the system directly, headers and
// unused room included; the smaller blocks come from operator new and show
// in the allocator's own figures.
std::size_t MappedRecordBytes();
