// The main window under the offscreen platform: its layout, the buttons, sets from the station,
// the status server serving Text1, closing, and the start-up errors.
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include "app/serial_intake.h"
#include "server/status_server.h"
#include "station/telegram_set.h"
#include "window_rig.h"

using ombrix::Bytes;
using ombrix::Ombrix;
using ombrix::StartupError;
using ombrix::TestTelegramSet;
using ombrix::test::WindowRig;

class WindowTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<WindowRig> rig_;

    QPushButton* Button(const char* name) { return rig_->window->findChild<QPushButton*>(name); }
    QLineEdit* Text1() { return rig_->window->findChild<QLineEdit*>("Text1"); }
    void Press(const char* button) { QTest::mouseClick(Button(button), Qt::LeftButton); }
    int Rows() { return rig_->Table()->rowCount(); }
    int Reports() { return rig_->engine.received.count(ombrix::test::kTestSetReport); }

  private slots:
    void init() {
        rig_ = std::make_unique<WindowRig>();
        const QString failed = rig_->Start();
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
    }
    void cleanup() { rig_.reset(); }

    void design() {
        QTableWidget* table = rig_->Table();
        QCOMPARE(rig_->window->windowTitle(), "Ombrix");
        QCOMPARE(rig_->window->size(), QSize(667, 436));
        QCOMPARE(Button("Command1")->text(), "Testwerte");
        QCOMPARE(Button("Command2")->text(), "Zähler=0");
        QCOMPARE(Button("Command1")->geometry(), QRect(0, 376, 337, 25));
        QCOMPARE(Button("Command2")->geometry(), QRect(344, 376, 321, 25));
        QCOMPARE(Text1()->geometry(), QRect(0, 408, 665, 25));
        QCOMPARE(Text1()->text(), "");
        // The table 100 twips narrower than the window's inner width.
        QCOMPARE(table->geometry(), QRect(0, 0, 660, 369));
        QCOMPARE(Rows(), 0);
        const QStringList headers = {"Messgroesse",        "Aktuell",       "Maximum",
                                     "Maximum Zeit,Datum", "Minimum",       "Minimum Zeit,Datum",
                                     "Alarm Maximum",      "Alarm Minimum", "Alarm Set",
                                     "Display-Einheit",    "Extras"};
        const QList<int> widths = {176, 141, 118, 169, 118, 169, 118, 118, 118, 146, 376};
        QCOMPARE(table->columnCount(), 11);
        for (int c = 0; c < 11; ++c) {
            QCOMPARE(table->horizontalHeaderItem(c)->text(), headers[c]);
            QCOMPARE(table->columnWidth(c), widths[c]);
        }
        QVERIFY(table->verticalHeader()->isHidden());
        QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);

        // Resizing moves only the table's width.
        rig_->window->resize(800, 500);
        QTRY_COMPARE(table->geometry(), QRect(0, 0, 793, 369));  // (12000 - 100) / 15
        QCOMPARE(Button("Command1")->geometry(), QRect(0, 376, 337, 25));
        QCOMPARE(Text1()->geometry(), QRect(0, 408, 665, 25));
        rig_->window->resize(500, 300);
        QTRY_COMPARE(table->geometry(), QRect(0, 0, 493, 369));
        for (int c = 0; c < 11; ++c) QCOMPARE(table->columnWidth(c), widths[c]);
    }

    // "Testwerte" decodes the built-in set: the table, Text1, the status server and the report.
    void testwerte() {
        Press("Command1");
        QCOMPARE(Rows(), 22);
        const std::pair<int, const char*> names[] = {
            {0, "Zeit"}, {3, "Luftfeuchte außen"}, {15, "gefühlte Temp."}, {21, "Zähler"}};
        for (const auto& [row, name] : names) QCOMPARE(rig_->Cell(row, 0), QString(name));
        QVERIFY(rig_->Cell(0, 1).startsWith("08:00:46"));
        QCOMPARE(rig_->Cell(0, 2), "");  // cells no decoder sets stay empty
        QCOMPARE(rig_->Cell(18, 1), "Wind");
        QCOMPARE(rig_->Counter(), " 1");
        QCOMPARE(rig_->Cell(21, 5), " 205");
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
        const QString firstStatus = Text1()->text();
        Press("Command1");
        QCOMPARE(rig_->Counter(), " 2");
        QCOMPARE(rig_->Cell(21, 2), "");  // no hour on a set without a status line
        QCOMPARE(Text1()->text(), firstStatus);
        Press("Command2");
        QCOMPARE(rig_->Counter(), " 2");
        Press("Command1");
        QCOMPARE(rig_->Counter(), " 1");
        QVERIFY(!rig_->Cell(21, 2).isEmpty());
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

    // Each call shows the core's table as it is: rebuilt, whatever was there before.
    void rejectedSetsReplaceTheTable() {
        Press("Command1");
        Bytes bad = TestTelegramSet();
        bad[34] = static_cast<char>(bad[34] + 1);  // group 1's checksum
        QVERIFY(rig_->pty.Send(bad));
        QTRY_COMPARE_WITH_TIMEOUT(Rows(), 5, 8000);  // the five checksum rows
        QVERIFY(rig_->pty.Send(Bytes(101, '\x8f')));
        QTRY_COMPARE_WITH_TIMEOUT(Rows(), 0, 8000);  // wrong length
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

    // A second window on the same settings: the device is busy; or one setting changed. The
    // message names the error and what it concerns.
    void startupErrors_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("number");
        QTest::newRow("busy") << QString() << QString() << 8005;
        QTest::newRow("missing device") << "CommDevice"
                                        << "/dev/ombrix-keine-station" << 8002;
        QTest::newRow("port number below 1") << "CommPortOmbrix"
                                             << "-1" << 8002;
        QTest::newRow("port number too large") << "CommPortOmbrix"
                                               << "40000" << 6;
    }
    void startupErrors() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(int, number);
        QSettings& store = *rig_->store;
        if (key == "CommPortOmbrix") store.remove("Optionen/CommDevice");
        if (!key.isEmpty()) store.setValue("Optionen/" + key, value);
        Ombrix second;
        StartupError error;
        QVERIFY(!second.Load(store, error));
        QCOMPARE(error.Number, number);
        const QString text = Ombrix::StartupErrorText(error);
        QVERIFY2(text.startsWith(QString("Laufzeitfehler '%1'").arg(number)) &&
                     text.contains(key.isEmpty() ? rig_->pty.Program() : value),
                 qPrintable(text));
        QVERIFY(rig_->window->Intake()->IsOpen());
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
