// The window after a quiet period: the set goes through the core, the raw log gets its line, the
// 22-row table is rebuilt and painted. Runs the real window, started as the program starts it,
// under the offscreen platform: a pseudo-terminal as its serial line, a listening socket on
// 127.0.0.1 as its AGWPE engine, its settings and raw logs in a temporary folder.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <memory>

#include "app/ombrix.h"

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

class WindowFixture {
  public:
    bool Start() {
        if (!dir_.isValid() || !QDir::setCurrent(dir_.path())) return Fail("no temporary folder");
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            return Fail("no pseudo-terminal");
        const QString device = QString::fromLocal8Bit(ptsname(master_));

        // The engine takes the frames and throws them away.
        if (!engine_.listen(QHostAddress::LocalHost, 0)) return Fail("no engine port");
        QObject::connect(&engine_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = engine_.nextPendingConnection())
                QObject::connect(s, &QTcpSocket::readyRead, s, [s] { s->readAll(); });
        });
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0)) return Fail("no free port");
        const quint16 statusPort = probe.serverPort();
        probe.close();

        QSettings store(dir_.filePath("Ombrix.conf"), QSettings::IniFormat);
        store.beginGroup("Optionen");
        store.setValue("PfadWX", dir_.filePath("wx") + "/");
        store.setValue("Lage", "5130.00N/00730.00E_");
        store.setValue("CallTo", "APRS");
        store.setValue("CallFrom", "DL1ABC");
        store.setValue("CallDigi1", "WIDE1-1");
        store.setValue("CallDigi2", "");
        store.setValue("CommPortOmbrix", "2");
        store.setValue("AGWPEPort", "0");
        store.setValue("CommDevice", device);
        store.setValue("AGWPETcpPort", QString::number(engine_.serverPort()));
        store.setValue("StatusServerPort", QString::number(statusPort));
        store.endGroup();
        store.sync();

        window_ = std::make_unique<ombrix::Ombrix>();
        ombrix::StartupError error;
        if (!window_->Load(store, error))
            return Fail(qPrintable(ombrix::Ombrix::StartupErrorText(error)));
        window_->show();
        Settle();
        testwerte_ = window_->findChild<QPushButton*>("Command1");
        table_ = window_->findChild<QTableWidget*>("ListView1");
        if (testwerte_ == nullptr || table_ == nullptr) return Fail("no button or table");
        table_->viewport()->installEventFilter(&tablePaints_);
        return true;
    }

    ~WindowFixture() {
        window_.reset();
        if (master_ >= 0) ::close(master_);
    }

    // Runs what is due: delayed layout, painting, the engine's reads.
    static void Settle() {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }

    QPushButton* Testwerte() const { return testwerte_; }
    QTableWidget* Table() const { return table_; }
    ombrix::Ombrix* Window() const { return window_.get(); }
    long long TablePaints() const { return tablePaints_.paints; }

  private:
    static bool Fail(const char* why) {
        std::fprintf(stderr, "window_bench: %s\n", why);
        return false;
    }

    QTemporaryDir dir_;
    int master_ = -1;
    QTcpServer engine_;
    std::unique_ptr<ombrix::Ombrix> window_;
    QPushButton* testwerte_ = nullptr;
    QTableWidget* table_ = nullptr;
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
