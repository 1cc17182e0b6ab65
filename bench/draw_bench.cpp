// DrawSuf of a one-million-triangle shape into a preview-sized bitmap, one
// run per orthographic view. Reports triangles (and so edges / 3) per second.
#include <benchmark/benchmark.h>

#include <cmath>

#include "shape/records.h"
#include "shape/vane.h"
#include "view/canvas.h"
#include "view/settings.h"

namespace {

// A 708 x 708 grid of quads, each split into two triangles (1,002,528
// triangles), on a wavy surface so that all three views see area.
TVANE_Object* MakeSheet() {
    constexpr int kCells = 708;
    auto* object = new TVANE_Object;
    auto vertex = [](Extended x, Extended y) {
        auto* v = new TVANE_Vertex;
        v->X = x;
        v->Y = y;
        v->Z = 5 * std::sin(x / 7) * std::cos(y / 11);
        return v;
    };
    auto triangle = [&](Extended x0, Extended y0, Extended x1, Extended y1, Extended x2, Extended y2) {
        auto* poly = new TVANE_Polygon;
        poly->Marked = 1;
        TVANE_Vertex* a = vertex(x0, y0);
        TVANE_Vertex* b = vertex(x1, y1);
        TVANE_Vertex* c = vertex(x2, y2);
        a->Next = b, b->Prev = a, b->Next = c, c->Prev = b;
        poly->Vertices = a;
        poly->Next = object->Polygons;
        if (object->Polygons != nullptr) object->Polygons->Prev = poly;
        object->Polygons = poly;
    };
    for (int i = 0; i < kCells; ++i) {
        for (int j = 0; j < kCells; ++j) {
            const Extended x = i * 0.1L, y = j * 0.1L;
            triangle(x, y, x + 0.1L, y, x, y + 0.1L);
            triangle(x + 0.1L, y, x + 0.1L, y + 0.1L, x, y + 0.1L);
        }
    }
    return object;
}

TVANE_Object* Sheet() {
    static TVANE_Object* sheet = MakeSheet();  // kept for the whole run
    return sheet;
}

void BM_DrawSuf(benchmark::State& state) {
    TVANE_Object* shape = Sheet();
    TVANE_ViewSettings settings;
    VANE->DefaultViewSettings(settings);
    settings.ViewKind = static_cast<std::uint8_t>(state.range(0));
    settings.ClearFirst = true;
    settings.ShowGrid = false;
    VANE->FitView(shape, settings, settings);
    TVANE_Colors colors;
    VANE->DefaultViewColors(colors);
    TBitmap bitmap(149, 141);
    for (auto _ : state) {
        VANE->DrawSuf(shape, bitmap, settings, colors);
        benchmark::DoNotOptimize(bitmap.Pixels());
    }
    state.counters["triangles/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 708 * 708 * 2, benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_DrawSuf)->Arg(kViewXY)->Arg(kViewYZ)->Arg(kViewZX)->Unit(benchmark::kMillisecond);
