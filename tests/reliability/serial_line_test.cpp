// The serial line misbehaving under the window: the station's device vanishes while the program
// runs (a USB adapter pulled out: here the socat of a pseudo-terminal pair is ended) and comes
// back; stray characters arrive in the pause between two bursts.
#include <QElapsedTimer>

#include "app/serial_intake.h"
#include "station/telegram_set.h"
#include "window_rig.h"

using ombrix::SerialIntake;
using ombrix::TestTelegramSet;
using ombrix::test::WindowRig;

namespace {
const QString kTitle = "Ombrix";
const QString kTitleLost = "Ombrix \u2013 keine Verbindung zur Station";
constexpr int kWaitMs = 10000;
}  // namespace

class SerialLineTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<WindowRig> rig_;

    QString Title() { return rig_->window->windowTitle(); }
    QStringList Cells() {
        QStringList cells;
        for (int r = 0; r < rig_->Table()->rowCount(); ++r)
            for (int c = 0; c < 11; ++c) cells << rig_->Cell(r, c);
        return cells;
    }
    // The station sends a set; it is decoded as the n-th.
    bool Decoded(int n) {
        return rig_->pty.Send(TestTelegramSet()) &&
               QTest::qWaitFor([&] { return rig_->Counter() == QString(" %1").arg(n); }, kWaitMs);
    }

  private slots:
    void init() {
        rig_ = std::make_unique<WindowRig>();
        const QString failed = rig_->Start();
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
    }
    void cleanup() { rig_.reset(); }

    // The window keeps its table, says in its title that the station link is lost, tries the
    // same device every five seconds and decodes the first burst after the device is back.
    void deviceGoneAndBack() {
        QVERIFY(Decoded(1));
        for (int round = 2; round <= 3; ++round) {
            const QStringList table = Cells();
            rig_->pty.Stop();
            QTRY_COMPARE_WITH_TIMEOUT(Title(), kTitleLost, kWaitMs);
            QVERIFY(rig_->window->Intake()->IsLinkLost() && !rig_->window->Intake()->IsOpen());
            // Gone for longer than one attempt to reopen it: the window goes on as it was.
            QTest::qWait(SerialIntake::kReopenMs + 1000);
            QCOMPARE(Title(), kTitleLost);
            QCOMPARE(Cells(), table);
            // Back at the same path: reopened within one period of attempts.
            QElapsedTimer back;
            back.start();
            QVERIFY2(rig_->pty.Start(), "socat could not make the pseudo-terminal pair again");
            QTRY_COMPARE_WITH_TIMEOUT(Title(), kTitle, SerialIntake::kReopenMs + 2000);
            QVERIFY(rig_->window->Intake()->IsOpen());
            qInfo("round %d: device reopened %lld ms after it came back", round, back.elapsed());
            QVERIFY(Decoded(round));
        }
    }

    // Fewer than 10 stray characters in the pause after a burst raise no data-received event;
    // they are still taken off the line before the next burst, which decodes.
    void strayCharactersInAPause_data() {
        QTest::addColumn<int>("count");
        for (int count : {1, 9, 10}) QTest::addRow("%d", count) << count;
    }
    void strayCharactersInAPause() {
        QFETCH(int, count);
        QVERIFY(Decoded(1));
        QTest::qWait(1500);
        QVERIFY(rig_->pty.Send(std::string(static_cast<std::size_t>(count), '\xA5')));
        QTest::qWait(1500);
        QVERIFY(Decoded(2));
    }

    // Closing the window while the device is gone ends the attempts to reopen it.
    void closeWhileGone() {
        rig_->pty.Stop();
        QTRY_COMPARE_WITH_TIMEOUT(Title(), kTitleLost, kWaitMs);
        QVERIFY(rig_->window->close());
        QVERIFY2(rig_->pty.Start(), "socat could not make the pseudo-terminal pair again");
        QTest::qWait(SerialIntake::kReopenMs + 1000);
        QVERIFY(!rig_->window->Intake()->IsOpen());
    }
};

QTEST_MAIN(SerialLineTest)
#include "serial_line_test.moc"
