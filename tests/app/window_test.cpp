// The main window under the offscreen platform as a user meets it: the table's columns, the
// buttons and what they do, the status line in Text1 (served by the status server as well), sets
// from the station in the table, the layout at design size and resized, the status bar, the
// locale's decimal separator, closing, a busy device, and the station's device vanishing under
// the window (a USB adapter pulled out: here the socat of the pseudo-terminal pair is ended) and
// coming back.
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include "app/serial_intake.h"
#include "pipeline/weather_logger.h"
#include "server/status_server.h"
#include "station/telegram_set.h"
#include "window_rig.h"

using ombrix::Bytes;
using ombrix::Ombrix;
using ombrix::SerialIntake;
using ombrix::StartupError;
using ombrix::TestTelegramSet;
using ombrix::test::WindowRig;

namespace {
const QString kTitleLost = "Ombrix \u2013 keine Verbindung zur Station";
}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<WindowRig> rig_;

    QPushButton* Button(const char* name) { return rig_->window->findChild<QPushButton*>(name); }
    QString Title() { return rig_->window->windowTitle(); }
    QLineEdit* Text1() { return rig_->window->findChild<QLineEdit*>("Text1"); }
    void Press(const char* button) { QTest::mouseClick(Button(button), Qt::LeftButton); }
    int Rows() { return rig_->Table()->rowCount(); }
    QString Field(const char* name) { return rig_->window->findChild<QLabel*>(name)->text(); }
    QRect Placed(const char* name) { return rig_->window->findChild<QWidget*>(name)->geometry(); }
    int Reports() { return rig_->engine.received.count(ombrix::test::kTestSetReport); }
    // The window shows the core's table, cell for cell.
    bool ShowsTheLoggersTable() {
        const ombrix::MeasurementTable& table = rig_->window->Logger()->Table();
        bool same = Rows() == table.RowCount();
        for (int row = 1; same && row <= table.RowCount(); ++row)
            for (int c = 0; c < 11; ++c)
                same = same && rig_->Cell(row - 1, c) == QString::fromStdString(table.Row(row)[c]);
        return same;
    }

  private slots:
    void init() {
        rig_ = std::make_unique<WindowRig>();
        const QString failed = rig_->Start();
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
    }
    void cleanup() { rig_.reset(); }

    void columnsAndButtons() {
        QCOMPARE(rig_->window->windowTitle(), "Ombrix");
        QCOMPARE(Button("Command1")->text(), "Testwerte");
        QCOMPARE(Button("Command2")->text(), "Zähler=0");
        QCOMPARE(Text1()->text(), "");
        QCOMPARE(Rows(), 0);
        const QStringList headers = {"Messgroesse",        "Aktuell",       "Maximum",
                                     "Maximum Zeit,Datum", "Minimum",       "Minimum Zeit,Datum",
                                     "Alarm Maximum",      "Alarm Minimum", "Alarm Set",
                                     "Display-Einheit",    "Extras"};
        QCOMPARE(rig_->Table()->columnCount(), 11);
        for (int c = 0; c < 11; ++c)
            QCOMPARE(rig_->Table()->horizontalHeaderItem(c)->text(), headers[c]);
    }

    // "Testwerte" decodes the built-in set: the table, Text1, the status server and the report.
    void testwerte() {
        Press("Command1");
        QCOMPARE(Rows(), 22);
        QVERIFY(ShowsTheLoggersTable());
        QCOMPARE(rig_->Counter(), " 1");
        const QRegularExpression status("^\\d\\d \\d\\d 9 7 8 0 1 9 205 10 194 1015 91$");
        QVERIFY2(status.match(Text1()->text()).hasMatch(), qPrintable(Text1()->text()));
        QCOMPARE(QString::fromLatin1(ombrix::test::AskStatus(rig_->statusPort).Text),
                 Text1()->text());
        QTRY_COMPARE_WITH_TIMEOUT(Reports(), 1, 8000);
    }

    // "Zähler=0" only sets the counter: the table waits for the next set, which then starts a
    // new cycle with a status line and a report.
    void counterReset() {
        Press("Command1");
        Press("Command1");
        Press("Command2");
        QCOMPARE(rig_->Counter(), " 2");
        Press("Command1");
        QCOMPARE(rig_->Counter(), " 1");
        QTRY_COMPARE_WITH_TIMEOUT(Reports(), 2, 8000);
    }

    // "Testwerte" in the middle of a burst leaves what was gathered alone: the burst is decoded
    // once its rest has come.
    void testwerteKeepsGatheredBytes() {
        const Bytes& set = TestTelegramSet();
        QVERIFY(rig_->pty.Send(set.substr(0, 70)));
        QVERIFY(
            QTest::qWaitFor([&] { return rig_->window->Intake()->RxBuffer().size() == 70; }, 8000));
        Press("Command1");
        QCOMPARE(rig_->Counter(), " 1");
        QVERIFY(rig_->window->Intake()->RxBuffer() == set.substr(0, 70));
        QVERIFY(rig_->pty.Send(set.substr(70)));
        QTRY_COMPARE_WITH_TIMEOUT(rig_->Counter(), " 2", 8000);
        QVERIFY(rig_->WaitIntakeIdle());
        QCOMPARE(rig_->Counter(), " 2");  // decoded once
    }

    // A set from the station fills the table; each set shows its own table, whatever was there.
    void stationSetsFillTheTable() {
        QVERIFY(rig_->pty.Send(TestTelegramSet()));
        QTRY_COMPARE_WITH_TIMEOUT(rig_->Counter(), " 1", 8000);
        QVERIFY(ShowsTheLoggersTable());
        Bytes bad = TestTelegramSet();
        bad[34] = static_cast<char>(bad[34] + 1);  // group 1's checksum
        QVERIFY(rig_->WaitIntakeIdle() && rig_->pty.Send(bad));
        QTRY_COMPARE_WITH_TIMEOUT(Rows(), 5, 8000);  // the five checksum rows
        QVERIFY(ShowsTheLoggersTable());
        QVERIFY(rig_->WaitIntakeIdle() && rig_->pty.Send(Bytes(101, '\x8f')));
        QTRY_COMPARE_WITH_TIMEOUT(Rows(), 0, 8000);  // wrong length
    }

    // The table takes a change of size in both directions; the buttons share the width as at
    // design size, below them Text1 and the status bar span it.
    void layoutFollowsTheWindow_data() {
        QTest::addColumn<QSize>("change");
        QTest::addColumn<int>("first");  // Command1's width
        QTest::newRow("design size") << QSize(0, 0) << 337;
        QTest::newRow("grown") << QSize(333, 200) << 508;
        QTest::newRow("shrunk to fit a small screen") << QSize(-200, -150) << 235;
    }
    void layoutFollowsTheWindow() {
        QFETCH(QSize, change);
        QFETCH(int, first);
        const int dw = change.width(), dh = change.height();
        const QSize size = rig_->window->size() + change;
        rig_->window->resize(size);
        QTRY_COMPARE(Placed("ListView1"), QRect(0, 0, 660 + dw, 369 + dh));
        QCOMPARE(Placed("Command1"), QRect(0, 376 + dh, first, 25));
        QCOMPARE(Placed("Command2"), QRect(first + 7, 376 + dh, 658 + dw - first, 25));
        QCOMPARE(Placed("Text1"), QRect(0, 408 + dh, 665 + dw, 25));
        QCOMPARE(Placed("StatusBar"), QRect(0, 436 + dh, size.width(), size.height() - 436 - dh));
    }

    // Made as small as it goes, the window keeps a few rows of the table.
    void minimumSize() {
        Press("Command1");
        rig_->window->resize(100, 100);
        QTRY_COMPARE(rig_->window->size(), rig_->window->minimumSize());
        QVERIFY(rig_->Table()->rowAt(rig_->Table()->viewport()->height() - 1) >= 2);
    }

    // The bar tells the last valid set and the bursts rejected since start-up, the engine's link
    // with the last report, and the archive.
    void statusBar() {
        QTRY_COMPARE(Field("StatusEngine"), "AGWPE verbunden · letzte Meldung: –");
        QCOMPARE(Field("StatusArchive"), "Archiv OK");
        QVERIFY(rig_->pty.Send(TestTelegramSet()));
        const QRegularExpression set("^Letzter Datensatz: (\\d\\d:\\d\\d:\\d\\d) · abgewiesen: 0$");
        QTRY_VERIFY_WITH_TIMEOUT(set.match(Field("StatusData")).hasMatch(), 8000);
        const QString when = set.match(Field("StatusData")).captured(1);
        QCOMPARE(Field("StatusEngine"), "AGWPE verbunden · letzte Meldung: " + when);
        QVERIFY(rig_->WaitIntakeIdle() && rig_->pty.Send(Bytes(101, '\x8f')));
        QTRY_COMPARE_WITH_TIMEOUT(Field("StatusData"),
                                  "Letzter Datensatz: " + when + " · abgewiesen: 1", 8000);
    }

    // Without an archive, and with a "Lage" that is sent as written but is no APRS position.
    void statusBarWarns() {
        rig_ = std::make_unique<WindowRig>();
        QCOMPARE(rig_->Start("ArchivePath=\nLage=Berlin\n"), QString());
        QCOMPARE(Field("StatusArchive"), "Archiv aus");
        QCOMPARE(Field("StatusSettings"), "„Lage“ ist keine APRS-Position");
        QVERIFY(rig_->window->findChild<QLabel*>("StatusSettings")->isVisible());
    }

    // APRS-IS and wxnow.txt get the station's sets, never the "Testwerte" set; the status bar
    // shows each.
    void outputs() {
        rig_ = std::make_unique<WindowRig>();
        const QString wxnow = rig_->dir.filePath("wxnow.txt");
        const quint16 nobody = ombrix::test::FreePort();
        QCOMPARE(rig_->Start("WxnowPath=" + wxnow.toUtf8() +
                             "\nAprsIsServer=127.0.0.1:" + QByteArray::number(nobody) + "\n"),
                 QString());
        QCOMPARE(Field("StatusAprsIs"), "APRS-IS: wartet auf Daten");
        Press("Command1");
        QVERIFY(!QFile::exists(wxnow));
        QVERIFY(rig_->pty.Send(TestTelegramSet()));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(wxnow), 8000);
        const QString text = QString::fromLatin1(ombrix::test::ReadFile(wxnow));
        QVERIFY2(QRegularExpression("^[A-Z][a-z]{2} \\d\\d 20\\d\\d \\d\\d:\\d\\d\r\n"
                                    "205/006g006t049r000p\\.\\.\\.P004h91b10150\r\n$")
                     .match(text)
                     .hasMatch(),
                 qPrintable(text));
        QCOMPARE(Field("StatusWxnow"), "wxnow.txt OK");
        QTRY_COMPARE(Field("StatusAprsIs"), "APRS-IS: Verbindung abgewiesen");
    }

    // The silence is said after three usual intervals between sets, and never before a minute.
    void silentMinutes_data() {
        QTest::addColumn<QList<qint64>>("gaps");
        QTest::addColumn<qint64>("silentMs");
        QTest::addColumn<qint64>("minutes");
        QTest::newRow("no set yet, 2:59") << QList<qint64>{} << 179999LL << 0LL;
        QTest::newRow("no set yet, 3 min") << QList<qint64>{} << 180000LL << 3LL;
        QTest::newRow("10 s sets, 59 s") << QList<qint64>{10000, 10000} << 59999LL << 0LL;
        QTest::newRow("10 s sets, a minute") << QList<qint64>{10000, 10000} << 60000LL << 1LL;
        QTest::newRow("2 min sets, 5:59")
            << QList<qint64>{120000, 120000, 900000} << 359000LL << 0LL;
        QTest::newRow("2 min sets, 6 min")
            << QList<qint64>{120000, 900000, 120000} << 360000LL << 6LL;
    }
    void silentMinutes() {
        QFETCH(QList<qint64>, gaps);
        QFETCH(qint64, silentMs);
        QFETCH(qint64, minutes);
        QCOMPARE(Ombrix::SilentMinutes({gaps.begin(), gaps.end()}, silentMs), minutes);
    }

    // On the Raspberry Pi's 800 × 480 touch screen, window and frame fit; the controls follow as
    // on any smaller window.
    void fitsASmallScreen() {
        rig_->window->FitInto(QRect(0, 0, 800, 480));
        const QSize size = rig_->window->size();
        QVERIFY(size.width() <= 792 && size.height() <= 444);
        QTRY_COMPARE(Placed("StatusBar").bottom(), size.height() - 1);
        QVERIFY(Placed("Text1").bottom() < Placed("StatusBar").top());
    }

    void closeShutsEverything() {
        QVERIFY(rig_->window->Intake()->IsOpen());
        QVERIFY(rig_->window->Server()->IsListening());
        QVERIFY(rig_->window->close());
        QVERIFY(!rig_->window->Intake()->IsOpen());
        QVERIFY(!rig_->window->Server()->IsListening());
        QVERIFY(ombrix::test::ConnectLoopback(rig_->statusPort) < 0);
    }

    // The cells use the decimal separator of the user's locale.
    void decimalSeparatorOfLocale() {
        rig_->window.reset();
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        Ombrix window;
        StartupError error;
        const bool loaded = window.Load(*rig_->store, error);
        QLocale::setDefault(QLocale::c());
        QVERIFY(loaded);
        window.findChild<QPushButton*>("Command1")->click();
        const QString cell = window.findChild<QTableWidget*>("ListView1")->item(5, 1)->text();
        QVERIFY2(cell.contains("9,4"), qPrintable(cell));
    }

    // A second window on the same settings: the device is busy, and the message names it.
    void busyDevice() {
        Ombrix second;
        StartupError error;
        QVERIFY(!second.Load(*rig_->store, error));
        QCOMPARE(error.Number, 8005);
        const QString text = Ombrix::StartupErrorText(error);
        QVERIFY2(text.startsWith("Laufzeitfehler '8005'") && text.contains(rig_->pty.Program()),
                 qPrintable(text));
        QVERIFY(rig_->window->Intake()->IsOpen());
    }

    // The window keeps its table, says in its title that the station link is lost, tries the
    // same device every five seconds and decodes the first burst after the device is back.
    void deviceGoneAndBack() {
        QVERIFY(rig_->pty.Send(TestTelegramSet()));
        QTRY_COMPARE_WITH_TIMEOUT(rig_->Counter(), " 1", 8000);
        rig_->pty.Stop();
        QTRY_COMPARE_WITH_TIMEOUT(Title(), kTitleLost, 8000);
        QVERIFY(rig_->window->Intake()->IsLinkLost() && !rig_->window->Intake()->IsOpen());
        // Gone for longer than one attempt to reopen it: the window goes on as it was.
        QTest::qWait(SerialIntake::kReopenMs + 1000);
        QCOMPARE(Title(), kTitleLost);
        QCOMPARE(rig_->Counter(), " 1");
        QVERIFY(ShowsTheLoggersTable());
        // Back at the same path: reopened within one period of attempts.
        QElapsedTimer back;
        back.start();
        QVERIFY2(rig_->pty.Start(), "socat could not make the pseudo-terminal pair again");
        QTRY_COMPARE_WITH_TIMEOUT(Title(), "Ombrix", SerialIntake::kReopenMs + 2000);
        QVERIFY(rig_->window->Intake()->IsOpen());
        qInfo("device reopened %lld ms after it came back", back.elapsed());
        QVERIFY(rig_->pty.Send(TestTelegramSet()));
        QTRY_COMPARE_WITH_TIMEOUT(rig_->Counter(), " 2", 8000);
    }

    // Closing the window while the device is gone ends the attempts to reopen it.
    void closeWhileGone() {
        rig_->pty.Stop();
        QTRY_COMPARE_WITH_TIMEOUT(Title(), kTitleLost, 8000);
        QVERIFY(rig_->window->close());
        QVERIFY2(rig_->pty.Start(), "socat could not make the pseudo-terminal pair again");
        QTest::qWait(SerialIntake::kReopenMs + 1000);
        QVERIFY(!rig_->window->Intake()->IsOpen());
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
