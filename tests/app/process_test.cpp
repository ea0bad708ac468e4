// The built program as a process: offscreen, its settings in a temporary XDG_CONFIG_HOME, the
// serial port on a socat pseudo-terminal, a stand-in AGWPE engine and the status server on free
// loopback ports.
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <optional>

#include "pty_pair.h"
#include "station/telegram_set.h"

using ombrix::TestTelegramSet;
using ombrix::test::PtyPair;

namespace {

constexpr int kWaitMs = 20000;

quint16 FreePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) return 0;
    return probe.serverPort();
}

// Connects, sends a byte and returns what arrives until the program closes the connection;
// nothing when no connection could be made.
std::optional<QByteArray> AskStatus(quint16 port) {
    QTcpSocket s;
    QByteArray got;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&s, &QTcpSocket::connected, &loop, [&] { s.write("?"); });
    QObject::connect(&s, &QTcpSocket::readyRead, &loop, [&] { got += s.readAll(); });
    QObject::connect(&s, &QTcpSocket::stateChanged, &loop, [&](QAbstractSocket::SocketState st) {
        if (st == QAbstractSocket::UnconnectedState) loop.quit();
    });
    bool connected = false;
    QObject::connect(&s, &QTcpSocket::connected, &loop, [&] { connected = true; });
    s.connectToHost(QHostAddress::LocalHost, port);
    timeout.start(5000);
    loop.exec();
    got += s.readAll();
    if (!connected) return std::nullopt;
    return got;
}

}  // namespace

class ProcessTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QProcess> ombrix_;

    QString Path(const QString& name) { return dir_->filePath(name); }
    QString ConfFile() { return Path("config/Ombrix/Ombrix.conf"); }

    bool WriteConf(const QByteArray& lines) {
        if (!QDir().mkpath(Path("config/Ombrix"))) return false;
        QFile f(ConfFile());
        if (!f.open(QIODevice::WriteOnly)) return false;
        return f.write("[Optionen]\n" + lines) > 0;
    }

    void Start(const QString& locale) {
        QDir().mkpath(Path("work"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", Path("config"));
        env.insert("XDG_DATA_HOME", Path("data"));
        env.insert("XDG_RUNTIME_DIR", dir_->path());
        env.insert("LC_ALL", locale);
        env.insert("OMBRIX_NO_DIALOGS", "1");
        ombrix_ = std::make_unique<QProcess>();
        ombrix_->setProcessEnvironment(env);
        ombrix_->setWorkingDirectory(Path("work"));
        ombrix_->start(OMBRIX_BINARY, {});
        ombrix_->waitForStarted(kWaitMs);
    }

    bool Running() { return ombrix_ && ombrix_->state() != QProcess::NotRunning; }

  private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
    }

    void cleanup() {
        if (Running()) {
            ombrix_->terminate();
            if (!ombrix_->waitForFinished(5000)) {
                ombrix_->kill();
                ombrix_->waitForFinished(5000);
            }
        }
        ombrix_.reset();
        dir_.reset();
    }

    void stationSetToStatusLineAndRawLog_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QByteArray>("report");
        const QByteArray report = "!5130.00N/00730.00E_205/006g006t049r000P004h91b10150";
        QTest::newRow("point") << "C.UTF-8" << report;
        // The report does not depend on the locale's decimal separator.
        QTest::newRow("comma") << "de_DE.UTF-8" << report;
    }
    void stationSetToStatusLineAndRawLog() {
        QFETCH(QString, locale);
        QFETCH(QByteArray, report);
        PtyPair pty;
        QVERIFY2(pty.Start(), "socat could not make a pseudo-terminal pair");
        QTcpServer engine;
        QByteArray engineBytes;
        QVERIFY(engine.listen(QHostAddress::LocalHost, 0));
        connect(&engine, &QTcpServer::newConnection, this, [&] {
            while (QTcpSocket* s = engine.nextPendingConnection())
                connect(s, &QTcpSocket::readyRead, this, [&, s] { engineBytes += s->readAll(); });
        });
        const quint16 statusPort = FreePort();
        QVERIFY(statusPort != 0);
        QVERIFY(WriteConf("PfadWX=" + Path("wx").toUtf8() +
                          "/\n"
                          "Lage=5130.00N/00730.00E_\nCallTo=APRS\nCallFrom=DL1ABC\n"
                          "CallDigi1=WIDE1-1\nCallDigi2=\nCommPortOmbrix=2\nAGWPEPort=0\n"
                          "CommDevice=" +
                          pty.Program().toUtf8() +
                          "\nAGWPETcpPort=" + QByteArray::number(engine.serverPort()) +
                          "\nStatusServerPort=" + QByteArray::number(statusPort) + "\n"));
        Start(locale);

        // Up and listening; no status line composed yet, so the connection closes empty.
        std::optional<QByteArray> reply;
        QVERIFY2(
            QTest::qWaitFor(
                [&] { return !Running() || (reply = AskStatus(statusPort)).has_value(); }, kWaitMs),
            "the status server never answered");
        QVERIFY2(Running(), ombrix_->readAllStandardError().constData());
        QCOMPARE(*reply, QByteArray());

        QVERIFY(pty.Send(TestTelegramSet()));
        QVERIFY(QTest::qWaitFor(
            [&] {
                reply = AskStatus(statusPort);
                return !Running() || (reply && !reply->isEmpty());
            },
            kWaitMs));
        QVERIFY(Running());
        const QRegularExpression status("^\\d\\d \\d\\d 9 7 8 0 1 9 205 10 194 1015 91$");
        QVERIFY2(status.match(QString::fromLatin1(*reply)).hasMatch(), reply->constData());

        // It rained today: one line in this hour's raw log, with the report of the set.
        const QStringList logs = QDir(Path("wx")).entryList({"WX*.LOG"}, QDir::Files);
        QCOMPARE(logs.size(), 1);
        QVERIFY2(QRegularExpression("^WX\\d{4}\\.\\d\\d\\.\\d\\d \\d\\d\\.LOG$")
                     .match(logs[0])
                     .hasMatch(),
                 qPrintable(logs[0]));
        QFile log(Path("wx/" + logs[0]));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray line = log.readAll();
        QCOMPARE(line.count("\r\n"), 1);
        QVERIFY2(QRegularExpression("^\\d{4}\\.\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d \\?8")
                     .match(QString::fromLatin1(line))
                     .hasMatch(),
                 line.constData());
        QCOMPARE(line.size(), 20 + 282 + 11 + report.size() + 2);
        QVERIFY2(line.endsWith(" r= 0 p= 1 " + report + "\r\n"), line.constData());

        // The same report went to the engine, in a "K" frame.
        QVERIFY(QTest::qWaitFor([&] { return engineBytes.contains(report); }, kWaitMs));
        QCOMPARE(engineBytes.at(4), 'K');
        QVERIFY(!QFile::exists(Path("work/fehler.log")));
    }

    // A store that has no port number gets the defaults, even when the start then fails.
    void missingDeviceEndsWithMessage() {
        QVERIFY(WriteConf("CommDevice=/dev/ombrix-keine-station\n"));
        Start("C.UTF-8");
        QVERIFY(ombrix_->waitForFinished(kWaitMs));
        QCOMPARE(ombrix_->exitStatus(), QProcess::NormalExit);
        QVERIFY(ombrix_->exitCode() != 0);
        const QString err = QString::fromUtf8(ombrix_->readAllStandardError());
        QVERIFY2(err.contains("/dev/ombrix-keine-station"), qPrintable(err));
        QVERIFY2(err.contains("Laufzeitfehler '8002'"), qPrintable(err));

        QSettings store(ConfFile(), QSettings::IniFormat);
        store.beginGroup("Optionen");
        QCOMPARE(store.value("CommPortOmbrix").toString(), "2");
        QCOMPARE(store.value("AGWPEPort").toString(), "0");
        QCOMPARE(store.value("CallFrom").toString(), "N0CALL");
        QCOMPARE(store.value("PfadWX").toString(), Path("data") + "/Ombrix/WX/");
        QCOMPARE(store.value("CommDevice").toString(), "/dev/ombrix-keine-station");
    }
};

QTEST_GUILESS_MAIN(ProcessTest)
#include "process_test.moc"
