// MQTT against Debian's mosquitto on a free port of 127.0.0.1, read with mosquitto_sub: the
// program as a process, and the link alone with a short back-off.
#include <signal.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <memory>

#include "decode/decoder.h"
#include "mqtt/mqtt_link.h"
#include "ombrix_process.h"
#include "station/telegram_set.h"

using namespace ombrix::test;

namespace {

class Broker {
  public:
    // Anonymous, or the one user "wetter" with "geheim". As root the broker reads the password
    // file as user "mosquitto", who may not enter this folder: "user root" keeps it root.
    explicit Broker(bool password = false) {
        const QString users = dir.filePath("users");
        if (password)
            QProcess::execute("mosquitto_passwd", {"-b", "-c", users, "wetter", "geheim"});
        QFile conf(dir.filePath("mosquitto.conf"));
        if (conf.open(QIODevice::WriteOnly))
            conf.write("listener " + QByteArray::number(port) + " 127.0.0.1\nuser root\n" +
                       (password ? "password_file " + users.toUtf8() : "allow_anonymous true") +
                       "\n");
    }
    ~Broker() { Stop(); }
    bool Start() {
        process.start("mosquitto", {"-c", dir.filePath("mosquitto.conf")});
        int fd = -1;
        return process.waitForStarted(5000) &&
               QTest::qWaitFor([&] { return (fd = ConnectLoopback(port)) >= 0; }, 5000) &&
               ::close(fd) == 0;
    }
    void Stop() { EndProcess(process); }

    // What a subscriber that comes now receives, at most `count` messages within `seconds`.
    QMap<QString, QByteArray> Read(const QString& topic, int count, int seconds = 5) const {
        QProcess sub;
        sub.start("mosquitto_sub",
                  {"-p", QString::number(port), "-h", "127.0.0.1", "-t", topic, "-v", "-C",
                   QString::number(count), "-W", QString::number(seconds)});
        sub.waitForFinished((seconds + 5) * 1000);
        QMap<QString, QByteArray> got;  // topic → payload
        for (const QByteArray& line : sub.readAllStandardOutput().split('\n'))
            if (const qsizetype blank = line.indexOf(' '); blank > 0)
                got[QString::fromUtf8(line.left(blank))] = line.mid(blank + 1);
        return got;
    }

    QTemporaryDir dir;
    quint16 port = FreePort();
    QProcess process;
};

// The link alone, its lines gathered; "localhost" is resolved in the background.
struct Link {
    explicit Link(quint16 port, const QString& password = {}) {
        ombrix::MqttSettings s;
        s.Host = "localhost";
        s.Port = port;
        if (!password.isEmpty()) s.User = "wetter", s.Password = password;
        s.FirstBackoffMs = 100;
        s.MaxBackoffMs = 400;
        link = std::make_unique<ombrix::MqttLink>(
            s, [this](const std::string& line) { lines << QString::fromStdString(line); });
        link->Start();
    }
    QStringList lines;
    std::unique_ptr<ombrix::MqttLink> link;
};

ombrix::StationReading WithTemperature(double celsius) {
    ombrix::StationReading r;
    r.OutdoorTemperature = {celsius, ombrix::QuantityState::Valid};
    return r;
}

// The index-th number in a cell of the table ("10.1km/h 205°": 10.1, 205).
double CellNumber(const std::string& cell, int index) {
    static const QRegularExpression number("-?\\d+(\\.\\d+)?");
    return number.match(QString::fromStdString(cell).split(' ').value(index)).captured().toDouble();
}

}  // namespace

class MqttTest : public QObject {
    Q_OBJECT

