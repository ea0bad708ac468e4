#include "mqtt/mqtt_link.h"

#include <mosquitto.h>

#include <QDeadlineTimer>
#include <QHostInfo>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "uplink/mqtt_payload.h"

namespace ombrix {

namespace {

// The broker sends a PING after this long without traffic; a second missed one ends the
// connection.
constexpr int kKeepAliveSeconds = 60;
constexpr int kQos = 1;
constexpr int kMiscMs = 1000;
// On Close the window is going away anyway; "offline" gets this long to reach the broker.
constexpr int kCloseWaitMs = 200;

std::string Utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

QString Why(int rc, int error) {
    return QString::fromLocal8Bit(rc == MOSQ_ERR_ERRNO ? std::strerror(error)
                                                       : mosquitto_strerror(rc));
}

void InitialiseLibrary() {
    [[maybe_unused]] static const int once = mosquitto_lib_init();
}

}  // namespace

MqttLink::MqttLink(MqttSettings settings, WarningSink warn, QObject* parent)
    : QObject(parent),
      settings_(std::move(settings)),
      warn_(std::move(warn)),
      base_(Utf8(settings_.Topic)),
      prefix_(Utf8(settings_.DiscoveryPrefix)),
      backoffMs_(settings_.FirstBackoffMs) {
    InitialiseLibrary();
    misc_.setInterval(kMiscMs);
    connect(&misc_, &QTimer::timeout, this, [this] { Check(mosquitto_loop_misc(mosq_)); });
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &MqttLink::Attempt);
    limit_.setSingleShot(true);
    connect(&limit_, &QTimer::timeout, this, [this] {
        Fail(QStringLiteral("keine Antwort in %1 s").arg(settings_.ConnectMs / 1000));
    });
}

MqttLink::~MqttLink() {
    Close();
}

void MqttLink::Start() {
    if (!closed_ && !mosq_ && lookup_ < 0 && !retry_.isActive()) Attempt();
}

void MqttLink::Attempt() {
    Discard();
    limit_.start(settings_.ConnectMs);
    lookup_ = QHostInfo::lookupHost(settings_.Host, this, &MqttLink::Resolved);
}

void MqttLink::Resolved(const QHostInfo& info) {
    lookup_ = -1;
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        Fail(QStringLiteral("Rechner nicht gefunden (%1)").arg(info.errorString()));
        return;
    }
    // A fresh client with a name of its own and a clean session.
    mosq_ = mosquitto_new(nullptr, true, this);
    if (!mosq_) {
        Fail(Why(MOSQ_ERR_ERRNO, errno));
        return;
    }
    mosquitto_connect_callback_set(mosq_, &MqttLink::OnConnect);
    mosquitto_publish_callback_set(mosq_, &MqttLink::OnPublish);
    mosquitto_message_callback_set(mosq_, &MqttLink::OnMessage);
    const std::string status = base_ + "/status";
    mosquitto_will_set(mosq_, status.c_str(), 7, "offline", kQos, true);
    if (!settings_.User.isEmpty()) {
        const std::string password = Utf8(settings_.Password);
        mosquitto_username_pw_set(mosq_, Utf8(settings_.User).c_str(),
                                  settings_.Password.isEmpty() ? nullptr : password.c_str());
    }
    refused_.clear();
    const int rc = mosquitto_connect_async(mosq_, Utf8(info.addresses().first().toString()).c_str(),
                                           settings_.Port, kKeepAliveSeconds);
    const int error = errno;
    if (rc != MOSQ_ERR_SUCCESS) {
        Fail(Why(rc, error));
        return;
    }
    const int fd = mosquitto_socket(mosq_);
    readable_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(readable_, &QSocketNotifier::activated, this,
            [this] { Check(mosquitto_loop_read(mosq_, 1)); });
    writable_ = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    connect(writable_, &QSocketNotifier::activated, this,
            [this] { Check(mosquitto_loop_write(mosq_, 1)); });
    misc_.start();
    Check(MOSQ_ERR_SUCCESS);
}

void MqttLink::OnConnect(mosquitto*, void* self, int rc) {
    auto* link = static_cast<MqttLink*>(self);
    if (rc == 0)
        link->Connected();
    else
        link->refused_ = QStringLiteral("Anmeldung abgewiesen (%1)")
                             .arg(QString::fromUtf8(mosquitto_connack_string(rc)));
}

void MqttLink::OnPublish(mosquitto*, void* self, int mid) {
    auto* link = static_cast<MqttLink*>(self);
    if (mid == link->offlineMid_) link->offlineTaken_ = true;
}

void MqttLink::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    const std::string_view payload(static_cast<const char*>(message->payload),
                                   static_cast<std::size_t>(message->payloadlen));
    if (payload == "online") static_cast<MqttLink*>(self)->PublishDiscovery();
}

