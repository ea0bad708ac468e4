// The serial line over a real pseudo-terminal pair: bursts gathered by the one-second quiet
// period and handed on when longer than 100 characters. (A device that vanishes is in
// app_window_test.)
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <variant>
#include <vector>

#include "app/serial_intake.h"
#include "station/telegram_set.h"
#include "window_rig.h"

using ombrix::Bytes;
using ombrix::SerialIntake;
using ombrix::test::PtyPair;
using ombrix::test::WaitIntakeIdle;

namespace {

// Bytes with zeros among them.
Bytes Filler(std::size_t n) {
    Bytes b;
    for (std::size_t i = 0; i < n; ++i) b += static_cast<char>(i % 7 == 0 ? 0 : 0x40 + i % 50);
    return b;
}

// What the station does: write bytes, or stay quiet for so many milliseconds.
using Step = std::variant<Bytes, int>;

}  // namespace

Q_DECLARE_METATYPE(std::vector<Step>)
Q_DECLARE_METATYPE(std::vector<Bytes>)

class SerialIntakeTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<PtyPair> pty_;
    std::unique_ptr<SerialIntake> intake_;
    std::vector<Bytes> bursts_;
    QElapsedTimer sinceLastWrite_;
    qint64 shortestWait_ = 0;  // from the last write that raised a read to a hand-on

  private slots:
    // One pseudo-terminal pair with the intake open on it, as after start-up, for all rows: each
    // row ends with the line quiet and the buffer empty. The first expiry of the pause timer
    // finds nothing.
    void initTestCase() {
        pty_ = std::make_unique<PtyPair>();
        QVERIFY2(pty_->Start(), "socat could not make a pseudo-terminal pair");
        intake_ = std::make_unique<SerialIntake>([this](const Bytes& b) {
            bursts_.push_back(b);
            shortestWait_ = std::min(shortestWait_, sinceLastWrite_.elapsed());
        });
        QCOMPARE(intake_->Open(pty_->Program()), QSerialPort::NoError);
        intake_->ArmPauseTimer();
        QVERIFY(WaitIntakeIdle(*intake_));
        QVERIFY(bursts_.empty());
    }
    void init() { bursts_.clear(); }

    void bursts_data() {
        QTest::addColumn<std::vector<Step>>("steps");
        QTest::addColumn<std::vector<Bytes>>("handedOn");
        const Bytes set = ombrix::TestTelegramSet();  // with zero bytes
        const Bytes limit = Filler(SerialIntake::kBufferLimit);
        using Steps = std::vector<Step>;
        using Bursts = std::vector<Bytes>;
        QTest::newRow("whole set") << Steps{set} << Bursts{set};
        QTest::newRow("pieces 250 ms apart gathered")
            << Steps{set.substr(0, 47), 250, set.substr(47, 47), 250, set.substr(94)}
            << Bursts{set};
        QTest::newRow("gap of 2 s splits")
            << Steps{Filler(120), 2000, Filler(130)} << Bursts{Filler(120), Filler(130)};
        QTest::newRow("100 dropped") << Steps{Filler(100)} << Bursts{};
        QTest::newRow("101 handed on") << Steps{Filler(101)} << Bursts{Filler(101)};
        QTest::newRow("two sets back to back") << Steps{set, 200, set} << Bursts{set + set};
        // The last few bytes raise no data-received event; the timer's expiry reads them.
        QTest::newRow("tail under 10 bytes")
            << Steps{set.substr(0, 136), 300, set.substr(136)} << Bursts{set};
        // With the pause timer at rest as well: they must not be glued to the next burst.
        QTest::newRow("9 stray bytes in a pause")
            << Steps{set, 1500, Filler(9), 1500, set} << Bursts{set, set};
        // A line that never falls quiet cannot grow the buffer without end; the overlong buffer
        // is still handed on, to be rejected by its length.
        QTest::newRow("overlong") << Steps{limit + Filler(5000)} << Bursts{limit};
    }
    void bursts() {
        QFETCH(std::vector<Step>, steps);
        QFETCH(std::vector<Bytes>, handedOn);
        shortestWait_ = 1000000;
        for (const Step& step : steps) {
            if (const int* quiet = std::get_if<int>(&step)) {
                QTest::qWait(*quiet);
            } else {
                const Bytes& bytes = std::get<Bytes>(step);
                QVERIFY(pty_->Send(bytes));
                if (std::ssize(bytes) >= SerialIntake::kReceiveThreshold) sinceLastWrite_.start();
            }
        }
        QVERIFY(QTest::qWaitFor([&] { return intake_->PauseTimerActive(); }, 6000));
        QVERIFY(WaitIntakeIdle(*intake_, 20000));
        QTest::qWait(300);  // nothing more is coming
        QString sizes;
        for (const Bytes& b : bursts_) sizes += QString(" %1").arg(b.size());
        QVERIFY2(bursts_ == handedOn, qPrintable("bursts of" + sizes));
        // None before a quiet second had passed.
        QVERIFY2(shortestWait_ >= 950, qPrintable(QString::number(shortestWait_)));
    }

    void deviceOfPortNumber() {
        QCOMPARE(SerialIntake::DeviceForPortNumber(1), "/dev/ttyS0");
        QCOMPARE(SerialIntake::DeviceForPortNumber(17), "/dev/ttyS16");
        QCOMPARE(SerialIntake::DeviceForPortNumber(0), "");
        QCOMPARE(SerialIntake::DeviceForPortNumber(-3), "");
    }

    // What start-up says of a device that does not open: what it is, and what to change.
    void openFailureSaysWhatToChange() {
        QTemporaryDir dir;
        const QString byId = dir.filePath("by-id"), file = dir.filePath("datei");
        QVERIFY(QDir().mkpath(byId) && QFile(file).open(QIODevice::WriteOnly));
        const auto say = [&](QSerialPort::SerialPortError e, const QString& device, bool port) {
            const auto [description, subject] = ombrix::DescribeOpenFailure(e, device, port, byId);
            return QString(description + " | " + subject).replace(dir.path(), "<tmp>");
        };
        const QString missing =
            "Das Gerät existiert nicht | Gerät: /dev/ttyS1 (Einstellung „CommPortOmbrix“). Ein "
            "USB-Adapter gehört mit seinem Namen unter <tmp>/by-id in die Einstellung "
            "„CommDevice“; ";
        QCOMPARE(say(QSerialPort::DeviceNotFoundError, "/dev/ttyS1", true),
                 missing + "dort ist keiner angeschlossen.");
        QVERIFY(QFile(byId + "/usb-FTDI_Wetter-if00").open(QIODevice::WriteOnly));
        QCOMPARE(say(QSerialPort::DeviceNotFoundError, "/dev/ttyS1", true),
                 missing + "angeschlossen: <tmp>/by-id/usb-FTDI_Wetter-if00.");
        const QString none = "Das Gerät ist keine serielle Schnittstelle | Gerät: <tmp>/";
        QCOMPARE(say(QSerialPort::UnsupportedOperationError, byId, false),
                 none + "by-id ist ein Ordner (Einstellung „CommDevice“)");
        QCOMPARE(say(QSerialPort::UnsupportedOperationError, file, false),
                 none + "datei ist eine gewöhnliche Datei (Einstellung „CommDevice“)");
    }
};

QTEST_GUILESS_MAIN(SerialIntakeTest)
#include "serial_intake_test.moc"
