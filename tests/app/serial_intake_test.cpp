// The serial line over a real pseudo-terminal pair: bursts gathered by the one-second quiet
// period, handed on when longer than 100 characters, and the port closed when the device goes.
#include <QElapsedTimer>
#include <QTest>
#include <string>
#include <vector>

#include "pty_pair.h"
#include "station/serial_intake.h"
#include "station/telegram_set.h"

using ombrix::Bytes;
using ombrix::SerialIntake;
using ombrix::TestTelegramSet;
using ombrix::test::PtyPair;

namespace {

// Generous bounds: the machine is shared and may be loaded.
constexpr int kHandOnMs = 6000;  // a burst must have been handed on by then
constexpr int kSettleMs = 1300;  // beyond one quiet period: nothing more is coming

Bytes Filler(std::size_t n) {
    Bytes b;
    for (std::size_t i = 0; i < n; ++i) b += static_cast<char>(i % 7 == 0 ? 0 : 0x40 + i % 50);
    return b;
}

}  // namespace

class SerialIntakeTest : public QObject {
    Q_OBJECT

  private:
    PtyPair* pty_ = nullptr;
    SerialIntake* intake_ = nullptr;
    std::vector<Bytes> bursts_;

    bool WaitForBursts(std::size_t n, int ms = kHandOnMs) {
        return QTest::qWaitFor([&] { return bursts_.size() >= n; }, ms);
    }

  private slots:
    // A fresh pseudo-terminal pair with the intake open on it, as after start-up.
    bool Open() {
        bursts_.clear();
        pty_ = new PtyPair;
        if (!pty_->Start()) return false;
        intake_ = new SerialIntake([this](const Bytes& b) { bursts_.push_back(b); });
        if (intake_->Open(pty_->Program()) != QSerialPort::NoError) return false;
        intake_->ArmPauseTimer();
        return true;
    }

    // Waits until the pause timer has run and emptied the buffer.
    bool WaitIdle() {
        return QTest::qWaitFor(
            [&] { return !intake_->PauseTimerActive() && intake_->RxBuffer().empty(); }, kHandOnMs);
    }

    void init() {
        const QByteArray name = QTest::currentTestFunction();
        if (name.startsWith("deviceOf") || name.startsWith("missing")) return;
        QVERIFY2(Open(), "no serial port on a socat pseudo-terminal pair");
    }

    void cleanup() {
        delete intake_;
        intake_ = nullptr;
        delete pty_;
        pty_ = nullptr;
    }

