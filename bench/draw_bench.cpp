// FitView and DrawSuf of the cached sheets, one run per orthographic view at
// the sizes of the window's boxes: 149 x 141 (the previews) and 97 x 85.
#include <benchmark/benchmark.h>


#include "bench/support.h"
#include "shape/records.h"
#include "shape/vane.h"
#include "view/canvas.h"
#include "view/settings.h"

namespace {

void BM_FitView(benchmark::State& state) {
    const int cells = static_cast<int>(state.range(0));
    TVANE_Object* shape = BenchStartShape(cells);
    TVANE_ViewSettings settings;
    VANE->DefaultViewSettings(settings);
    for (auto _ : state) {
        TVANE_ViewSettings fitted;
        VANE->FitView(shape, settings, fitted);
        benchmark::DoNotOptimize(fitted);
    }
    state.counters["triangles"] = 2.0 * cells * cells;
}

// Arguments: view kind, bitmap width, cells.
void BM_DrawSuf(benchmark::State& state) {
    const int width = static_cast<int>(state.range(1));
    const int height = width == 149 ? 141 : 85;
    const int cells = static_cast<int>(state.range(2));
    TVANE_Object* shape = BenchStartShape(cells);
    TVANE_ViewSettings settings;
    VANE->DefaultViewSettings(settings);
    settings.ViewKind = static_cast<std::uint8_t>(state.range(0));
    settings.ClearFirst = true;
    settings.ShowGrid = false;
    VANE->FitView(shape, settings, settings);
    TVANE_Colors colors;
    VANE->DefaultViewColors(colors);
    TBitmap bitmap(width, height);
    for (auto _ : state) {
        VANE->DrawSuf(shape, bitmap, settings, colors);
        benchmark::DoNotOptimize(bitmap.Pixels());
    }
    state.counters["triangles"] = 2.0 * cells * cells;
}

// Anchor: the walk every view makes, reading two coordinates of each vertex
// and doing nothing else with them.
void BM_WalkVertices(benchmark::State& state) {
    TVANE_Object* shape = BenchStartShape(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        Extended sum = 0;
        for (const TVANE_Object* object = shape; object != nullptr; object = object->Next) {
            for (const TVANE_Polygon* poly = object->Polygons; poly != nullptr; poly = poly->Next) {
                for (const TVANE_Vertex* v = poly->Vertices; v != nullptr; v = v->Next) {
                    sum += v->X + v->Y;
                }
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    const auto cells = static_cast<double>(state.range(0));
    state.counters["triangles"] = 2.0 * cells * cells;
}

void DrawArgs(benchmark::internal::Benchmark* b) {
    for (int cells : {kCells10k, kCells100k, kCells1M}) {
        for (int width : {149, 97}) {
            for (int view : {kViewXY, kViewYZ, kViewZX}) b->Args({view, width, cells});
        }
    }
    b->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_FitView)->Arg(kCells10k)->Arg(kCells100k)->Arg(kCells1M)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawSuf)->Apply(DrawArgs);
BENCHMARK(BM_WalkVertices)->Arg(kCells10k)->Arg(kCells100k)->Arg(kCells1M)->Unit(benchmark::kMillisecond);
