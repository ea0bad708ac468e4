// The APRS-IS upload against stand-in servers on the loopback interface: one that speaks the
// login exchange as CWOP's servers do, whose packet direwolf's APRS decoder reads back, and the
// hostile ones (refusing, silent, closing during the login, answering garbage, answering too
// late). The window's loop never waits for them; the next interval tries again; standard error
// hears of each change of state once.
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <memory>

#include "aprsis/aprs_is_upload.h"
#include "qt_support.h"
#include "sample_reading.h"

using ombrix::AprsIsSettings;
using ombrix::AprsIsUpload;
using ombrix::StationReading;

namespace {

constexpr std::int64_t kAt = 1796640750;  // 2026-12-07 10:52:30 UTC

StationReading Reading(ombrix::SetSource source = ombrix::SetSource::Station) {
    return ombrix::test::SampleReading(source);
}

// What a server does after accepting a connection.
enum class Server { Speaks, Silent, ClosesAtLogin, Garbage, Late };

struct StandIn {
    explicit StandIn(Server what) : kind(what) {
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            QTcpSocket* client = server.nextPendingConnection();
            if (kind == Server::Silent) return;
            if (kind == Server::Late) {
                QTimer::singleShot(1500, client, [client] { client->write("# late 1.0\r\n"); });
                return;
            }
            client->write(kind == Server::Garbage ? "HTTP/1.0 400 Bad Request\r\n"
                                                  : "# aprsc 2.1.14\r\n");
            QObject::connect(client, &QTcpSocket::readyRead, [this, client] {
                received += client->readAll();
                if (kind == Server::ClosesAtLogin) client->close();
                if (kind == Server::Speaks && received.count('\n') == 1)
                    client->write("# logresp N0ABC-13 unverified, server T2TEST\r\n");
            });
        });
        server.listen(QHostAddress::LocalHost, 0);
    }
    Server kind;
    QTcpServer server;
    QByteArray received;
};

struct Upload {
    Upload(quint16 port, int intervalSeconds = 600) {
        AprsIsSettings s;
        s.Host = "127.0.0.1";
        s.Port = port;
        s.Call = "N0ABC-13";
        s.Lage = "4903.50N/00831.20E_";
        s.IntervalSeconds = intervalSeconds;
        s.ConnectMs = 1000;
        s.AnswerMs = 800;
        s.SilenceMs = 2500;
        upload = std::make_unique<AprsIsUpload>(
            s, [](std::int64_t) { return 2.54; },
            [this](const std::string& line) { lines << QString::fromStdString(line); });
    }
    QStringList lines;
    std::unique_ptr<AprsIsUpload> upload;
};

}  // namespace

class AprsIsTest : public QObject {
    Q_OBJECT

  private slots:
    // The login, then the packet, which direwolf's decoder reads as the station's weather.
    void sendsTheReportAfterTheLogin() {
        StandIn cwop(Server::Speaks);
        Upload u(cwop.server.serverPort());
        u.upload->Reading(Reading(ombrix::SetSource::TestButton), kAt);
        u.upload->Reading(Reading(), kAt);
        const QByteArray packet =
            "N0ABC-13>APRS,TCPIP*:@071052z4903.50N/00831.20E_205/006g011t049r000p010P004h91b10153";
        QTRY_COMPARE(cwop.received,
                     "user N0ABC-13 pass -1 vers Ombrix " OMBRIX_VERSION "\r\n" + packet + "\r\n");
        QTRY_COMPARE(u.upload->StateText().left(17), "APRS-IS gesendet ");
        QCOMPARE(u.lines.size(), 1);
        QCOMPARE(u.upload->Sessions(), 1);

        QProcess decode;
        decode.start("decode_aprs", {});
        decode.write(packet + "\n");
        decode.closeWriteChannel();
        QVERIFY(decode.waitForFinished(10000));
        const QString read = QString::fromLatin1(decode.readAllStandardOutput());
        for (const char* field :
             {"Weather Report", "N 49 03.5000, E 008 31.2000", "direction 205, gust 11",
              "temperature 49", "rain 0.10 in last 24 hours", "rain 0.04 since midnight",
              "humidity 91", "barometer 29.99"})
            QVERIFY2(read.contains(field), qPrintable(field + ("\n" + read)));
    }

    void hostileServers_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("why");
        QTest::newRow("refusing") << -1 << "Verbindung abgewiesen";
        QTest::newRow("silent") << int(Server::Silent) << "keine Antwort (Zeitlimit)";
        QTest::newRow("closing during the login")
            << int(Server::ClosesAtLogin) << "Verbindung vom Server beendet";
        QTest::newRow("garbage") << int(Server::Garbage)
                                 << "unerwartete Antwort „HTTP/1.0 400 Bad Request“";
        QTest::newRow("answering too late") << int(Server::Late) << "keine Antwort (Zeitlimit)";
    }
    // Each interval tries again with fresh data; one line for the failure, not one per try.
    void hostileServers() {
        QFETCH(int, kind);
        QFETCH(QString, why);
        std::unique_ptr<StandIn> server;
        quint16 port = ombrix::test::FreePort();
        if (kind >= 0) {
            server = std::make_unique<StandIn>(Server(kind));
            port = server->server.serverPort();
        }
        Upload u(port, 1);
        u.upload->Reading(Reading(), kAt);
        QTRY_COMPARE_WITH_TIMEOUT(u.upload->Sessions(), 3, 8000);
        QTRY_VERIFY(u.upload->StateText().startsWith("APRS-IS: " + why));
        QCOMPARE(u.lines,
                 QStringList{QString("Ombrix: APRS-IS: 127.0.0.1:%1: %2").arg(port).arg(why)});
    }

    // Silent station: no upload once the last set is older than the limit.
    void nothingWhileTheStationIsSilent() {
        StandIn cwop(Server::Speaks);
        Upload u(cwop.server.serverPort(), 1);
        u.upload->Reading(Reading(), kAt);
        QTest::qWait(4500);
        QCOMPARE(u.upload->Sessions(), 3);  // at 0 s, 1 s and 2 s
    }
};

QTEST_MAIN(AprsIsTest)
#include "aprs_is_test.moc"
