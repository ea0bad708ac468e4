// The main window: the table of measured quantities, the buttons "Testwerte" and "Zähler=0", the
// status line, a status bar below it, and the parts that run behind them (serial line, pause timer,
// AGWPE link, status server). It owns the decoder core for the whole run.
#pragma once

#include <QElapsedTimer>
#include <QSettings>
#include <QTime>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <memory>

#include "app/settings.h"
#include "decode/station_reading.h"
#include "station/bytes.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QTableWidget;

namespace ombrix {

class AgwLink;
class AprsIsUpload;
class WxnowFile;
class MqttLink;
class ArchiveWriter;
class SerialIntake;
class StatusServer;
class WeatherLogger;
class Verlauf;

class Ombrix : public QWidget {
    Q_OBJECT

  public:
    explicit Ombrix(QWidget* parent = nullptr);
    ~Ombrix() override;

    // Start-up: settings, serial port, pause timer, archive, AGWPE link, status server. False
    // when the serial port or a stored number fails; the program then ends with the error's
    // message. An archive that cannot be opened is said on standard error, and the program runs
    // without it.
    bool Load(QSettings& store, StartupError& error);

    const Settings& CurrentSettings() const { return settings_; }
    const SerialIntake* Intake() const { return MSComm1.get(); }
    const StatusServer* Server() const { return Winsock2.get(); }
    const WeatherLogger* Logger() const { return logger_.get(); }
    // Empty when there is no archive.
    const ArchiveWriter* Archive() const { return archive_.get(); }

    // The start-up error as the user reads it.
    static QString StartupErrorText(const StartupError& error);

    // Shrinks the window, when it must, so that it fits with its frame into `available` (a
    // screen's free area), as it does on the screen it opens on: the Raspberry Pi's 800 × 480
    // touch screen with its panel.
    void FitInto(const QRect& available);

    // Whole minutes of `silentMs` without a valid set, once that is three times the usual
    // interval between sets (the median of `gaps`, in ms; a minute before two sets came), and at
    // least a minute; 0 before.
    static qint64 SilentMinutes(const std::deque<qint64>& gaps, qint64 silentMs);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void Command1_Click();
    void Command2_Click();
    void Form_Resize();
    void Form_Unload();
    // Every set, from the station or from "Testwerte", goes through here.
    void DecodeTelegramSet(BytesView set, SetSource source = SetSource::Station);
    void ShowTable();
    void StartArchive();
    // APRS-IS, MQTT and wxnow.txt, when they are configured; each gets a field in the status bar.
    void StartOutputs();
    // A valid set of the station to the outputs.
    void SendToOutputs(const StationReading& reading);
    // The rain of the 24 hours up to utc from the archive, read again at most once a minute.
    std::optional<double> RainOfLastDay(std::int64_t utc);
    // The open interval is written 5 s after its end (wall clock) when no later set ends it first.
    void ArmArchiveTimer();
    // The status bar's fields and the window's title, from the state of the parts now.
    void ShowState();
    // The history window (a module loaded on its first opening) with the chart of the table's
    // row in view; row -1: as it was.
    void ShowHistory(int row);
    // Sets a field of the status bar. Run as a service, with standard error going to systemd's
    // journal, a field's text is also written there, once each time the `state` it tells changes.
    void ShowField(QLabel* field, const QString& text, const QString& state);

    QTableWidget* ListView1;
    QPushButton* Command1;
    QPushButton* Command2;
    QLineEdit* Text1;
    QWidget* statusArea_;
    QStatusBar* stationBar_;  // the station's sets, the packet engine
    QStatusBar* statusBar_;   // the archive, the outputs, warnings
    QLabel* dataField_;       // last valid set, rejected bursts
    QLabel* engineField_;     // AGWPE link, last report
    QLabel* archiveField_;    // the archive's queue
    QLabel* settingsField_;   // a setting that is taken as written but looks wrong
    QLabel* aprsIsField_ = nullptr;
    QLabel* wxnowField_ = nullptr;
    QLabel* mqttField_ = nullptr;
    bool journal_ = false;  // standard error goes to the journal
    int barHeight_;

    Settings settings_;
    std::unique_ptr<SerialIntake> MSComm1;  // with the pause timer tmrPause
    std::unique_ptr<AgwLink> Winsock1;
    std::unique_ptr<StatusServer> Winsock2;
    std::unique_ptr<ArchiveWriter> archive_;
    std::unique_ptr<AprsIsUpload> aprsIs_;
    std::unique_ptr<MqttLink> mqtt_;
    std::unique_ptr<WxnowFile> wxnow_;
    QString wxnowFailure_;  // why wxnow.txt was last not written; empty when it was
    std::optional<std::int64_t> rainReadAt_;
    std::optional<double> rainOfLastDay_;
    QTimer archiveTimer_;
    QTimer stateTimer_;  // the "keine Daten" check and the archive's queue
    bool stationLost_ = false;
    // The station's valid sets: since the last one (since start-up before the first), the wall
    // time of the last one, the last gaps between them in ms.
    QElapsedTimer sinceSet_;
    QTime lastSet_;
    std::deque<qint64> gaps_;
    int rejected_ = 0;
    QTime lastReport_;
    bool unloaded_ = false;
    std::unique_ptr<WeatherLogger> logger_;
    std::unique_ptr<Verlauf> history_;  // destroyed first: it listens to the archive
};

// Shows the start-up error in a modal message box (unless OMBRIX_NO_DIALOGS is set, for runs
// without a user) and on standard error.
void ReportStartupError(const StartupError& error);

}  // namespace ombrix
