#pragma once
// Shared pieces of the benchmarks: the corresponding sheet meshes kept in
// the cache folder, and a few measuring helpers.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <memory>
#include <string>

struct TVANE_Object;

// A height field of cells x cells quads, each split into two triangles, as
// three files of the cache folder (made on first use, never committed):
// the start shape and a target shape of the same objects, polygons and
// vertices (.suf, every value with 15 significant digits), and the start
// mesh as an indexed OBJ with the same value texts.
struct TBenchMesh {
    int cells = 0;
    long triangles = 0;
    std::string start;   // .suf
    std::string target;  // .suf, same layout, lifted otherwise
    std::string obj;     // start mesh, shared vertices
};

// The cells used for the sizes in the table: 3,698, 10,082, 100,352 and
// 1,002,528 triangles.
inline constexpr int kCellsBunny = 43;
inline constexpr int kCells10k = 71;
inline constexpr int kCells100k = 224;
inline constexpr int kCells1M = 708;

// The mesh files of that size, written into the cache folder when missing.
const TBenchMesh& BenchMesh(int cells);

// Reads the whole file with one read() into a fresh buffer; returns its size.
std::size_t ReadBenchFile(const std::string& path, std::unique_ptr<char[]>& bytes);

// Loads a shape from the cache; aborts the run when that fails.
TVANE_Object* LoadBenchShape(const std::string& path);

// The start sheet of that size, loaded on first use and kept for the run.
TVANE_Object* BenchStartShape(int cells);

// The sizes a benchmark runs at, in milliseconds: every size of the table,
// or from 10 k triangles up.
void AllBenchSizes(benchmark::internal::Benchmark* b);
void LargeBenchSizes(benchmark::internal::Benchmark* b);

// Bytes the process holds from the allocator and in record blocks right now.
std::size_t HeldBytes();
