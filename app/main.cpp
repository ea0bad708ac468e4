// Ombrix: logger for a home weather station on the serial line, with APRS weather reports
// through an AGWPE packet engine and a small status server.
#include <QApplication>
#include <QEvent>
#include <QSettings>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <cstdio>

#include "app/ombrix.h"

namespace {

// OMBRIX_STARTUP_PROBE, for the start-up benchmark (benchmarks/startup.py): once the window has
// been painted for the first time, "shown <steady clock in ns>" goes to standard error; with the
// value "quit" the program then ends.
class StartupProbe : public QObject {
  public:
    explicit StartupProbe(bool quit) : quit_(quit) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted_) {
            painted_ = true;
            // Reported once the painted window has gone to the screen.
            QTimer::singleShot(0, this, [this] {
                const auto now = std::chrono::steady_clock::now().time_since_epoch();
                std::fprintf(
                    stderr, "shown %lld\n",
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
                if (quit_) QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    bool quit_;
    bool painted_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    // A write to a peer that has just gone (the packet engine, a status client) fails with EPIPE
    // instead of ending the program. Qt ignores the signal itself on its first socket write; this
    // makes it so from the start.
    std::signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Ombrix");
    QApplication::setApplicationName("Ombrix");

    // ~/.config/Ombrix/Ombrix.conf, section "Optionen".
    QSettings store;
    ombrix::Ombrix window;
    ombrix::StartupError error;
    if (!window.Load(store, error)) {
        ombrix::ReportStartupError(error);
        return 1;
    }
    const QByteArray probe = qgetenv("OMBRIX_STARTUP_PROBE");
    StartupProbe startupProbe(probe == "quit");
    if (!probe.isEmpty()) window.installEventFilter(&startupProbe);
    window.show();
    return QApplication::exec();
}
