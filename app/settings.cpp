#include "app/settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>

#include "report/report_stage.h"

namespace ombrix {

namespace {

constexpr const char* kGroup = "Optionen";
constexpr int kOverflow = 6;         // the runtime's "Overflow"
constexpr int kDefaultCommPort = 2;  // /dev/ttyS1

QString Text(std::string_view latin1) {
    return QString::fromLatin1(latin1.data(), static_cast<qsizetype>(latin1.size()));
}

// A key that does not exist reads as the empty text. The store's file format turns an unquoted
// value with commas into a list; it is joined back as it was written.
QString ReadText(QSettings& store, const QString& key) {
    const QVariant value = store.value(key);
    if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(", ");
    return value.toString();
}

StartupError Overflow(const QString& key, const QString& text) {
    return {kOverflow, QStringLiteral("Überlauf"),
            QStringLiteral("Einstellung „%1“ = „%2“").arg(key, text)};
}

// A TCP port from an optional key; the default when the key is missing or empty.
bool ReadTcpPort(QSettings& store, const QString& key, quint16& port, StartupError& error) {
    if (!store.contains(key)) return true;
    const QString text = ReadText(store, key);
    if (text.trimmed().isEmpty()) return true;
    const double value = std::nearbyint(NumericValue(text));
    if (!(value >= 1 && value <= 65535)) {
        error = {5, QStringLiteral("Ungültiger Prozeduraufruf oder ungültiges Argument"),
                 QStringLiteral("Einstellung „%1“ = „%2“ (erlaubt: 1 bis 65535)").arg(key, text)};
        return false;
    }
    port = static_cast<quint16>(value);
    return true;
}

bool ReadInteger16(QSettings& store, const QString& key, std::int16_t& out, StartupError& error) {
    const QString text = ReadText(store, key);
    const std::optional<std::int16_t> value = ToInteger16(NumericValue(text));
    if (!value) {
        error = Overflow(key, text);
        return false;
    }
    out = *value;
    return true;
}

// $XDG_DATA_HOME, else ~/.local/share.
QDir DataFolder() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty()) base = QDir::homePath() + "/.local/share";
    return QDir(base);
}

// "ArchiveInterval": one of the lengths the archive allows; anything else is said on standard
// error and leaves the default, since the archive is no reason not to start.
void ReadArchiveInterval(QSettings& store, Settings& out) {
    const QString text = ReadText(store, "ArchiveInterval");
    if (text.trimmed().isEmpty()) return;
    const double value = NumericValue(text);
    const auto allowed = std::find(kArchiveIntervals.begin(), kArchiveIntervals.end(), value);
    if (allowed != kArchiveIntervals.end()) {
        out.ArchiveInterval = *allowed;
        return;
    }
    QStringList lengths;
    for (const int seconds : kArchiveIntervals) lengths << QString::number(seconds);
    out.Warnings << QStringLiteral(
                        "Ombrix: Einstellung „ArchiveInterval“ = „%1“ ungültig (erlaubt: %2), "
                        "das Archiv nimmt %3 Sekunden.")
                        .arg(text, lengths.join(", "))
                        .arg(kDefaultArchiveInterval);
}

// "AprsIsServer" as host:port (the port may not be left out), "AprsIsPasscode" and
// "AprsIsInterval"; a server that cannot be read is said and leaves the upload off.
void ReadAprsIs(QSettings& store, Settings& out) {
    const QString server = ReadText(store, "AprsIsServer").trimmed();
    if (server.isEmpty()) return;
    const qsizetype colon = server.lastIndexOf(':');
    bool number = false;
    const uint port = colon > 0 ? server.mid(colon + 1).toUInt(&number) : 0;
    if (!number || port == 0 || port > 65535) {
        out.Warnings << QStringLiteral(
                            "Ombrix: Einstellung „AprsIsServer“ = „%1“ ist nicht Rechner:Port "
                            "(etwa „cwop.aprs.net:14580“), APRS-IS bleibt aus.")
                            .arg(server);
        return;
    }
    out.AprsIsHost = server.left(colon);
    if (out.AprsIsHost.startsWith('[') && out.AprsIsHost.endsWith(']'))  // an IPv6 address
        out.AprsIsHost = out.AprsIsHost.mid(1, out.AprsIsHost.size() - 2);
    out.AprsIsPort = static_cast<quint16>(port);
    const QString passcode = ReadText(store, "AprsIsPasscode").trimmed();
    if (!passcode.isEmpty()) out.AprsIsPasscode = passcode;
    const QString interval = ReadText(store, "AprsIsInterval").trimmed();
    if (interval.isEmpty()) return;
    const double seconds = NumericValue(interval);
    if (seconds >= kMinimumAprsIsInterval && seconds <= 86400) {
        out.AprsIsInterval = static_cast<int>(seconds);
        return;
    }
    out.AprsIsInterval = seconds > 86400 ? 86400 : kMinimumAprsIsInterval;
    out.Warnings << QStringLiteral(
                        "Ombrix: Einstellung „AprsIsInterval“ = „%1“: APRS-IS sendet alle %2 "
                        "Sekunden (CWOP bittet um höchstens einen Bericht in fünf Minuten).")
                        .arg(interval)
                        .arg(out.AprsIsInterval);
}

