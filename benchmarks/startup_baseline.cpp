// The yardstick for Ombrix's start-up: an empty Qt window that opens the same serial device,
// connects a client socket and listens on a server socket, linked against the same Qt libraries.
// It reports its first painted window exactly as Ombrix does under OMBRIX_STARTUP_PROBE, so
// benchmarks/startup.py --baseline measures both the same way.
//
//   startup-baseline DEVICE ENGINE_PORT STATUS_PORT
#include <QApplication>
#include <QEvent>
#include <QSerialPort>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdio>

namespace {

class Probe : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted_) {
            painted_ = true;
            QTimer::singleShot(0, this, [] {
                const auto now = std::chrono::steady_clock::now().time_since_epoch();
                std::fprintf(
                    stderr, "shown %lld\n",
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
                if (qgetenv("OMBRIX_STARTUP_PROBE") == "quit") QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    bool painted_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: startup-baseline DEVICE ENGINE_PORT STATUS_PORT\n");
        return 2;
    }
    QWidget window;
    window.resize(667, 436);
    QSerialPort port(QString::fromLocal8Bit(argv[1]));
    port.setBaudRate(QSerialPort::Baud9600);
    if (!port.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "startup-baseline: cannot open %s\n", argv[1]);
        return 1;
    }
    QTcpSocket engine;
    engine.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(std::atoi(argv[2])));
    QTcpServer server;
    server.listen(QHostAddress::Any, static_cast<quint16>(std::atoi(argv[3])));
    Probe probe;
    window.installEventFilter(&probe);
    window.show();
    return QApplication::exec();
}
