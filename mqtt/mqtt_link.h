// The station's readings to an MQTT broker (Home Assistant's, usually), with Home Assistant's
// discovery configs.
//
// libmosquitto runs on the window's own thread: its socket is watched by two QSocketNotifiers
// (readable always, writable only while the library has bytes waiting) and a one-second timer
// calls mosquitto_loop_misc for the keep-alive. A network thread of libmosquitto's own would need
// every callback queued over to the window and the latest state guarded by a lock; here the
// callbacks run inside the loop calls, on the window's thread, and every loop call returns at
// once since the socket is non-blocking. The one blocking step, resolving a host name, is left to
// QHostInfo, which resolves in the background; libmosquitto is given the address.
//
// Each connection attempt takes a fresh client: whatever the old one still held (messages that
// were not acknowledged) is dropped, so after a reconnection the broker gets the latest state
// only, never a backlog. An attempt that has no answer within ConnectMs is given up; attempts
// back off from 1 s to 60 s, for a broker that is down as for one that refuses the login.
//
// Topics: <base>/state (retained, QoS 1) with every valid set of the station; <base>/status
// "online" (retained) once connected, "offline" as the retained last will and on Close; the
// discovery configs under <prefix>/ once connected and again whenever <prefix>/status says
// "online" (Home Assistant has started again).
#pragma once

#include <QObject>
#include <QString>
#include <QTime>
#include <QTimer>
#include <cstdint>
#include <optional>
#include <string>

#include "decode/station_reading.h"
#include "report/report_stage.h"

struct mosquitto;
struct mosquitto_message;
class QHostInfo;
class QSocketNotifier;

namespace ombrix {

struct MqttSettings {
    QString Host;
    quint16 Port = 1883;
    QString User;      // sent only when set, the password with it
    QString Password;  // sent only when set
    QString Topic = QStringLiteral("ombrix");
    QString DiscoveryPrefix = QStringLiteral("homeassistant");  // empty: no discovery
    // The back-off's bounds and an attempt's time limit; the tests shorten them.
    int FirstBackoffMs = 1000;
    int MaxBackoffMs = 60000;
    int ConnectMs = 10000;
};

class MqttLink : public QObject {
    Q_OBJECT

  public:
    // Each change of state goes to warn as one line.
    explicit MqttLink(MqttSettings settings, WarningSink warn = WarnOnStderr,
                      QObject* parent = nullptr);
    ~MqttLink() override;

    // Starts connecting in the background.
    void Start();
    // A valid set of the station, decoded at UTC second utc.
    void Reading(const StationReading& reading, std::int64_t utc);
    // Says "offline", waiting at most 200 ms for the broker to take it, and disconnects.
    void Close();

    bool IsConnected() const { return connected_; }
    // For the status bar: connected or not, the last state published, why it is not connected.
    QString StateText() const;

  signals:
    void StateChanged();

  private:
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnPublish(mosquitto*, void* self, int mid);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);

    void Attempt();
    void Resolved(const QHostInfo& info);
    void Connected();
    // After every call into the library: a closed socket is a failed attempt or a lost
    // connection; the writable notifier follows what waits to be written.
    void Check(int rc);
    void Fail(const QString& why);
    void Discard();
    int Publish(const std::string& topic, const std::string& payload);
    void PublishDiscovery();
    void Tell(const QString& text);

    MqttSettings settings_;
    WarningSink warn_;
    std::string base_;
    std::string prefix_;
    mosquitto* mosq_ = nullptr;
    QSocketNotifier* readable_ = nullptr;
    QSocketNotifier* writable_ = nullptr;
    QTimer misc_;
    QTimer retry_;
    QTimer limit_;
    int lookup_ = -1;
    int backoffMs_;
    bool connected_ = false;
    bool closed_ = false;
    QString refused_;  // the broker's answer to the login, when it refused it
    int offlineMid_ = -1;
    bool offlineTaken_ = false;
    std::optional<std::string> state_;  // the latest state, published once connected
    QTime lastState_;                   // when a state last went to the broker
    QString why_;                       // why it is not connected; empty before the first failure
    QString told_;
};

}  // namespace ombrix
