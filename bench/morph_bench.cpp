// The blend walk over three corresponding sheets, with its anchor: the same
// arithmetic over the same values held as plain arrays.
#include <benchmark/benchmark.h>

#include <map>
#include <vector>

#include "app/morph.h"
#include "app/preview.h"
#include "bench/support.h"
#include "shape/records.h"
#include "shape/vane.h"
#include "view/canvas.h"
#include "view/draw.h"
#include "view/settings.h"

namespace {

struct TPair {
    TVANE_Object* start = nullptr;
    TVANE_Object* target = nullptr;
    TVANE_Object* result = nullptr;
};

const TPair& Pair(int cells) {
    static std::map<int, TPair> pairs;
    TPair& pair = pairs[cells];
    if (pair.start == nullptr) {
        pair.start = LoadBenchShape(BenchMesh(cells).start);
        pair.target = LoadBenchShape(BenchMesh(cells).target);
        pair.result = VANE->CopySuf(pair.start);
    }
    return pair;
}

void BM_Blend(benchmark::State& state) {
    const int cells = static_cast<int>(state.range(0));
    const TPair& pair = Pair(cells);
    std::int32_t percent = 30;
    for (auto _ : state) {
        BlendSuf(pair.start, pair.target, pair.result, percent);
        percent = 100 - percent;
        benchmark::ClobberMemory();
    }
    state.counters["triangles"] = 2.0 * cells * cells;
}

// The window's previews of a blend: three orthographic views of the size
// the window gives them, each polygon blended and drawn in one walk.
void BM_BlendAndDraw(benchmark::State& state) {
    const int cells = static_cast<int>(state.range(0));
    const TPair& pair = Pair(cells);
    TVANE_ViewSettings settings;
    VANE->DefaultViewSettings(settings);
    VANE->FitView(pair.start, settings, settings);
    TVANE_Colors colors;
    VANE->DefaultViewColors(colors);
    std::vector<TBitmap> bitmaps(3, TBitmap(149, 141));
    std::vector<TSufView> views;
    for (std::uint8_t kind = kViewXY; kind <= kViewZX; ++kind) {
        settings.ViewKind = kind;
        views.push_back({&bitmaps[kind], settings});
    }
    std::int32_t percent = 30;
    for (auto _ : state) {
        BlendAndDrawSuf(pair.start, pair.target, pair.result, percent, views, colors);
        percent = 100 - percent;
        benchmark::DoNotOptimize(bitmaps[0].Pixels());
    }
    state.counters["triangles"] = 2.0 * cells * cells;
}

// Eight values per vertex from two arrays into a third, with the blend's
// arithmetic written out in the loop: the memory traffic and the work of the
// blend without its list walk and without calls.
void BM_ArrayBlend(benchmark::State& state) {
    const int cells = static_cast<int>(state.range(0));
    const std::size_t count = static_cast<std::size_t>(6L * cells * cells) * 8;
    std::vector<Extended> start(count, 1.25L), target(count, 3.5L), result(count);
    std::int32_t percent = 30;
    for (auto _ : state) {
        const Extended x = percent;
        for (std::size_t i = 0; i < count; ++i) {
            result[i] = start[i] + x * ((target[i] - start[i]) / 100);
        }
        percent = 100 - percent;
        benchmark::DoNotOptimize(result.data());
    }
    state.counters["triangles"] = 2.0 * cells * cells;
}

}  // namespace

BENCHMARK(BM_Blend)->Apply(LargeBenchSizes);
BENCHMARK(BM_BlendAndDraw)->Apply(LargeBenchSizes);
BENCHMARK(BM_ArrayBlend)->Apply(LargeBenchSizes);