// Inside the library's callback: what is published here goes out once the loop call returns.
void MqttLink::Connected() {
    connected_ = true;
    limit_.stop();
    backoffMs_ = settings_.FirstBackoffMs;
    why_.clear();
    Publish(base_ + "/status", "online");
    if (!prefix_.empty()) {
        mosquitto_subscribe(mosq_, nullptr, (prefix_ + "/status").c_str(), kQos);
        PublishDiscovery();
    }
    if (state_ && Publish(base_ + "/state", *state_) == MOSQ_ERR_SUCCESS)
        lastState_ = QTime::currentTime();
    Tell(QStringLiteral("verbunden mit %1:%2").arg(settings_.Host).arg(settings_.Port));
    emit StateChanged();
}

void MqttLink::Check(int rc) {
    if (!mosq_) return;
    const int error = errno;
    if (mosquitto_socket(mosq_) < 0) {
        Fail(!refused_.isEmpty()
                 ? refused_
                 : (rc != MOSQ_ERR_SUCCESS ? Why(rc, error) : QStringLiteral("getrennt")));
        return;
    }
    writable_->setEnabled(mosquitto_want_write(mosq_));
}

void MqttLink::Fail(const QString& why) {
    const bool lost = connected_;
    connected_ = false;
    limit_.stop();
    Discard();
    why_ = why;
    Tell(QStringLiteral("%1 %2:%3: %4")
             .arg(lost ? QStringLiteral("Verbindung verloren zu")
                       : QStringLiteral("keine Verbindung zu"),
                  settings_.Host)
             .arg(settings_.Port)
             .arg(why));
    if (!closed_) {
        retry_.start(backoffMs_);
        backoffMs_ = std::min(backoffMs_ * 2, settings_.MaxBackoffMs);
    }
    emit StateChanged();
}

// Never called from inside a library callback: the client goes with its socket.
void MqttLink::Discard() {
    if (lookup_ >= 0) QHostInfo::abortHostLookup(lookup_);
    lookup_ = -1;
    misc_.stop();
    // This may run in one of the notifiers' own signals.
    for (QSocketNotifier** n : {&readable_, &writable_}) {
        if (!*n) continue;
        (*n)->setEnabled(false);
        (*n)->deleteLater();
        *n = nullptr;
    }
    if (mosq_) mosquitto_destroy(mosq_);
    mosq_ = nullptr;
}

int MqttLink::Publish(const std::string& topic, const std::string& payload) {
    return mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                             payload.data(), kQos, true);
}

void MqttLink::PublishDiscovery() {
    if (!connected_ || prefix_.empty()) return;
    for (const MqttMessage& m : MqttDiscovery(prefix_, base_, OMBRIX_VERSION))
        Publish(m.Topic, m.Payload);
}

void MqttLink::Reading(const StationReading& reading, std::int64_t utc) {
    state_ = MqttState(reading, utc);
    if (!connected_) return;
    const int rc = Publish(base_ + "/state", *state_);
    if (rc == MOSQ_ERR_SUCCESS) lastState_ = QTime::currentTime();
    Check(rc);
}

void MqttLink::Close() {
    if (closed_) return;
    closed_ = true;
    retry_.stop();
    limit_.stop();
    if (connected_) {
        offlineTaken_ = false;
        const std::string status = base_ + "/status";
        if (mosquitto_publish(mosq_, &offlineMid_, status.c_str(), 7, "offline", kQos, true) ==
            MOSQ_ERR_SUCCESS)
            for (QDeadlineTimer deadline(kCloseWaitMs); !offlineTaken_ && !deadline.hasExpired();)
                if (mosquitto_loop(mosq_, static_cast<int>(deadline.remainingTime()), 1) !=
                    MOSQ_ERR_SUCCESS)
                    break;
        mosquitto_disconnect(mosq_);
    }
    connected_ = false;
    Discard();
}

void MqttLink::Tell(const QString& text) {
    if (text == told_) return;
    told_ = text;
    warn_(Utf8(QStringLiteral("Ombrix: MQTT: ") + text));
}

QString MqttLink::StateText() const {
    const QString last = lastState_.isValid() ? lastState_.toString(QStringLiteral("HH:mm:ss"))
                                              : QStringLiteral("–");
    if (connected_) return QStringLiteral("MQTT verbunden · gesendet: %1").arg(last);
    if (why_.isEmpty()) return QStringLiteral("MQTT verbindet …");
    const QString down = QStringLiteral("MQTT getrennt: %1").arg(why_);
    return lastState_.isValid() ? down + QStringLiteral(" · gesendet: ") + last : down;
}

}  // namespace ombrix
