// The station's device vanishing under the window while the program runs (a USB adapter pulled
// out: here the socat of a pseudo-terminal pair is ended) and coming back. (Stray characters in
// the pause between two bursts are in app_serial_intake_test.)
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
        qInfo("device reopened %lld ms after it came back", back.elapsed());
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
