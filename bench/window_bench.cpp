// The window on the offscreen platform, timed by the clock on the wall since
// the window's handlers share their work out between threads:
// - a slider move to three repainted previews: MorphPercentChange ->
//   PercentTXBXChange -> blend -> PreviewAll -> repaint of each box;
// - opening a start shape while a target is loaded, from the choice of the
//   file to the last view repainted: Refer1Click (read, copy, ViewAll).
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QSlider>
#include <cstdlib>

#include "app/plivra_mainform.h"
#include "bench/support.h"
#include "qt/application.h"
#include "qt/file_dialog.h"
#include "shape/state.h"
#include "shape/vane.h"

namespace {

// Holds the window's three lists of one size, as Refer1Click and Refer2Click
// would leave them.
void UseSheets(int cells) {
    static int loaded = 0;
    if (loaded == cells) return;
    VANE->FreeSuf(MorphedSuf);
    VANE->FreeSuf(Suf1);
    VANE->FreeSuf(Suf2);
    Suf1 = LoadBenchShape(BenchMesh(cells).start);
    Suf2 = LoadBenchShape(BenchMesh(cells).target);
    MorphedSuf = VANE->CopySuf(Suf1);
    Form1->ViewAll();
    loaded = cells;
}

void BM_SliderToPreviews(benchmark::State& state) {
    const int cells = static_cast<int>(state.range(0));
    UseSheets(cells);
    // Kept across runs: a run of one iteration that set the position the
    // last run left would time nothing.
    static int position = 300;
    // On a display the step ends when the server has drawn what it was
    // sent; offscreen, when the boxes are painted.
    const bool display = QGuiApplication::platformName() != "offscreen";
    for (auto _ : state) {
        Form1->MorphPercent->setValue(position);
        if (display) QGuiApplication::sync();
        position = 1000 - position;
    }
    state.counters["triangles"] = 2.0 * cells * cells;
}

// Chooses the same file every time it is asked.
class TChosenFile : public TFileDialog {
public:
    explicit TChosenFile(const std::string& path) { FileName = QString::fromStdString(path); }
    bool Execute() override { return true; }
};

void BM_OpenShape(benchmark::State& state) {
    const int cells = static_cast<int>(state.range(0));
    UseSheets(cells);
    Form1->OpenDialog1 = std::make_unique<TChosenFile>(BenchMesh(cells).start);
    for (auto _ : state)
        Form1->Refer1Click();
    state.counters["triangles"] = 2.0 * cells * cells;
}

}  // namespace

BENCHMARK(BM_SliderToPreviews)
    ->Arg(kCells10k)
    ->Arg(kCells100k)
    ->Arg(kCells1M)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenShape)->Arg(kCells1M)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    benchmark::Initialize(&argc, argv);
    VANE_SourceInitialize();
    plivra_mainformInitialize();
    {
        TApplication application(argc, argv);
        TForm1 form;
        Form1 = &form;
        form.show();
        QApplication::processEvents();
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        plivra_mainformFinalize();
        VANE_SourceFinalize();
        Form1 = nullptr;
    }
    return 0;
}
