// The station's weather to an APRS-IS server, the way CWOP asks its stations to send: one short
// session per report (connect, read the server's banner, log in, wait for the login's answer, send
// the packet, close), the first with the first valid set after start-up, then one per interval,
// never a backlog: a report that did not go is not sent again; the next interval sends what is
// new. Nothing goes while the station is silent. Every step is asynchronous and has a time limit,
// so neither a dead nor a slow server ever makes the window wait.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTime>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <optional>

#include "decode/station_reading.h"
#include "report/report_stage.h"
#include "station/bytes.h"

namespace ombrix {

struct AprsIsSettings {
    QString Host;
    quint16 Port = 14580;
    Bytes Call;             // "CallFrom"
    Bytes Passcode = "-1";  // what stations without an amateur licence use on CWOP
    Bytes Lage;             // the position and symbol of the radio report
    int IntervalSeconds = 600;
    // The time limits of the connection and of each answer; the tests shorten them.
    int ConnectMs = 10000;
    int AnswerMs = 10000;
    // No upload when the last valid set is older than this.
    int SilenceMs = 5 * 60 * 1000;
};

class AprsIsUpload : public QObject {
    Q_OBJECT

  public:
    // rainOfLastDay gives the 24 hours' rain up to a UTC second from the archive, empty when it
    // does not cover them. Changes of state go to warn, one line each.
    AprsIsUpload(AprsIsSettings settings,
                 std::function<std::optional<double>(std::int64_t)> rainOfLastDay,
                 WarningSink warn = WarnOnStderr, QObject* parent = nullptr);
    ~AprsIsUpload() override;

    // A valid set of the station, decoded at UTC second utc.
    void Reading(const StationReading& reading, std::int64_t utc);
    // Abandons a session that is under way.
    void Close();

    // For the status bar: the last outcome and when.
    QString StateText() const;
    // The packet of the last session started.
    const Bytes& LastPacket() const { return packet_; }
    int Sessions() const { return sessions_; }

  signals:
    void StateChanged();

  private:
    enum class Step { Idle, Connecting, Banner, Login, Closing };

    void Upload();
    void OnReadyRead();
    void OnLine(BytesView line);
    void Finish(bool sent, const QString& why);

    AprsIsSettings settings_;
    std::function<std::optional<double>(std::int64_t)> rainOfLastDay_;
    WarningSink warn_;
    bool transmit_;

    std::optional<StationReading> latest_;
    std::int64_t latestUtc_ = 0;
    QElapsedTimer sinceReading_;
    std::optional<double> gust_;  // m/s, since the last upload
    QTimer interval_;

    QTcpSocket socket_;
    QTimer limit_;
    Step step_ = Step::Idle;
    QByteArray received_;
    Bytes packet_;
    int sessions_ = 0;

    // The outcome, for the status bar and for telling only its changes.
    std::optional<bool> sent_;
    QString why_;
    QTime lastSent_;
    QTime lastTried_;
};

}  // namespace ombrix
