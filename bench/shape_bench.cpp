// The shape library's file and list operations on the cached sheets, with
// their anchors: tinyobjloader reading the same mesh as OBJ, reading the file
// alone, snprintf formatting the same values, copying the values as plain
// arrays.
#include <benchmark/benchmark.h>
#include <tiny_obj_loader.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/support.h"
#include "shape/arena.h"
#include "shape/records.h"
#include "shape/vane.h"

namespace {

long Vertices(int cells) { return 6L * cells * cells; }

void SetSize(benchmark::State& state, int cells) {
    state.counters["triangles"] = 2.0 * cells * cells;
}

void BM_LoadSuf(benchmark::State& state) {
    const int cells = static_cast<int>(state.range(0));
    const std::string path = BenchMesh(cells).start;
    BenchStartShape(cells);  // the kept copy exists before the first measured load
    double bytes_per_vertex = 0;
    for (auto _ : state) {
        // What the loaded shape holds; the file's bytes are gone again.
        const std::size_t before = HeldBytes();
        TVANE_Object* shape = VANE->LoadSuf(path);
        bytes_per_vertex =
            static_cast<double>(HeldBytes() - before) / static_cast<double>(Vertices(cells));
        state.PauseTiming();
        VANE->FreeSuf(shape);
        state.ResumeTiming();
    }
    SetSize(state, cells);
    state.counters["bytes/vertex"] = bytes_per_vertex;
}

// The same with the memory of the last load given back to the system first:
// a first load in a fresh program, paying for every page it fills.
void BM_LoadSufFreshMemory(benchmark::State& state) {
    const int cells = static_cast<int>(state.range(0));
    const std::string path = BenchMesh(cells).start;
    BenchStartShape(cells);
    for (auto _ : state) {
        state.PauseTiming();
        ReleaseSpareBlocks();
        state.ResumeTiming();
        TVANE_Object* shape = VANE->LoadSuf(path);
        state.PauseTiming();
        VANE->FreeSuf(shape);
        state.ResumeTiming();
    }
    SetSize(state, cells);
}

void BM_TinyObjLoad(benchmark::State& state) {
    const int cells = static_cast<int>(state.range(0));
    const std::string path = BenchMesh(cells).obj;
    for (auto _ : state) {
        tinyobj::attrib_t attrib;
        std::vector<tinyobj::shape_t> shapes;
        std::vector<tinyobj::material_t> materials;
        std::string warn, err;
        if (!tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, path.c_str())) {
            state.SkipWithError(err.c_str());
            break;
        }
        benchmark::DoNotOptimize(attrib.vertices.data());
    }
    SetSize(state, cells);
}

void BM_ReadFile(benchmark::State& state) {
    const int cells = static_cast<int>(state.range(0));
    const std::string path = BenchMesh(cells).start;
    for (auto _ : state) {
        std::unique_ptr<char[]> bytes;
        ReadBenchFile(path, bytes);
        benchmark::DoNotOptimize(bytes.get());
    }
    SetSize(state, cells);
}

void BM_SaveSuf(benchmark::State& state) {
    const int cells = static_cast<int>(state.range(0));
    TVANE_Object* shape = BenchStartShape(cells);
    const std::string path = BenchMesh(cells).start + ".saved";
    for (auto _ : state) {
        if (!VANE->SaveSuf(path, shape)) {
            state.SkipWithError("SaveSuf failed");
            break;
        }
    }
    std::remove(path.c_str());
    SetSize(state, cells);
}

// snprintf("%.14Le") of every value the writer formats, into one buffer.
void BM_FormatSnprintf(benchmark::State& state) {
    const int cells = static_cast<int>(state.range(0));
    TVANE_Object* shape = BenchStartShape(cells);
    std::vector<char> out(static_cast<std::size_t>(Vertices(cells)) * 3 * 32);
    for (auto _ : state) {
        char* p = out.data();
        for (const TVANE_Object* o = shape; o != nullptr; o = o->Next) {
            for (const TVANE_Polygon* poly = o->Polygons; poly != nullptr; poly = poly->Next) {
                for (const TVANE_Vertex* v = poly->Vertices; v != nullptr; v = v->Next) {
                    p += std::snprintf(p, 32, "%.14Le", static_cast<Extended>(v->X));
                    p += std::snprintf(p, 32, "%.14Le", static_cast<Extended>(v->Y));
                    p += std::snprintf(p, 32, "%.14Le", static_cast<Extended>(v->Z));
                }
            }
        }
        benchmark::DoNotOptimize(p);
    }
    SetSize(state, cells);
}

void BM_CopySuf(benchmark::State& state) {
    const int cells = static_cast<int>(state.range(0));
    TVANE_Object* shape = BenchStartShape(cells);
    for (auto _ : state) {
        TVANE_Object* copy = VANE->CopySuf(shape);
        state.PauseTiming();
        VANE->FreeSuf(copy);
        state.ResumeTiming();
    }
    SetSize(state, cells);
}

void BM_FreeSuf(benchmark::State& state) {
    const int cells = static_cast<int>(state.range(0));
    TVANE_Object* shape = BenchStartShape(cells);
    for (auto _ : state) {
        state.PauseTiming();
        TVANE_Object* copy = VANE->CopySuf(shape);
        state.ResumeTiming();
        VANE->FreeSuf(copy);
    }
    SetSize(state, cells);
}

// A copy of the eight values of every vertex held as plain arrays.
void BM_ArrayCopy(benchmark::State& state) {
    const int cells = static_cast<int>(state.range(0));
    const std::vector<Extended> values(static_cast<std::size_t>(Vertices(cells)) * 8, 1.5L);
    for (auto _ : state) {
        std::vector<Extended> copy(values);
        benchmark::DoNotOptimize(copy.data());
    }
    SetSize(state, cells);
}

}  // namespace

BENCHMARK(BM_LoadSuf)->Apply(AllBenchSizes);
BENCHMARK(BM_LoadSufFreshMemory)->Apply(AllBenchSizes);
BENCHMARK(BM_TinyObjLoad)->Apply(AllBenchSizes);
BENCHMARK(BM_ReadFile)->Apply(AllBenchSizes);
BENCHMARK(BM_SaveSuf)->Apply(LargeBenchSizes);
BENCHMARK(BM_FormatSnprintf)->Apply(LargeBenchSizes);
BENCHMARK(BM_CopySuf)->Apply(LargeBenchSizes);
BENCHMARK(BM_FreeSuf)->Arg(kCells10k)->Arg(kCells100k)->Unit(benchmark::kMillisecond);
// Each run of the largest pays a paused copy first: a few runs are enough.
BENCHMARK(BM_FreeSuf)->Arg(kCells1M)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArrayCopy)->Apply(LargeBenchSizes);
