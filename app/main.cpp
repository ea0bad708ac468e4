// Ombrix: logger for a home weather station on the serial line, with APRS weather reports
// through an AGWPE packet engine and a small status server.
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QSettings>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string_view>

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

constexpr const char* kUsage =
    "usage: ombrix [--help] [--version] [Qt options]\n"
    "Logger for a home weather station: reads the station's telegram sets from the serial line,\n"
    "shows them, serves the status line on TCP port 12345 and sends APRS weather reports\n"
    "through an AGWPE packet engine. The settings are in ~/.config/Ombrix/Ombrix.conf, section\n"
    "[Optionen]; \"fehler.log\" goes to the working folder.\n"
    "  --help      show this help and exit\n"
    "  --version   show the version and exit\n"
    "Qt's own options work as in every Qt program, for example -platform offscreen.\n";

// The options Qt's application object takes: the number of arguments each uses (1 or 2), 0 for
// anything else, which is named as an error before a window or the settings are touched.
int QtOptionLength(std::string_view arg) {
    static constexpr std::string_view kWithValue[] = {
        "platform",    "platformpluginpath", "platformtheme", "plugin",     "qwindowgeometry",
        "qwindowicon", "qwindowtitle",       "session",       "display",    "name",
        "title",       "geometry",           "style",         "stylesheet", "qmljsdebugger"};
    static constexpr std::string_view kFlags[] = {"reverse", "nograb", "dograb", "sync",
                                                  "widgetcount"};
    if (arg.size() < 2 || arg[0] != '-') return 0;
    arg.remove_prefix(arg.starts_with("--") ? 2 : 1);
    const std::size_t eq = arg.find('=');
    const bool joined = eq != std::string_view::npos;  // "-platform=offscreen"
    if (joined) arg = arg.substr(0, eq);
    for (std::string_view name : kWithValue) {
        if (arg == name) return joined ? 1 : 2;
    }
    for (std::string_view name : kFlags) {
        if (arg == name && !joined) return 1;
    }
    return 0;
}

// --help and --version print and end with 0; anything unknown ends with the usage and 2. Returns
// -1 when the program is to start.
int HandleCommandLine(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("ombrix %s\n", OMBRIX_VERSION);
            return 0;
        }
        if (const int length = QtOptionLength(arg); length > 0) {
            i += length - 1;
            continue;
        }
        std::fprintf(stderr, "ombrix: unknown %s '%s'\n%s",
                     arg.starts_with('-') ? "option" : "argument", argv[i], kUsage);
        return 2;
    }
    return -1;
}

// SIGTERM, SIGINT and SIGHUP end the program as closing the window does (serial port and its lock
// file, sockets, the archive's open interval). The handler only writes the signal's number to a
// socket pair; the event loop reads it and closes the window.
int g_signalPipe[2] = {-1, -1};

extern "C" void OnEndSignal(int signal) {
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[0], &byte, 1);
}

bool CatchEndSignals(QWidget& window) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return false;
    auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char byte = 0;
        if (::read(g_signalPipe[1], &byte, 1) == 1) window.close();
    });
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (const int status = HandleCommandLine(argc, argv); status >= 0) return status;
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
    if (!CatchEndSignals(window))
        std::fprintf(stderr, "Ombrix: %s: SIGTERM ends the program at once\n",
                     std::strerror(errno));
    window.show();
    return QApplication::exec();
}
