// The serial line misbehaving under the window: the station's device vanishes while the program
// runs (a USB adapter pulled out: here the socat of a pseudo-terminal pair is ended) and comes
// back; stray characters arrive in the pause between two bursts.
//
// A vanished device: the window keeps its table, says in its title that the station link is
// lost, tries the same device every five seconds and decodes the first burst that starts after
// the device is open again.
#include <QDir>
#include <QElapsedTimer>
#include <QLocale>
#include <QSettings>
#include <QTableWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/ombrix.h"
#include "pty_pair.h"
#include "station/serial_intake.h"
#include "station/telegram_set.h"

using ombrix::Ombrix;
using ombrix::SerialIntake;
using ombrix::StartupError;
using ombrix::TestTelegramSet;
using ombrix::test::PtyPair;

namespace {

const QString kTitle = QStringLiteral("Ombrix");
const QString kTitleLost = QStringLiteral("Ombrix \u2013 keine Verbindung zur Station");
constexpr int kWaitMs = 10000;

quint16 FreePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) return 0;
    return probe.serverPort();
}

}  // namespace

class SerialLineTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<PtyPair> pty_;
    std::unique_ptr<QSettings> store_;
    std::unique_ptr<Ombrix> window_;

    QTableWidget* Table() { return window_->findChild<QTableWidget*>("ListView1"); }
    QStringList Cells() {
        QStringList cells;
        for (int r = 0; r < Table()->rowCount(); ++r)
            for (int c = 0; c < Table()->columnCount(); ++c)
                cells << (Table()->item(r, c) ? Table()->item(r, c)->text() : QString());
        return cells;
    }
    // The "Zähler" row counts the valid sets decoded.
    QString Counter() {
        return Table()->rowCount() == 22 && Table()->item(21, 1) ? Table()->item(21, 1)->text()
                                                                 : QString();
    }

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        QVERIFY(QDir::setCurrent(dir_->path()));
        pty_ = std::make_unique<PtyPair>();
        QVERIFY2(pty_->Start(), "socat could not make a pseudo-terminal pair");
        store_ = std::make_unique<QSettings>(dir_->filePath("Ombrix.conf"), QSettings::IniFormat);
        store_->beginGroup("Optionen");
        store_->setValue("PfadWX", dir_->filePath("wx") + "/");
        store_->setValue("CallFrom", "DL1ABC");
        store_->setValue("CommPortOmbrix", "2");
        store_->setValue("CommDevice", pty_->Program());
        // Nothing listens there: reports are lost, which is not what this test is about.
        store_->setValue("AGWPETcpPort", QString::number(FreePort()));
        store_->setValue("StatusServerPort", QString::number(FreePort()));
        store_->endGroup();
        window_ = std::make_unique<Ombrix>();
        StartupError error;
        QVERIFY2(window_->Load(*store_, error), qPrintable(Ombrix::StartupErrorText(error)));
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        QCOMPARE(window_->windowTitle(), kTitle);
    }

    void cleanup() {
        window_.reset();
        store_.reset();
        pty_.reset();
        QDir::setCurrent(QDir::tempPath());
        dir_.reset();
    }

    void deviceGoneAndBack() {
        QVERIFY(pty_->Send(TestTelegramSet()));
        QTRY_COMPARE_WITH_TIMEOUT(Counter(), QString(" 1"), kWaitMs);

        for (int round = 2; round <= 3; ++round) {
            const QStringList table = Cells();
            pty_->Stop();  // the adapter is pulled out
            QTRY_COMPARE_WITH_TIMEOUT(window_->windowTitle(), kTitleLost, kWaitMs);
            QVERIFY(window_->Intake()->IsLinkLost());
            QVERIFY(!window_->Intake()->IsOpen());

            // Gone for longer than one attempt to reopen it: the window goes on as it was.
            QTest::qWait(SerialIntake::kReopenMs + 1000);
            QCOMPARE(window_->windowTitle(), kTitleLost);
            QCOMPARE(Cells(), table);

            // Plugged in again, at the same path: reopened within one period of attempts.
            QElapsedTimer back;
            back.start();
            QVERIFY2(pty_->Start(), "socat could not make the pseudo-terminal pair again");
            QTRY_COMPARE_WITH_TIMEOUT(window_->windowTitle(), kTitle,
                                      SerialIntake::kReopenMs + 2000);
            QVERIFY(window_->Intake()->IsOpen());
            qInfo("round %d: device reopened %lld ms after it came back", round,
                  static_cast<long long>(back.elapsed()));

            // The first burst after the reopen is decoded.
            QVERIFY(pty_->Send(TestTelegramSet()));
            QTRY_COMPARE_WITH_TIMEOUT(Counter(), QString(" %1").arg(round), kWaitMs);
        }
    }

    // Fewer than 10 stray characters in the pause after a burst raise no data-received event;
    // they are still taken off the line before the next burst, which decodes.
    void strayCharactersInAPause_data() {
        QTest::addColumn<int>("count");
        QTest::newRow("1") << 1;
        QTest::newRow("9") << 9;
        QTest::newRow("10") << 10;
    }
    void strayCharactersInAPause() {
        QFETCH(int, count);
        QVERIFY(pty_->Send(TestTelegramSet()));
        QTRY_COMPARE_WITH_TIMEOUT(Counter(), QString(" 1"), kWaitMs);
        QTest::qWait(1500);
        QVERIFY(pty_->Send(std::string(static_cast<std::size_t>(count), '\xA5')));
        QTest::qWait(1500);
        QVERIFY(pty_->Send(TestTelegramSet()));
        QTRY_COMPARE_WITH_TIMEOUT(Counter(), QString(" 2"), kWaitMs);
    }

    // Closing the window while the device is gone ends the attempts to reopen it.
    void closeWhileGone() {
        pty_->Stop();
        QTRY_COMPARE_WITH_TIMEOUT(window_->windowTitle(), kTitleLost, kWaitMs);
        QVERIFY(window_->close());
        QVERIFY2(pty_->Start(), "socat could not make the pseudo-terminal pair again");
        QTest::qWait(SerialIntake::kReopenMs + 1000);
        QVERIFY(!window_->Intake()->IsOpen());
    }
};

QTEST_MAIN(SerialLineTest)
#include "serial_line_test.moc"