// The broker and what goes to it. A port that cannot be one is said and leaves MQTT off.
void ReadMqtt(QSettings& store, Settings& out) {
    out.MqttHost = ReadText(store, "MqttHost").trimmed();
    if (out.MqttHost.isEmpty()) return;
    StartupError wrong;
    if (!ReadTcpPort(store, "MqttPort", out.MqttPort, wrong)) {
        out.Warnings << QStringLiteral("Ombrix: %1, MQTT bleibt aus.").arg(wrong.Subject);
        out.MqttHost.clear();
        return;
    }
    out.MqttUser = ReadText(store, "MqttUser");
    out.MqttPassword = ReadText(store, "MqttPassword");
    if (const QString topic = ReadText(store, "MqttTopic").trimmed(); !topic.isEmpty())
        out.MqttTopic = topic;
    if (store.contains("MqttDiscoveryPrefix"))
        out.MqttDiscoveryPrefix = ReadText(store, "MqttDiscoveryPrefix").trimmed();
}

// Copies the settings file to Ombrix.conf.bak beside it, over an older copy, and says so.
void BackUp(const QString& file, const QString& port, Settings& out) {
    const QString copy = QFileInfo(file).dir().filePath("Ombrix.conf.bak");
    QFile::remove(copy);
    const QString start =
        QStringLiteral(
            "Ombrix: „CommPortOmbrix“ = „%1“, die Einstellungen werden auf die Vorgaben "
            "gesetzt; ")
            .arg(port);
    if (QFile::copy(file, copy))
        out.Warnings << start +
                            QStringLiteral("die bisherigen aus %1 stehen in %2.").arg(file, copy);
    else
        out.Warnings
            << start + QStringLiteral("%1 konnte nicht nach %2 gesichert werden.").arg(file, copy);
}

}  // namespace

std::optional<std::int16_t> ToInteger16(double value) {
    const double rounded = std::nearbyint(value);  // the default rounding: halves to even
    if (!(rounded >= -32768.0 && rounded <= 32767.0)) return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

QString DefaultPfadWX() {
    return DataFolder().absoluteFilePath("Ombrix/WX") + "/";
}

QString DefaultArchivePath() {
    return DataFolder().absoluteFilePath("Ombrix/archive.sqlite");
}

bool LoadSettings(QSettings& store, Settings& out, StartupError& error) {
    store.beginGroup(kGroup);
    struct GroupGuard {
        QSettings& s;
        ~GroupGuard() { s.endGroup(); }
    } guard{store};

    if (!ReadInteger16(store, "CommPortOmbrix", out.CommPort, error)) return false;
    if (out.CommPort == 0) {
        const std::pair<const char*, QString> defaults[] = {
            {"PfadWX", DefaultPfadWX()},
            {"Lage", Text(kDefaultLage)},
            {"CallTo", Text(kDefaultCallTo)},
            {"CallFrom", Text(kDefaultCallFrom)},
            {"CallDigi1", Text(kDefaultCallDigi1)},
            {"CallDigi2", Text(kDefaultCallDigi2)},
            {"CommPortOmbrix", QString::number(kDefaultCommPort)},
            {"AGWPEPort", QString::number(kDefaultAgwpePort)}};
        // The defaults go over every key, as on first use; a store that held settings of the
        // user's (a port typed as "COM3", say) is kept beside it first.
        const bool own = std::any_of(std::begin(defaults), std::end(defaults), [&](const auto& d) {
            return store.contains(d.first) && ReadText(store, d.first) != d.second;
        });
        if (own) BackUp(store.fileName(), ReadText(store, "CommPortOmbrix"), out);
        for (const auto& [key, value] : defaults) store.setValue(key, value);
        store.sync();
    }

    out.PfadWX = ReadText(store, "PfadWX");
    out.Lage = ReadText(store, "Lage");
    out.CallTo = ReadText(store, "CallTo");
    out.CallFrom = ReadText(store, "CallFrom");
    out.CallDigi1 = ReadText(store, "CallDigi1");
    out.CallDigi2 = ReadText(store, "CallDigi2");
    if (!ReadInteger16(store, "CommPortOmbrix", out.CommPort, error)) return false;
    if (!ReadInteger16(store, "AGWPEPort", out.AgwpePort, error)) return false;

    out.CommDevice = ReadText(store, "CommDevice");
    const QString host = ReadText(store, "AGWPEHost").trimmed();
    if (!host.isEmpty()) out.AgwpeHost = host;
    if (!ReadTcpPort(store, "AGWPETcpPort", out.AgwpeTcpPort, error)) return false;
    if (!ReadTcpPort(store, "StatusServerPort", out.StatusServerPort, error)) return false;
    // APRS's uncompressed position: latitude DDMM.mm with N or S, the symbol table ("/", "\\" or
    // an overlay), longitude DDDMM.mm with E or W, the symbol; blanks for position ambiguity. A
    // "Lage" of another form is still sent as the user wrote it.
    static const QRegularExpression aprsPosition(
        "^[0-9 ]{4}\\.[0-9 ]{2}[NS][/\\\\0-9A-Z][0-9 ]{5}\\.[0-9 ]{2}[EW][!-~]$");
    out.LageIsAprsPosition = aprsPosition.match(out.Lage).hasMatch();
    if (!out.LageIsAprsPosition)
        out.Warnings << QStringLiteral(
                            "Ombrix: Einstellung „Lage“ = „%1“ ist keine APRS-Position wie "
                            "„4903.50N/00831.20E_“; sie wird gesendet, wie sie steht.")
                            .arg(out.Lage);
    out.ArchivePath =
        store.contains("ArchivePath") ? ReadText(store, "ArchivePath") : DefaultArchivePath();
    ReadArchiveInterval(store, out);
    ReadAprsIs(store, out);
    out.WxnowPath = ReadText(store, "WxnowPath").trimmed();
    ReadMqtt(store, out);
    return true;
}

}  // namespace ombrix
