// The settings store: the numeric value of the port numbers, defaults on first use, texts as
// stored, the optional keys (the archive's among them), and the start-up errors of numbers that do
// not fit.
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/settings.h"

using namespace ombrix;

namespace {

constexpr int kNone = -100000;  // does not fit 16 bits

// A store as a user leaves it, with and without "PfadWX"; a row adds lines, the later line for a
// key winning.
const QByteArray kRest =
    "[Optionen]\nLage=5130.00N/00730.00E_\nCallTo=APRS\nCallFrom=DL1ABC\nCallDigi1=WIDE1-1\n"
    "CallDigi2=WIDE2-2\nCommPortOmbrix=3\nAGWPEPort=1\n";
const QByteArray kFull = kRest + "PfadWX=/daten/wx/\n";

// What was read, in the order CommPort|AGWPEPort|CallTo|CallFrom|CallDigi1|CallDigi2|Lage|
// PfadWX|CommDevice|AGWPEHost|AGWPETcpPort|StatusServerPort.
const QString kDefaultsRead =
    "2|0|CQ|N0CALL|Wide3-3||0000.00N/00000.00E_|<tmp>/data/Ombrix/WX/||127.0.0.1|8000|12345";
const QString kFullRead =
    "3|1|APRS|DL1ABC|WIDE1-1|WIDE2-2|5130.00N/00730.00E_|/daten/wx/||127.0.0.1|8000|12345";
// The store after the defaults were written: the eight keys, none of the optional ones.
const QString kDefaultsStored =
    "AGWPEPort=0\nCallDigi1=Wide3-3\nCallDigi2=\nCallFrom=N0CALL\nCallTo=CQ\nCommPortOmbrix=2\n"
    "Lage=0000.00N/00000.00E_\nPfadWX=<tmp>/data/Ombrix/WX/";

}  // namespace

class SettingsTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> dir_;

    QString Stored(QSettings& store) {
        QStringList lines;
        store.beginGroup("Optionen");
        for (const QString& key : store.allKeys())
            lines << key + "=" + store.value(key).toStringList().join(", ");
        store.endGroup();
        lines.sort();
        return lines.join('\n').replace(dir_->path(), "<tmp>");
    }

  private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        qputenv("XDG_DATA_HOME", dir_->filePath("data").toUtf8());
    }

    // A setting's text, its numeric value, and that rounded to 16 bits (halves to even). The
    // fuzz target's strtod oracle checks the value of every text in its corpus as well.
    void portNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("rounded");
        const auto row = [](const char* name, const QString& text, double value, int rounded) {
            QTest::newRow(name) << text << value << rounded;
        };
        row("carriage return stops", "1\r2", 1, 1);
        row("half down to even", "2.5", 2.5, 2);
        row("half up to even", "3.5", 3.5, 4);
        row("negative half", "-2.5", -2.5, -2);
        row("leading point", ".75", 0.75, 1);
        row("comma stops", "2,5", 2, 2);
        row("D exponent", "15D-1", 1.5, 2);
        row("bare exponent letter", "4E", 4, 4);
        row("sign alone", "-", 0, 0);
        row("largest", "32767.4", 32767.4, 32767);
        row("rounds beyond", "32767.5", 32767.5, kNone);
        row("smallest half", "-32768.5", -32768.5, -32768);
        row("below", "-32769", -32769, kNone);
    }
    void portNumber() {
        QFETCH(QString, text);
        QFETCH(double, value);
        QFETCH(int, rounded);
        QCOMPARE(NumericValue(text), value);
        const std::optional<std::int16_t> got = ToInteger16(value);
        QCOMPARE(got ? int{*got} : kNone, rounded);
    }

    // Each row: the store's text, what is read (or the start-up error), and whether the defaults
    // were written over the store (else it is left as it was).
    void load_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("read");
        QTest::addColumn<bool>("defaults");
        QTest::newRow("empty store") << QByteArray() << kDefaultsRead << true;
        for (const char* port : {"0", "", "COM2", "0.4"})
            QTest::addRow("port \"%s\"", port)
                << kFull + "CommPortOmbrix=" + port << kDefaultsRead << true;
        QTest::newRow("port 3, PfadWX missing")
            << kRest << "3|1|APRS|DL1ABC|WIDE1-1|WIDE2-2|5130.00N/00730.00E_|||127.0.0.1|8000|12345"
            << false;
        // As a user edits the file: blanks kept inside quotes, a comma without them.
        QTest::newRow("texts as stored")
            << QByteArray(
                   "[Optionen]\nCommPortOmbrix=3\nCallFrom=\" dl1abc-7 \"\nCallDigi1=\n"
                   "CallDigi2=\nLage=K\xc3\xb6ln, Dom\n")
            << "3|0|| dl1abc-7 |||Köln, Dom|||127.0.0.1|8000|12345" << false;
        QTest::newRow("optional keys")
            << kFull +
                   "CommDevice=/dev/serial/by-id/usb-Wetter\nAGWPEHost=funk.local\n"
                   "AGWPETcpPort=8010\nStatusServerPort=40000\n"
            << "3|1|APRS|DL1ABC|WIDE1-1|WIDE2-2|5130.00N/00730.00E_|/daten/wx/|"
               "/dev/serial/by-id/usb-Wetter|funk.local|8010|40000"
            << false;
        QTest::newRow("optional keys empty")
            << kFull + "CommDevice=\nAGWPEHost=\nAGWPETcpPort=\nStatusServerPort=\" \"\n"
            << kFullRead << false;
        const QString overflow = "error 6 Überlauf: Einstellung „%1“ = „%2“";
        const std::pair<const char*, const char*> tooLarge[] = {{"CommPortOmbrix", "-40000"},
                                                                {"AGWPEPort", "70000"}};
        for (const auto& [key, value] : tooLarge)
            QTest::addRow("%s %s", key, value)
                << kFull + key + "=" + value << overflow.arg(key, value) << false;
        const QString badPort =
            "error 5 Ungültiger Prozeduraufruf oder ungültiges Argument: Einstellung "
            "„StatusServerPort“ = „%1“ (erlaubt: 1 bis 65535)";
        for (const char* value : {"0", "65536", "Port"})
            QTest::addRow("StatusServerPort %s", value)
                << kFull + "StatusServerPort=" + value << badPort.arg(value) << false;
    }
    void load() {
        QFETCH(QByteArray, ini);
        QFETCH(QString, read);
        QFETCH(bool, defaults);
        QFile file(dir_->filePath("Ombrix.conf"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(ini) == ini.size());
        file.close();
        QSettings store(file.fileName(), QSettings::IniFormat);
        const QString before = Stored(store);
        Settings s;
        StartupError e;
        QString got = QString("error %1 %2: %3");
        if (LoadSettings(store, s, e))
            got = QString("%1|%2|%3|%4|%5|%6|%7|%8|%9|")
                      .arg(s.CommPort)
                      .arg(s.AgwpePort)
                      .arg(s.CallTo, s.CallFrom, s.CallDigi1, s.CallDigi2, s.Lage, s.PfadWX,
                           s.CommDevice) +
                  QString("%1|%2|%3").arg(s.AgwpeHost).arg(s.AgwpeTcpPort).arg(s.StatusServerPort);
        else
            got = got.arg(e.Number).arg(e.Description, e.Subject);
        QCOMPARE(QString(got).replace(dir_->path(), "<tmp>"), read);
        QCOMPARE(Stored(store), defaults ? kDefaultsStored : before);
        // Settings of the user's that the defaults replace are kept beside them, and said so.
        QFile copy(dir_->filePath("Ombrix.conf.bak"));
        const bool kept = defaults && !ini.isEmpty();
        QCOMPARE(copy.open(QIODevice::ReadOnly) ? copy.readAll() : QByteArray("none"),
                 kept ? ini : QByteArray("none"));
        const QStringList said = s.Warnings.filter(" stehen in ");
        QCOMPARE(said.size(), kept ? 1 : 0);
        QVERIFY(!kept || said[0].contains(file.fileName() + " stehen in " + copy.fileName()));
    }

    // The archive's file and interval, the outputs, and the lines said about them and about
    // "Lage": "path|seconds|APRS-IS host:port passcode seconds|wxnow.txt|lines".
    void archive_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("read");
        const QString standard = "<tmp>/data/Ombrix/archive.sqlite|300|:14580 -1 600||";
        QTest::newRow("missing") << kFull << standard;
        QTest::newRow("no archive") << kFull + "ArchivePath=\nArchiveInterval=\n"
                                    << "|300|:14580 -1 600||";
        QTest::newRow("file and hour")
            << kFull + "ArchivePath=/daten/wetter.sqlite\nArchiveInterval=3600\n"
            << "/daten/wetter.sqlite|3600|:14580 -1 600||";
        const QString refused =
            "Ombrix: Einstellung „ArchiveInterval“ = „%1“ ungültig (erlaubt: 60, 120, 300, 600, "
            "900, 1800, 3600), das Archiv nimmt 300 Sekunden.";
        for (const char* value : {"301", "0", "5 min", "-300"})
            QTest::addRow("interval %s", value)
                << kFull + "ArchiveInterval=" + value << standard + refused.arg(value);
        QTest::newRow("Lage that is no APRS position")
            << kFull + "Lage=49.05N 8.52E\n"
            << standard +
                   "Ombrix: Einstellung „Lage“ = „49.05N 8.52E“ ist keine APRS-Position wie "
                   "„4903.50N/00831.20E_“; sie wird gesendet, wie sie steht.";
        const QString archive = "<tmp>/data/Ombrix/archive.sqlite|300|";
        QTest::newRow("APRS-IS and wxnow.txt")
            << kFull +
                   "AprsIsServer=cwop.aprs.net:14580\nAprsIsPasscode=12345\n"
                   "AprsIsInterval=900\nWxnowPath=/tmp/wxnow.txt\n"
            << archive + "cwop.aprs.net:14580 12345 900|/tmp/wxnow.txt|";
        QTest::newRow("APRS-IS more often than CWOP allows")
            << kFull + "AprsIsServer=[::1]:14580\nAprsIsInterval=60\n"
            << archive +
                   "::1:14580 -1 300||Ombrix: Einstellung „AprsIsInterval“ = „60“: "
                   "APRS-IS sendet alle 300 Sekunden (CWOP bittet um höchstens einen "
                   "Bericht in fünf Minuten).";
        QTest::newRow("APRS-IS server without a port")
            << kFull + "AprsIsServer=cwop.aprs.net\n"
            << archive +
                   ":14580 -1 600||Ombrix: Einstellung „AprsIsServer“ = „cwop.aprs.net“ "
                   "ist nicht Rechner:Port (etwa „cwop.aprs.net:14580“), APRS-IS bleibt aus.";
        QTest::newRow("Lage with ambiguity and an overlay") << kFull + "Lage=4903.5 NW00831.2 E_\n"
                                                            << standard;
    }
    void archive() {
        QFETCH(QByteArray, ini);
        QFETCH(QString, read);
        QFile file(dir_->filePath("Ombrix.conf"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(ini) == ini.size());
        file.close();
        QSettings store(file.fileName(), QSettings::IniFormat);
        Settings s;
        StartupError e;
        QVERIFY(LoadSettings(store, s, e));
        const QString got = QString("%1|%2|%3:%4 %5 %6|%7|%8")
                                .arg(s.ArchivePath)
                                .arg(s.ArchiveInterval)
                                .arg(s.AprsIsHost)
                                .arg(s.AprsIsPort)
                                .arg(s.AprsIsPasscode)
                                .arg(s.AprsIsInterval)
                                .arg(s.WxnowPath, s.Warnings.join('\n'));
        QCOMPARE(QString(got).replace(dir_->path(), "<tmp>"), read);
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "settings_test.moc"
