// DrawSuf of a one-million-triangle shape (and of a quarter of it) into a
// preview-sized bitmap, one run per orthographic view. Reports triangles
// (and so edges / 3) per second.
#include <benchmark/benchmark.h>

#include <cmath>

#include "shape/records.h"
#include "shape/vane.h"
#include "view/canvas.h"
#include "view/settings.h"

namespace {

// A cells x cells grid of quads, each split into two triangles (708 gives
// 1,002,528 triangles), on a wavy surface so that all three views see area.
TVANE_Object* MakeSheet(int cells) {
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
    for (int i = 0; i < cells; ++i) {
        for (int j = 0; j < cells; ++j) {
            const Extended x = i * 0.1L, y = j * 0.1L;
            triangle(x, y, x + 0.1L, y, x, y + 0.1L);
            triangle(x + 0.1L, y, x + 0.1L, y + 0.1L, x, y + 0.1L);
        }
    }
    return object;
}

// Kept for the whole run; the last one built is reused while cells stay the same.
TVANE_Object* Sheet(int cells) {
    static int built = 0;
    static TVANE_Object* sheet = nullptr;
    if (built != cells) {
        VANE->FreeSuf(sheet);
        sheet = MakeSheet(cells);
        built = cells;
    }
    return sheet;
}

void BM_DrawSuf(benchmark::State& state) {
    const int cells = static_cast<int>(state.range(1));
    TVANE_Object* shape = Sheet(cells);
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
        static_cast<double>(state.iterations()) * cells * cells * 2, benchmark::Counter::kIsRate);
}

}  // namespace

// Arguments: view kind, cells. A quarter of the triangles should take a quarter of the time.
BENCHMARK(BM_DrawSuf)
    ->ArgsProduct({{kViewXY, kViewYZ, kViewZX}, {354, 708}})
    ->Unit(benchmark::kMillisecond);
