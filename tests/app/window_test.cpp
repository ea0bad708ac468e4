// The main window under the offscreen platform, started as the program starts it: settings
// from a store, the serial port on a socat pseudo-terminal, a stand-in AGWPE engine and the status
// server on free loopback ports.
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTableWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/ombrix.h"
#include "pty_pair.h"
#include "server/status_server.h"
#include "station/serial_intake.h"
#include "station/telegram_set.h"

using ombrix::Bytes;
using ombrix::Ombrix;
using ombrix::StartupError;
using ombrix::TestTelegramSet;
using ombrix::test::PtyPair;

namespace {

constexpr int kWaitMs = 8000;

quint16 FreePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) return 0;
    return probe.serverPort();
}

// The AGWPE frames in what the engine received: 36-byte header, data length at offset 28.
int CountFrames(const QByteArray& wire, char kind) {
    int n = 0;
    qsizetype at = 0;
    while (wire.size() - at >= 36) {
        const auto* h = reinterpret_cast<const unsigned char*>(wire.constData() + at);
        const qsizetype length = h[28] | h[29] << 8 | h[30] << 16 | h[31] << 24;
        if (wire.size() - at < 36 + length) break;
        n += wire[at + 4] == kind;
        at += 36 + length;
    }
    return n;
}

const QStringList kRowNames = {"Zeit",
                               "Datum",
                               "Luftfeuchte innen",
                               "Luftfeuchte außen",
                               "Temperatur innen",
                               "Temperatur außen",
                               "Luftdruck",
                               "Luftdruck NN",
                               "Taupunkt innen",
                               "Taupunkt außen",
                               "Regenmenge/Std.",
                               "Regen heute",
                               "Regen seit Reset",
                               "Wind Spitzen",
                               "Wind Mittel",
                               "gefühlte Temp.",
                               "Stromversorgung",
                               "Batterie",
                               "Anzeige",
                               "Unteranzeige",
                               "Anzeigewert",
                               "Zähler"};

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<PtyPair> pty_;
    std::unique_ptr<QTcpServer> engine_;
    QByteArray engineBytes_;
    quint16 statusPort_ = 0;
    std::unique_ptr<QSettings> store_;
    std::unique_ptr<Ombrix> window_;

    QTableWidget* Table() { return window_->findChild<QTableWidget*>("ListView1"); }
    QPushButton* Button(const char* name) { return window_->findChild<QPushButton*>(name); }
    QLineEdit* Text1() { return window_->findChild<QLineEdit*>("Text1"); }
    QString Cell(int row, int column) {
        const QTableWidgetItem* item = Table()->item(row, column);
        return item ? item->text() : QString();
    }
    int Rows() { return Table()->rowCount(); }
    QString Counter() { return Rows() == 22 ? Cell(21, 1) : QString(); }

    std::unique_ptr<QSettings> Store(const QString& name) {
        auto store = std::make_unique<QSettings>(dir_->filePath(name), QSettings::IniFormat);
        store->beginGroup("Optionen");
        store->setValue("PfadWX", dir_->filePath("wx") + "/");
        store->setValue("Lage", "5130.00N/00730.00E_");
        store->setValue("CallTo", "APRS");
        store->setValue("CallFrom", "DL1ABC");
        store->setValue("CallDigi1", "WIDE1-1");
        store->setValue("CallDigi2", "");
        store->setValue("CommPortOmbrix", "2");
        store->setValue("AGWPEPort", "0");
        store->setValue("CommDevice", pty_->Program());
        store->setValue("AGWPETcpPort", QString::number(engine_->serverPort()));
        store->setValue("StatusServerPort", QString::number(statusPort_));
        store->endGroup();
        return store;
    }

    // Waits until the pause timer has run out and the buffer is empty again.
    bool WaitIntakeIdle() {
        return QTest::qWaitFor(
            [&] {
                return !window_->Intake()->PauseTimerActive() &&
                       window_->Intake()->RxBuffer().empty();
            },
            kWaitMs);
    }

    void Press(const char* button) { QTest::mouseClick(Button(button), Qt::LeftButton); }

  private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        QVERIFY(QDir::setCurrent(dir_->path()));  // "fehler.log" goes here
        pty_ = std::make_unique<PtyPair>();
        QVERIFY2(pty_->Start(), "socat could not make a pseudo-terminal pair");
        engineBytes_.clear();
        engine_ = std::make_unique<QTcpServer>();
        QVERIFY(engine_->listen(QHostAddress::LocalHost, 0));
        connect(engine_.get(), &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = engine_->nextPendingConnection())
                connect(s, &QTcpSocket::readyRead, this,
                        [this, s] { engineBytes_ += s->readAll(); });
        });
        statusPort_ = FreePort();
        QVERIFY(statusPort_ != 0);
        store_ = Store("Ombrix.conf");
        window_ = std::make_unique<Ombrix>();
        StartupError error;
        QVERIFY2(window_->Load(*store_, error), qPrintable(Ombrix::StartupErrorText(error)));
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }

    void cleanup() {
        window_.reset();
        store_.reset();
        engine_.reset();
        pty_.reset();
        QDir::setCurrent(QDir::tempPath());
        dir_.reset();
    }

    void design() {
        QCOMPARE(window_->windowTitle(), "Ombrix");
        QCOMPARE(window_->size(), QSize(667, 436));
        QCOMPARE(Button("Command1")->text(), "Testwerte");
        QCOMPARE(Button("Command2")->text(), "Zähler=0");
        QCOMPARE(Button("Command1")->geometry(), QRect(0, 376, 337, 25));
        QCOMPARE(Button("Command2")->geometry(), QRect(344, 376, 321, 25));
        QCOMPARE(Text1()->geometry(), QRect(0, 408, 665, 25));
        QCOMPARE(Text1()->text(), "");
        // The table: its position and height as laid out, its width 100 twips short of the
        // window's.
        QCOMPARE(Table()->geometry(), QRect(0, 0, 660, 369));
        QCOMPARE(Rows(), 0);
        const QStringList headers = {"Messgroesse",        "Aktuell",       "Maximum",
                                     "Maximum Zeit,Datum", "Minimum",       "Minimum Zeit,Datum",
                                     "Alarm Maximum",      "Alarm Minimum", "Alarm Set",
                                     "Display-Einheit",    "Extras"};
        const QList<int> widths = {176, 141, 118, 169, 118, 169, 118, 118, 118, 146, 376};
        QCOMPARE(Table()->columnCount(), 11);
        for (int c = 0; c < 11; ++c) {
            QCOMPARE(Table()->horizontalHeaderItem(c)->text(), headers[c]);
            QCOMPARE(Table()->columnWidth(c), widths[c]);
        }
        QVERIFY(Table()->verticalHeader()->isHidden());
        QCOMPARE(Table()->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(Table()->editTriggers(), QAbstractItemView::NoEditTriggers);
    }

    void resizeFollowsWidthOnly() {
        window_->resize(800, 500);
        QTRY_COMPARE(window_->width(), 800);
        QCOMPARE(Table()->geometry(), QRect(0, 0, 793, 369));  // (12000 - 100) / 15
        QCOMPARE(Button("Command1")->geometry(), QRect(0, 376, 337, 25));
        QCOMPARE(Text1()->geometry(), QRect(0, 408, 665, 25));
        window_->resize(500, 300);
        QTRY_COMPARE(Table()->width(), 493);
        QCOMPARE(Table()->height(), 369);
        for (int c = 0; c < 11; ++c) QVERIFY(Table()->columnWidth(c) > 100);
    }

    void testwerteFillsTable() {
        Press("Command1");
        QCOMPARE(Rows(), 22);
        for (int r = 0; r < 22; ++r) QCOMPARE(Cell(r, 0), kRowNames[r]);
        QVERIFY(Cell(0, 1).startsWith("08:00:46"));
        QCOMPARE(Cell(0, 2), "");  // cells no decoder sets stay empty
        QCOMPARE(Cell(18, 1), "Wind");
        QCOMPARE(Counter(), " 1");
        QCOMPARE(Cell(21, 5), " 205");
        const QRegularExpression status("^\\d\\d \\d\\d 9 7 8 0 1 9 205 10 194 1015 91$");
        QVERIFY2(status.match(Text1()->text()).hasMatch(), qPrintable(Text1()->text()));
        // The report of the first set went to the engine.
        QTRY_COMPARE_WITH_TIMEOUT(CountFrames(engineBytes_, 'K'), 1, kWaitMs);
        QVERIFY(engineBytes_.contains("!5130.00N/00730.00E_205/006g006t049r000P004h91b10150"));
    }

    // "Zähler=0" only sets the counter: the table waits for the next set, which then starts a
    // new cycle with a status line and a report.
    void counterReset() {
        Press("Command1");
        const QString firstStatus = Text1()->text();
        Press("Command1");
        QCOMPARE(Counter(), " 2");
        QCOMPARE(Cell(21, 2), "");  // no hour on a set without a status line
        QCOMPARE(Text1()->text(), firstStatus);
        Press("Command2");
        QCOMPARE(Rows(), 22);
        QCOMPARE(Counter(), " 2");
        QCOMPARE(Button("Command2")->text(), "Zähler=0");
        Press("Command2");
        Press("Command1");
        QCOMPARE(Counter(), " 1");
        QVERIFY(!Cell(21, 2).isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(CountFrames(engineBytes_, 'K'), 2, kWaitMs);
    }

    void burstFromStationDecoded() {
        QVERIFY(pty_->Send(TestTelegramSet()));
        QTRY_COMPARE_WITH_TIMEOUT(Rows(), 22, kWaitMs);
        QCOMPARE(Counter(), " 1");
        QVERIFY(!Text1()->text().isEmpty());
        QVERIFY(WaitIntakeIdle());
        QCOMPARE(Counter(), " 1");  // decoded once
    }

    // "Testwerte" in the middle of a burst leaves what was gathered alone: the burst is decoded
    // once its rest has come.
    void testwerteKeepsGatheredBytes() {
        const Bytes& set = TestTelegramSet();
        QVERIFY(pty_->Send(set.substr(0, 70)));
        QVERIFY(
            QTest::qWaitFor([&] { return window_->Intake()->RxBuffer().size() == 70; }, kWaitMs));
        Press("Command1");
        QCOMPARE(Counter(), " 1");
        QVERIFY(window_->Intake()->RxBuffer() == set.substr(0, 70));
        QVERIFY(pty_->Send(set.substr(70)));
        QTRY_COMPARE_WITH_TIMEOUT(Counter(), " 2", kWaitMs);
        QVERIFY(WaitIntakeIdle());
        QCOMPARE(Counter(), " 2");
    }

    // Each call shows the core's table as it is: rebuilt, whatever was there before.
    void rejectedBuffers() {
        QVERIFY(WaitIntakeIdle());  // the first expiry after start-up
        Press("Command1");
        QVERIFY(pty_->Send(Bytes(100, '\x8f')));
        QVERIFY(QTest::qWaitFor([&] { return window_->Intake()->PauseTimerActive(); }, kWaitMs));
        QVERIFY(WaitIntakeIdle());
        QCOMPARE(Rows(), 22);  // 100 characters are dropped unseen

        QVERIFY(pty_->Send(TestTelegramSet()));
        QTest::qWait(150);
        QVERIFY(pty_->Send(TestTelegramSet()));
        QTRY_COMPARE_WITH_TIMEOUT(Rows(), 0, kWaitMs);  // 282 characters: wrong length

        Press("Command1");
        QCOMPARE(Rows(), 22);
        Bytes bad = TestTelegramSet();
        bad[34] = static_cast<char>(bad[34] + 1);  // group 1's checksum
        QVERIFY(pty_->Send(bad));
        QTRY_COMPARE_WITH_TIMEOUT(Rows(), 5, kWaitMs);  // the five checksum rows

        QVERIFY(pty_->Send(Bytes(101, '\x8f')));
        QTRY_COMPARE_WITH_TIMEOUT(Rows(), 0, kWaitMs);
    }

    void statusServerServesText1() {
        Press("Command1");
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, statusPort_);
        QVERIFY(client.waitForConnected(kWaitMs));
        client.write("?");
        QByteArray got;
        QVERIFY(QTest::qWaitFor(
            [&] {
                got += client.readAll();
                return client.state() == QAbstractSocket::UnconnectedState;
            },
            kWaitMs));
        got += client.readAll();
        QCOMPARE(QString::fromLatin1(got), Text1()->text());
    }

    void closeShutsEverything() {
        QVERIFY(window_->Intake()->IsOpen());
        QVERIFY(window_->Server()->IsListening());
        QVERIFY(window_->close());
        QVERIFY(!window_->Intake()->IsOpen());
        QVERIFY(!window_->Server()->IsListening());
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, statusPort_);
        QVERIFY(!client.waitForConnected(2000));
    }

    // The cells use the decimal separator of the user's locale.
    void decimalSeparatorOfLocale() {
        window_.reset();
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        Ombrix window;
        StartupError error;
        const bool loaded = window.Load(*store_, error);
        QLocale::setDefault(QLocale::c());
        QVERIFY(loaded);
        window.findChild<QPushButton*>("Command1")->click();
        const auto* table = window.findChild<QTableWidget*>("ListView1");
        QCOMPARE(table->item(5, 0)->text(), "Temperatur außen");
        QVERIFY2(table->item(5, 1)->text().contains("9,4"), qPrintable(table->item(5, 1)->text()));
    }

    void startupErrors_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("missing device")
            << "CommDevice"
            << "/dev/ombrix-keine-station" << 8002 << "/dev/ombrix-keine-station";
        QTest::newRow("port number below 1") << "CommPortOmbrix"
                                             << "-1" << 8002 << "-1";
        QTest::newRow("port number too large") << "CommPortOmbrix"
                                               << "40000" << 6 << "40000";
        QTest::newRow("busy") << ""
                              << "" << 8005 << "program";
    }
    void startupErrors() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(int, number);
        QFETCH(QString, mentions);
        auto store = Store("second.conf");
        if (key == "CommPortOmbrix") store->remove("Optionen/CommDevice");
        if (!key.isEmpty()) store->setValue("Optionen/" + key, value);
        // With "busy" the first window still holds the device.
        Ombrix second;
        StartupError error;
        QVERIFY(!second.Load(*store, error));
        QCOMPARE(error.Number, number);
        const QString text = Ombrix::StartupErrorText(error);
        QVERIFY2(text.contains(mentions), qPrintable(text));
        QVERIFY2(text.startsWith(QString("Laufzeitfehler '%1'").arg(number)), qPrintable(text));
        QVERIFY(window_->Intake()->IsOpen());
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