  private slots:
    void programStateAsTheTableRetainedAndOfflineAtTheEnd() {
        ombrix::Decoder decoder(
            ".", [] { return ombrix::LocalTime{2026, 12, 7, 8, 0, 0}; },
            [](const ombrix::DecodeError&) {});
        decoder.DecodeTelegramSet(ombrix::TestTelegramSet());
        std::map<std::string, std::string> cells;
        for (const ombrix::TableRow& row : decoder.Table().Rows()) cells[row[0]] = row[1];
        const struct {
            const char *Field, *Row;
            int Index = 0;  // the direction follows the speed
        } fields[] = {
            {"outTemp", "Temperatur außen"},      {"inTemp", "Temperatur innen"},
            {"outHumidity", "Luftfeuchte außen"}, {"inHumidity", "Luftfeuchte innen"},
            {"dewpoint", "Taupunkt außen"},       {"inDewpoint", "Taupunkt innen"},
            {"barometer", "Luftdruck NN"},        {"pressure", "Luftdruck"},
            {"windSpeed", "Wind Mittel"},         {"windDir", "Wind Mittel", 1},
            {"windGust", "Wind Spitzen"},         {"windGustDir", "Wind Spitzen", 1},
            {"windchill", "gefühlte Temp."},      {"rainHour", "Regenmenge/Std."},
            {"rainToday", "Regen heute"},         {"rainTotal", "Regen seit Reset"},
        };
        Broker broker;
        QVERIFY(broker.Start());
        for (const int signal : {SIGKILL, SIGTERM}) {
            OmbrixProcess ombrix;
            QVERIFY2(ombrix.Start(
                         "MqttHost=127.0.0.1\nMqttPort=" + QByteArray::number(broker.port) + "\n"),
                     ombrix.StandardError().constData());
            QVERIFY(ombrix.Pty().Send(ombrix::TestTelegramSet()));
            QVERIFY(ombrix.WaitForStatusLine());
            // Status, state and the 18 configs, all retained for this later subscriber.
            const QMap<QString, QByteArray> got = broker.Read("#", 20, 10);
            QCOMPARE(got.size(), 20);
            QCOMPARE(got.value("ombrix/status"), "online");
            const QJsonObject state = QJsonDocument::fromJson(got.value("ombrix/state")).object();
            for (const auto& f : fields) {
                QVERIFY2(state.value(f.Field).isDouble(), f.Field);
                QCOMPARE(state.value(f.Field).toDouble(), CellNumber(cells[f.Row], f.Index));
            }
            QCOMPARE(state.value("batteryLow").toBool(), cells["Batterie"] == "leer");
            QCOMPARE(state.value("mainsPower").toBool(), cells["Stromversorgung"] == "Netz (AC)");
            QVERIFY(ombrix.StandardError().contains("Ombrix: MQTT: verbunden mit 127.0.0.1:"));

            ::kill(static_cast<pid_t>(ombrix.Process().processId()), signal);
            QVERIFY(ombrix.Process().waitForFinished(10000));
            QCOMPARE(broker.Read("ombrix/status", 1).value("ombrix/status"), "offline");
        }
    }

    // Down at start, then up, then gone and back as a new broker with nothing retained: the link
    // connects by itself and publishes the latest state, not the ones before it.
    void brokerDownAtStartAndRestarted() {
        Broker broker;
        Link l(broker.port);
        l.link->Reading(WithTemperature(1.5), 0);
        QTRY_COMPARE(l.lines.size(), 1);
        QVERIFY(broker.Start());
        QTRY_VERIFY(l.link->IsConnected());
        l.link->Reading(WithTemperature(2.5), 0);
        broker.Stop();
        QTRY_VERIFY(!l.link->IsConnected());
        l.link->Reading(WithTemperature(3.5), 0);
        QVERIFY(broker.Start());
        QTRY_VERIFY(l.link->IsConnected());
        const QMap<QString, QByteArray> got = broker.Read("ombrix/#", 2);
        QCOMPARE(got.value("ombrix/status"), "online");
        QVERIFY2(got.value("ombrix/state").contains("\"outTemp\":3.5,"),
                 got.value("ombrix/state").constData());
        QVERIFY(l.link->StateText().startsWith("MQTT verbunden · gesendet: "));
    }

    // A refused login is tried again with the back-off, and said once.
    void wrongPasswordSaidOnce() {
        Broker broker(true);
        QVERIFY(broker.Start());
        Link wrong(broker.port, "falsch");
        QTRY_VERIFY(!wrong.lines.isEmpty());
        QTest::qWait(2000);  // several attempts more
        QVERIFY(!wrong.link->IsConnected());
        QCOMPARE(wrong.lines.size(), 1);
        QVERIFY(wrong.lines[0].contains("Anmeldung abgewiesen"));
        QVERIFY(wrong.link->StateText().startsWith("MQTT getrennt: Anmeldung abgewiesen"));
    }
};

QTEST_GUILESS_MAIN(MqttTest)
#include "mqtt_test.moc"
