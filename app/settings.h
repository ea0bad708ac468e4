// The program's settings in the per-user store: application "Ombrix", section "Optionen". A full
// set of defaults is written on first use (stored port number 0); afterwards the store is only
// read, once, at start-up.
#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "archive/archive.h"
#include "station/numeric_value.h"

namespace ombrix {

// CWOP asks its stations for no more than one report in five minutes.
constexpr int kMinimumAprsIsInterval = 300;

struct Settings {
    QString PfadWX;
    QString Lage;
    QString CallTo;
    QString CallFrom;
    QString CallDigi1;
    QString CallDigi2;
    std::int16_t CommPort = 0;
    std::int16_t AgwpePort = 0;

    // Optional keys: read when present, never written among the defaults.
    QString CommDevice;                             // a device path used instead of the port number
    QString AgwpeHost = "127.0.0.1";                // the AGWPE engine's host ...
    quint16 AgwpeTcpPort = 8000;                    // ... and TCP port
    quint16 StatusServerPort = 12345;               // the status server's port, on all interfaces
    QString ArchivePath;                            // the archive's file; empty: no archive
    int ArchiveInterval = kDefaultArchiveInterval;  // seconds, one of kArchiveIntervals

    // The outputs to the Internet: off while their host or path is empty.
    QString AprsIsHost;  // "AprsIsServer", host:port
    quint16 AprsIsPort = 14580;
    QString AprsIsPasscode = "-1";  // CWOP's stations without an amateur licence
    int AprsIsInterval = 600;       // seconds, at least kMinimumAprsIsInterval
    QString WxnowPath;              // wxnow.txt, replaced after each set
    QString MqttHost;               // the broker; empty: no MQTT
    quint16 MqttPort = 1883;
    QString MqttUser;  // sent only when set, as is the password
    QString MqttPassword;
    QString MqttTopic = "ombrix";                   // the base topic
    QString MqttDiscoveryPrefix = "homeassistant";  // empty: no Home Assistant discovery

    bool LageIsAprsPosition = true;  // "Lage" has the form of an APRS position (it is sent anyway)

    // One line each for standard error: optional keys whose value was not taken.
    QStringList Warnings;
};

// A start-up error: the runtime's error number and description, and what it concerns.
struct StartupError {
    int Number = 0;
    QString Description;
    QString Subject;
};

// The numeric value of a stored text, its characters taken as Latin-1 (see station/).
inline double NumericValue(const QString& text) {
    return NumericValue(BytesView(text.toLatin1().toStdString()));
}

// Rounded to the nearest whole number, halves to the even neighbour; nothing when the result
// does not fit 16 bits.
std::optional<std::int16_t> ToInteger16(double value);

// The directory of the raw logs when nothing is stored: the per-user data folder plus "WX/",
// absolute and ending in "/".
QString DefaultPfadWX();

// The archive's file when "ArchivePath" is missing: archive.sqlite in the per-user data folder's
// "Ombrix".
QString DefaultArchivePath();

// Reads the port number, writes the defaults when it is 0, then reads every key. False with the
// error filled in when a stored number does not fit.
bool LoadSettings(QSettings& store, Settings& out, StartupError& error);

}  // namespace ombrix
