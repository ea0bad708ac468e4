// The settings store: defaults on first use, the numeric value of the port numbers, texts as
// stored, and the optional keys.
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <limits>
#include <memory>

#include "app/settings.h"

using ombrix::LoadSettings;
using ombrix::NumericValue;
using ombrix::Settings;
using ombrix::StartupError;
using ombrix::ToInteger16;

class SettingsTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QSettings> store_;

    void Put(const QString& key, const QVariant& value) {
        store_->setValue("Optionen/" + key, value);
    }
    QString Stored(const QString& key) { return store_->value("Optionen/" + key).toString(); }
    bool Has(const QString& key) { return store_->contains("Optionen/" + key); }
    void PutFull() {
        Put("PfadWX", "/daten/wx/");
        Put("Lage", "5130.00N/00730.00E_");
        Put("CallTo", "APRS");
        Put("CallFrom", "DL1ABC");
        Put("CallDigi1", "WIDE1-1");
        Put("CallDigi2", "WIDE2-2");
        Put("CommPortOmbrix", "3");
        Put("AGWPEPort", "1");
    }

  private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        qputenv("XDG_DATA_HOME", dir_->filePath("data").toUtf8());
        store_ = std::make_unique<QSettings>(dir_->filePath("Ombrix.conf"), QSettings::IniFormat);
    }
    void cleanup() {
        store_.reset();
        dir_.reset();
    }

    void numericValue_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("plain") << "2" << 2.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("COM2") << "COM2" << 0.0;
        QTest::newRow("blanks inside") << " 1 2\t3\n" << 123.0;
        QTest::newRow("carriage return stops") << "1\r2" << 1.0;
        QTest::newRow("trailing text") << "3abc" << 3.0;
        QTest::newRow("sign") << "-7" << -7.0;
        QTest::newRow("plus") << "+4" << 4.0;
        QTest::newRow("fraction") << "2.5" << 2.5;
        QTest::newRow("leading point") << ".75" << 0.75;
        QTest::newRow("comma stops") << "2,5" << 2.0;
        QTest::newRow("exponent") << "1e3" << 1000.0;
        QTest::newRow("D exponent") << "15D-1" << 1.5;
        QTest::newRow("bare exponent letter") << "4E" << 4.0;
        QTest::newRow("sign alone") << "-" << 0.0;
        QTest::newRow("point alone") << "." << 0.0;
        QTest::newRow("tiny") << "1e-400" << 0.0;
        // Too small for a double without any exponent: 0, not an overflow.
        QTest::newRow("tiny without exponent") << "0." + QString(400, '0') + "1" << 0.0;
        QTest::newRow("tiny despite exponent") << "0." + QString(400, '0') + "1e+20" << 0.0;
    }
    void numericValue() {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(NumericValue(text), value);
    }

    void hugeNumberIsInfinite() { QVERIFY(std::isinf(NumericValue("1e400"))); }

    void toInteger16_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("result");  // -100000: does not fit
        QTest::newRow("half down to even") << 2.5 << 2;
        QTest::newRow("half up to even") << 3.5 << 4;
        QTest::newRow("negative half") << -2.5 << -2;
        QTest::newRow("largest") << 32767.0 << 32767;
        QTest::newRow("largest plus a bit") << 32767.4 << 32767;
        QTest::newRow("rounds beyond") << 32767.5 << -100000;
        QTest::newRow("smallest") << -32768.0 << -32768;
        QTest::newRow("smallest half") << -32768.5 << -32768;
        QTest::newRow("below") << -32769.0 << -100000;
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << -100000;
    }
    void toInteger16() {
        QFETCH(double, value);
        QFETCH(int, result);
        const auto got = ToInteger16(value);
        if (result == -100000) {
            QVERIFY(!got.has_value());
        } else {
            QVERIFY(got.has_value());
            QCOMPARE(int{*got}, result);
        }
    }

    void emptyStoreGetsDefaults() {
        Settings s;
        StartupError e;
        QVERIFY(LoadSettings(*store_, s, e));
        QCOMPARE(Stored("CommPortOmbrix"), "2");
        QCOMPARE(Stored("AGWPEPort"), "0");
        QCOMPARE(Stored("CallTo"), "CQ");
        QCOMPARE(Stored("CallFrom"), "N0CALL");
        QCOMPARE(Stored("CallDigi1"), "Wide3-3");
        QVERIFY(Has("CallDigi2"));
        QCOMPARE(Stored("CallDigi2"), "");
        QCOMPARE(Stored("Lage"), "0000.00N/00000.00E_");
        QCOMPARE(s.CommPort, 2);
        QCOMPARE(s.AgwpePort, 0);
        QCOMPARE(s.CallTo, "CQ");
        QCOMPARE(s.CallFrom, "N0CALL");
        QCOMPARE(s.CallDigi1, "Wide3-3");
        QCOMPARE(s.CallDigi2, "");
        QCOMPARE(s.Lage, "0000.00N/00000.00E_");
        QCOMPARE(s.Lage.size(), 19);
        // The raw-log folder: absolute, ending in "/", under the per-user data folder.
        QCOMPARE(s.PfadWX, Stored("PfadWX"));
        QVERIFY(QDir::isAbsolutePath(s.PfadWX));
        QVERIFY(s.PfadWX.endsWith("/Ombrix/WX/"));
        QVERIFY(s.PfadWX.startsWith(
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)));
        // The optional keys are not written.
        for (const char* key : {"CommDevice", "AGWPEHost", "AGWPETcpPort", "StatusServerPort"})
            QVERIFY2(!Has(key), key);
        QCOMPARE(s.AgwpeHost, "127.0.0.1");
        QCOMPARE(s.AgwpeTcpPort, 8000);
        QCOMPARE(s.StatusServerPort, 12345);
        QVERIFY(s.CommDevice.isEmpty());
    }

    // A port number of 0 rewrites every key, whatever was stored.
    void zeroPortRewritesDefaults_data() {
        QTest::addColumn<QString>("port");
        QTest::newRow("0") << "0";
        QTest::newRow("empty") << "";
        QTest::newRow("COM2") << "COM2";
        QTest::newRow("0.4") << "0.4";
    }
    void zeroPortRewritesDefaults() {
        QFETCH(QString, port);
        PutFull();
        Put("CommPortOmbrix", port);
        Settings s;
        StartupError e;
        QVERIFY(LoadSettings(*store_, s, e));
        QCOMPARE(s.CommPort, 2);
        QCOMPARE(s.AgwpePort, 0);
        QCOMPARE(s.CallTo, "CQ");
        QCOMPARE(s.CallFrom, "N0CALL");
        QCOMPARE(s.CallDigi2, "");
        QVERIFY(s.PfadWX.endsWith("/Ombrix/WX/"));
        QCOMPARE(Stored("CallDigi1"), "Wide3-3");
        QCOMPARE(Stored("CommPortOmbrix"), "2");
    }

    // With a port number stored nothing is written, even where keys are missing.
    void portThreeWithPfadMissing() {
        PutFull();
        store_->remove("Optionen/PfadWX");
        Settings s;
        StartupError e;
        QVERIFY(LoadSettings(*store_, s, e));
        QCOMPARE(s.CommPort, 3);
        QCOMPARE(s.AgwpePort, 1);
        QCOMPARE(s.PfadWX, "");
        QVERIFY(!Has("PfadWX"));
        QCOMPARE(s.CallTo, "APRS");
        QCOMPARE(s.CallFrom, "DL1ABC");
        QCOMPARE(s.CallDigi1, "WIDE1-1");
        QCOMPARE(s.CallDigi2, "WIDE2-2");
        QCOMPARE(s.Lage, "5130.00N/00730.00E_");
    }

    // As a user edits the file: blanks kept inside quotes, a comma without them.
    void textsTakenAsStored() {
        store_.reset();
        QFile file(dir_->filePath("Ombrix.conf"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            "[Optionen]\nCommPortOmbrix=3\nCallFrom=\" dl1abc-7 \"\nCallDigi1=\n"
            "CallDigi2=\nLage=K\xc3\xb6ln, Dom\n");
        file.close();
        store_ = std::make_unique<QSettings>(dir_->filePath("Ombrix.conf"), QSettings::IniFormat);
        Settings s;
        StartupError e;
        QVERIFY(LoadSettings(*store_, s, e));
        QCOMPARE(s.CallFrom, " dl1abc-7 ");
        QCOMPARE(s.CallDigi1, "");
        QCOMPARE(s.CallDigi2, "");
        QCOMPARE(s.Lage, "Köln, Dom");
    }

    void portNumbersRounded() {
        PutFull();
        Put("CommPortOmbrix", " 2.5 ");
        Put("AGWPEPort", "3.5");
        Settings s;
        StartupError e;
        QVERIFY(LoadSettings(*store_, s, e));
        QCOMPARE(s.CommPort, 2);
        QCOMPARE(s.AgwpePort, 4);
    }

    void outOfRangeIsAStartupError_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("port too large") << "CommPortOmbrix"
                                        << "32768";
        QTest::newRow("port too small") << "CommPortOmbrix"
                                        << "-40000";
        QTest::newRow("port huge") << "CommPortOmbrix"
                                   << "1e400";
        QTest::newRow("radio port") << "AGWPEPort"
                                    << "70000";
    }
    void outOfRangeIsAStartupError() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        PutFull();
        Put(key, value);
        Settings s;
        StartupError e;
        QVERIFY(!LoadSettings(*store_, s, e));
        QCOMPARE(e.Number, 6);
        QCOMPARE(e.Description, "Überlauf");
        QVERIFY(e.Subject.contains(key));
        QVERIFY(e.Subject.contains(value));
        QCOMPARE(Stored("CallFrom"), "DL1ABC");  // nothing written
    }

    void optionalKeys() {
        PutFull();
        Put("CommDevice", "/dev/serial/by-id/usb-Wetter");
        Put("AGWPEHost", "funk.local");
        Put("AGWPETcpPort", "8010");
        Put("StatusServerPort", "40000");
        Settings s;
        StartupError e;
        QVERIFY(LoadSettings(*store_, s, e));
        QCOMPARE(s.CommDevice, "/dev/serial/by-id/usb-Wetter");
        QCOMPARE(s.AgwpeHost, "funk.local");
        QCOMPARE(s.AgwpeTcpPort, 8010);
        QCOMPARE(s.StatusServerPort, 40000);
    }

    void emptyOptionalKeysKeepDefaults() {
        PutFull();
        Put("CommDevice", "");
        Put("AGWPEHost", "");
        Put("AGWPETcpPort", "");
        Put("StatusServerPort", " ");
        Settings s;
        StartupError e;
        QVERIFY(LoadSettings(*store_, s, e));
        QVERIFY(s.CommDevice.isEmpty());
        QCOMPARE(s.AgwpeHost, "127.0.0.1");
        QCOMPARE(s.AgwpeTcpPort, 8000);
        QCOMPARE(s.StatusServerPort, 12345);
    }

    void badTcpPortIsAStartupError_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("zero") << "0";
        QTest::newRow("too large") << "65536";
        QTest::newRow("text") << "Port";
    }
    void badTcpPortIsAStartupError() {
        QFETCH(QString, value);
        PutFull();
        Put("StatusServerPort", value);
        Settings s;
        StartupError e;
        QVERIFY(!LoadSettings(*store_, s, e));
        QVERIFY(e.Subject.contains("StatusServerPort"));
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "settings_test.moc"