    void deviceOfPortNumber_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("device");
        QTest::newRow("1") << 1 << "/dev/ttyS0";
        QTest::newRow("2") << 2 << "/dev/ttyS1";
        QTest::newRow("17") << 17 << "/dev/ttyS16";
        QTest::newRow("0") << 0 << "";
        QTest::newRow("-3") << -3 << "";
    }
    void deviceOfPortNumber() {
        QFETCH(int, port);
        QFETCH(QString, device);
        QCOMPARE(SerialIntake::DeviceForPortNumber(port), device);
    }

    void firstExpiryFindsNothing() {
        QVERIFY(intake_->PauseTimerActive());
        QVERIFY(WaitIdle());
        QVERIFY(bursts_.empty());
    }

    void missingDeviceFailsToOpen() {
        SerialIntake other(nullptr);
        QCOMPARE(other.Open("/dev/ombrix-no-such-device"), QSerialPort::DeviceNotFoundError);
        QVERIFY(!other.IsOpen());
    }

    void busyDeviceFailsToOpen() {
        SerialIntake other(nullptr);
        QVERIFY(other.Open(pty_->Program()) != QSerialPort::NoError);
        QVERIFY(intake_->IsOpen());
    }

    // One telegram set with its zero bytes, then silence: handed on once, whole, and only after
    // the quiet period.
    void wholeBurstHandedOnOnce() {
        QElapsedTimer clock;
        clock.start();
        QVERIFY(pty_->Send(TestTelegramSet()));
        QTest::qWait(500);
        QVERIFY2(bursts_.empty(), "handed on before a quiet second had passed");
        QVERIFY(WaitForBursts(1));
        QVERIFY(clock.elapsed() >= 950);
        QTest::qWait(kSettleMs);
        QCOMPARE(bursts_.size(), std::size_t{1});
        QCOMPARE(bursts_[0].size(), std::size_t{141});
        QVERIFY(bursts_[0] == TestTelegramSet());
        QVERIFY(intake_->RxBuffer().empty());
    }

    void piecesCloseTogetherGathered() {
        const Bytes& set = TestTelegramSet();
        QVERIFY(pty_->Send(set.substr(0, 47)));
        QTest::qWait(250);
        QVERIFY(pty_->Send(set.substr(47, 47)));
        QTest::qWait(250);
        QVERIFY(pty_->Send(set.substr(94)));
        QVERIFY(WaitForBursts(1));
        QTest::qWait(kSettleMs);
        QCOMPARE(bursts_.size(), std::size_t{1});
        QVERIFY(bursts_[0] == set);
    }

    void gapOfASecondSplits() {
        const Bytes first = Filler(120);
        const Bytes second = Filler(130);
        QVERIFY(pty_->Send(first));
        QTest::qWait(2000);
        QVERIFY(pty_->Send(second));
        QVERIFY(WaitForBursts(2));
        QTest::qWait(kSettleMs);
        QCOMPARE(bursts_.size(), std::size_t{2});
        QVERIFY(bursts_[0] == first);
        QVERIFY(bursts_[1] == second);
    }

    void hundredDroppedHundredAndOneHandedOn() {
        QVERIFY(WaitIdle());
        QVERIFY(pty_->Send(Filler(100)));
        QVERIFY(QTest::qWaitFor([&] { return intake_->PauseTimerActive(); }, kHandOnMs));
        QVERIFY(WaitIdle());
        QVERIFY(bursts_.empty());
        QVERIFY(intake_->RxBuffer().empty());
        QVERIFY(pty_->Send(Filler(101)));
        QVERIFY(WaitForBursts(1));
        QVERIFY(bursts_[0] == Filler(101));
    }

    void twoBurstsBackToBackFormOneBuffer() {
        const Bytes& set = TestTelegramSet();
        QVERIFY(pty_->Send(set));
        QTest::qWait(200);
        QVERIFY(pty_->Send(set));
        QVERIFY(WaitForBursts(1));
        QTest::qWait(kSettleMs);
        QCOMPARE(bursts_.size(), std::size_t{1});
        QVERIFY(bursts_[0] == set + set);
    }

    // The last few bytes raise no data-received event; the timer's expiry reads them.
    void shortTailStillRead() {
        const Bytes& set = TestTelegramSet();
        QVERIFY(pty_->Send(set.substr(0, 136)));
        QTest::qWait(300);
        QVERIFY(pty_->Send(set.substr(136)));
        QVERIFY(WaitForBursts(1));
        QTest::qWait(kSettleMs);
        QCOMPARE(bursts_.size(), std::size_t{1});
        QVERIFY(bursts_[0] == set);
    }

    // A line that never falls quiet cannot grow the buffer without end; the overlong buffer is
    // still handed on, to be rejected by its length.
    void overlongBufferIsBounded() {
        QVERIFY(pty_->Send(Filler(SerialIntake::kBufferLimit + 5000)));
        QVERIFY(WaitForBursts(1, 15000));
        QCOMPARE(bursts_[0].size(), SerialIntake::kBufferLimit);
        QVERIFY(bursts_[0] == Filler(SerialIntake::kBufferLimit));
    }

    void vanishedDeviceClosesPort() {
        QVERIFY(intake_->IsOpen());
        pty_->Stop();
        QVERIFY(QTest::qWaitFor([&] { return !intake_->IsOpen(); }, kHandOnMs));
    }
};

QTEST_GUILESS_MAIN(SerialIntakeTest)
#include "serial_intake_test.moc"
