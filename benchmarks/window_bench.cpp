// The window after a quiet period: the set goes through the core, the raw log gets its line, the
// 22-row table is rebuilt and painted. Runs the real window, started as the program starts it,
// under the offscreen platform: a socat pseudo-terminal pair as its serial line, a listening socket
// on 127.0.0.1 as its AGWPE engine, its settings and raw logs in a temporary folder.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QPushButton>
#include <QTableWidget>
#include <chrono>
#include <cstdio>

#include "app/ombrix.h"
#include "window_rig.h"

namespace {

// Counts the paint events of a widget.
class PaintCounter : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return QObject::eventFilter(watched, event);
    }
    long long paints = 0;
};

// The window as the tests start it (window_rig.h), with a count of the table's paint events.
class WindowFixture {
  public:
    bool Start() {
        const QString failed = rig_.Start();
        if (!failed.isEmpty()) {
            std::fprintf(stderr, "window_bench: %s\n", qPrintable(failed));
            return false;
        }
        Settle();
        testwerte_ = rig_.window->findChild<QPushButton*>("Command1");
        if (testwerte_ == nullptr || rig_.Table() == nullptr) {
            std::fprintf(stderr, "window_bench: no button or table\n");
            return false;
        }
        rig_.Table()->viewport()->installEventFilter(&tablePaints_);
        return true;
    }

    // Runs what is due: delayed layout, painting, the engine's reads.
    static void Settle() {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }

    QPushButton* Testwerte() const { return testwerte_; }
    QTableWidget* Table() const { return rig_.Table(); }
    ombrix::Ombrix* Window() const { return rig_.window.get(); }
    long long TablePaints() const { return tablePaints_.paints; }

  private:
    ombrix::test::WindowRig rig_;
    QPushButton* testwerte_ = nullptr;
    PaintCounter tablePaints_;
};

WindowFixture* g_fixture = nullptr;

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// "Testwerte" clicked: core, raw-log line on disk, status line when due, the table rebuilt with
// its 22 rows. The painting that follows runs after the measured time.
void BM_TestwerteTableFilled(benchmark::State& state) {
    WindowFixture& f = *g_fixture;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        f.Testwerte()->click();
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(Seconds(end - start));
        WindowFixture::Settle();
    }
    if (f.Table()->rowCount() != 22) state.SkipWithError("the table does not have 22 rows");
}
BENCHMARK(BM_TestwerteTableFilled)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The same up to the painted window: the click and the events it leaves behind (delayed layout
// of the table, painting of the window into its backing store and the flush).
void BM_TestwerteShown(benchmark::State& state) {
    WindowFixture& f = *g_fixture;
    long long missed = 0;
    for (auto _ : state) {
        const long long before = f.TablePaints();
        const auto start = std::chrono::steady_clock::now();
        f.Testwerte()->click();
        WindowFixture::Settle();
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(Seconds(end - start));
        if (f.TablePaints() == before) ++missed;
    }
    if (missed > 0) state.SkipWithError("the table was not painted after every click");
}
BENCHMARK(BM_TestwerteShown)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Painting alone: the whole window with its 22 rows, nothing changed.
void BM_RepaintWindow(benchmark::State& state) {
    WindowFixture& f = *g_fixture;
    f.Testwerte()->click();
    WindowFixture::Settle();
    for (auto _ : state) f.Window()->repaint();
}
BENCHMARK(BM_RepaintWindow)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    WindowFixture fixture;
    if (!fixture.Start()) return 1;
    g_fixture = &fixture;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
