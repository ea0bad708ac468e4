#include "app/settings.h"

#include <QDir>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace ombrix {

namespace {

constexpr const char* kGroup = "Optionen";
constexpr int kOverflow = 6;  // the runtime's "Overflow"

// A key that does not exist reads as the empty text. The store's file format turns an unquoted
// value with commas into a list; it is joined back as it was written.
QString ReadText(QSettings& store, const QString& key) {
    const QVariant value = store.value(key);
    if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(", ");
    return value.toString();
}

bool IsDigit(QChar c) {
    return c >= '0' && c <= '9';
}

// The power of ten of the first significant digit of a number written as digits, an optional
// point and more digits, and an optional exponent "e" with sign and digits ("120" 2, "0.05" -2,
// "7e-3" -3). Only its sign matters, so it is kept within a billion either way.
long long DecimalMagnitude(const std::string& number) {
    constexpr long long kLimit = 1000000000;
    const std::size_t e = number.find('e');
    const std::string mantissa = number.substr(0, e);
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t first = mantissa.find_first_of("123456789");
    if (first == std::string::npos) return -kLimit;  // zero
    long long magnitude = first < point ? static_cast<long long>(point - first) - 1
                                        : -static_cast<long long>(first - point);
    if (e != std::string::npos) {
        long long exponent = 0;
        std::size_t i = e + 1;
        const bool negative = i < number.size() && number[i] == '-';
        if (i < number.size() && (number[i] == '-' || number[i] == '+')) ++i;
        for (; i < number.size(); ++i)
            exponent = std::min(kLimit, exponent * 10 + (number[i] - '0'));
        magnitude += negative ? -exponent : exponent;
    }
    return magnitude;
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

}  // namespace

double NumericValue(const QString& text) {
    std::string s;  // the text without blanks, tabs and line feeds
    for (QChar c : text) {
        if (c == ' ' || c == '\t' || c == '\n') continue;
        s += c.unicode() < 128 ? static_cast<char>(c.unicode()) : '?';
    }
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    std::string number;
    bool digits = false;
    while (i < s.size() && IsDigit(QChar(s[i]))) {
        number += s[i++];
        digits = true;
    }
    if (i < s.size() && s[i] == '.') {
        number += s[i++];
        while (i < s.size() && IsDigit(QChar(s[i]))) {
            number += s[i++];
            digits = true;
        }
    }
    if (!digits) return 0.0;
    // An exponent with E or D counts only when digits follow it.
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) exponent += s[j++];
        const std::size_t firstDigit = j;
        while (j < s.size() && IsDigit(QChar(s[j]))) exponent += s[j++];
        if (j > firstDigit) number += exponent;
    }
    if (number.front() == '.') number.insert(number.begin(), '0');
    double value = 0.0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        // Too large for a number at all, or so small that it is 0 ("1e-999", but also "0.000…1"
        // with hundreds of zeros): the place of the first significant digit decides.
        value = DecimalMagnitude(number) < 0 ? 0.0 : std::numeric_limits<double>::infinity();
    }
    return negative ? -value : value;
}

std::optional<std::int16_t> ToInteger16(double value) {
    const double rounded = std::nearbyint(value);  // the default rounding: halves to even
    if (!(rounded >= -32768.0 && rounded <= 32767.0)) return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

QString DefaultPfadWX() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty()) base = QDir::homePath() + "/.local/share";
    return QDir(base).absoluteFilePath("Ombrix/WX") + "/";
}

bool LoadSettings(QSettings& store, Settings& out, StartupError& error) {
    store.beginGroup(kGroup);
    struct GroupGuard {
        QSettings& s;
        ~GroupGuard() { s.endGroup(); }
    } guard{store};

    if (!ReadInteger16(store, "CommPortOmbrix", out.CommPort, error)) return false;
    if (out.CommPort == 0) {
        const QString pfad = DefaultPfadWX();
        store.setValue("PfadWX", pfad);
        store.setValue("Lage", "0000.00N/00000.00E_");
        store.setValue("CallTo", "CQ");
        store.setValue("CallFrom", "N0CALL");
        store.setValue("CallDigi1", "Wide3-3");
        store.setValue("CallDigi2", "");
        store.setValue("CommPortOmbrix", "2");
        store.setValue("AGWPEPort", "0");
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
    return true;
}

}  // namespace ombrix
