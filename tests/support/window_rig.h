// The main window under the offscreen platform, started as the program starts it: settings of the
// test station in a temporary folder (also the working folder, where "fehler.log" and the archive
// go), the serial port on a socat pseudo-terminal pair, a stand-in AGWPE engine (below) and the
// status server on free loopback ports.
#pragma once

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSettings>
#include <QTableWidget>
#include <QTcpSocket>
#include <memory>

#include "app/ombrix.h"
#include "app/serial_intake.h"
#include "qt_support.h"

namespace ombrix::test {

// Waits until the pause timer has run out and the buffer is empty again.
inline bool WaitIntakeIdle(const SerialIntake& intake, int ms = 10000) {
    return QTest::qWaitFor([&] { return !intake.PauseTimerActive() && intake.RxBuffer().empty(); },
                           ms);
}

// A stand-in AGWPE engine: accepts clients on 127.0.0.1 and keeps what they send.
class Engine {
  public:
    bool Listen() {
        server_ = std::make_unique<QTcpServer>();
        QObject::connect(server_.get(), &QTcpServer::newConnection, [this] {
            while (QTcpSocket* client = server_->nextPendingConnection())
                QObject::connect(client, &QTcpSocket::readyRead,
                                 [this, client] { received += client->readAll(); });
        });
        return server_->listen(QHostAddress::LocalHost, 0);
    }
    quint16 Port() const { return server_ ? server_->serverPort() : 0; }

    QByteArray received;

  private:
    std::unique_ptr<QTcpServer> server_;
};

struct WindowRig {
    // Empty when the window is up, else what failed. `extra` settings lines win over the test
    // station's.
    QString Start(const QByteArray& extra = {}) {
        QLocale::setDefault(QLocale::c());
        if (!dir.isValid() || !QDir::setCurrent(dir.path())) return "no temporary folder";
        if (!pty.Start()) return "socat could not make a pseudo-terminal pair";
        if (!engine.Listen() || statusPort == 0) return "no free loopback port";
        QFile conf(dir.filePath("Ombrix.conf"));
        if (!conf.open(QIODevice::WriteOnly)) return "no settings file";
        conf.write(StationSettings(dir.filePath("wx/"), pty.Program(), engine.Port(), statusPort));
        conf.write("ArchivePath=" + dir.filePath("archive.sqlite").toUtf8() + "\n" + extra);
        conf.close();
        store = std::make_unique<QSettings>(conf.fileName(), QSettings::IniFormat);
        window = std::make_unique<Ombrix>();
        StartupError error;
        if (!window->Load(*store, error)) return Ombrix::StartupErrorText(error);
        window->show();
        return QTest::qWaitForWindowExposed(window.get()) ? QString() : "window not shown";
    }
    ~WindowRig() {
        window.reset();
        QDir::setCurrent(QDir::tempPath());
    }

    QTableWidget* Table() const { return window->findChild<QTableWidget*>("ListView1"); }
    QString Cell(int row, int column) const {
        const QTableWidgetItem* item = Table()->item(row, column);
        return item ? item->text() : QString();
    }
    // The "Zähler" row counts the valid sets decoded.
    QString Counter() const { return Table()->rowCount() == 22 ? Cell(21, 1) : QString(); }
    bool WaitIntakeIdle() const { return test::WaitIntakeIdle(*window->Intake()); }

    QTemporaryDir dir;
    PtyPair pty;
    Engine engine;
    quint16 statusPort = FreePort();
    std::unique_ptr<QSettings> store;
    std::unique_ptr<Ombrix> window;
};

}  // namespace ombrix::test
