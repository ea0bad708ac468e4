#include "uplink/aprs_is.h"

#include <algorithm>

#include "report/aprs_fields.h"
#include "station/primitives.h"

namespace ombrix {

namespace {

constexpr std::int64_t kDay = 86400;
constexpr int kMostIntervalsMissing = 3;

std::optional<double> Valid(const Quantity& q) {
    if (q.State != QuantityState::Valid) return std::nullopt;
    return q.Value;
}

// The field, or as many dots as it is wide.
Bytes Field(const std::optional<double>& value, Bytes (*field)(double), std::size_t width) {
    return value ? field(*value) : Bytes(width, '.');
}

double Mph(double metresPerSecond) {
    return metresPerSecond * kKmhPerMetrePerSecond / kKmhPerMph;
}

double HundredthsOfAnInch(double mm) {
    return mm * 100 / kMmPerInch;
}

}  // namespace

UploadValues UploadValuesOf(const StationReading& latest, std::optional<double> gust,
                            std::optional<double> rainDay) {
    UploadValues v;
    v.Direction = Valid(latest.MeanDirection);
    v.MeanSpeed = Valid(latest.MeanSpeed);
    v.Gust = gust;
    v.Temperature = Valid(latest.OutdoorTemperature);
    v.RainHour = Valid(latest.RainHour);
    v.RainDay = rainDay;
    v.RainToday = Valid(latest.RainToday);
    v.Humidity = Valid(latest.OutdoorHumidity);
    v.Pressure = Valid(latest.SeaLevelPressure);
    return v;
}

Bytes UploadWeatherFields(const UploadValues& v) {
    const std::optional<double> direction =
        v.Direction && *v.Direction <= 360 ? v.Direction : std::nullopt;
    const auto times = [](const std::optional<double>& x, double (*unit)(double)) {
        return x ? std::optional<double>(unit(*x)) : std::nullopt;
    };
    Bytes text = Field(direction, AprsField3, 3);
    text += "/" + Field(times(v.MeanSpeed, Mph), AprsField3, 3);
    text += "g" + Field(times(v.Gust, Mph), AprsField3, 3);
    text += "t" + Field(times(v.Temperature, Fahrenheit), AprsTemperatureField, 3);
    text += "r" + Field(times(v.RainHour, HundredthsOfAnInch), AprsField3, 3);
    text += "p" + Field(times(v.RainDay, HundredthsOfAnInch), AprsField3, 3);
    text += "P" + Field(times(v.RainToday, HundredthsOfAnInch), AprsField3, 3);
    text += "h" + Field(v.Humidity, AprsHumidityField, 2);
    text += "b" + Field(v.Pressure, AprsPressureField, 5);
    return text;
}

Bytes AprsIsPacket(BytesView call, BytesView lage, std::int64_t utc, const UploadValues& v) {
    const LocalTime stamp = UtcTimeAt(utc);
    Bytes packet(call);
    packet += ">APRS,TCPIP*:@";
    packet += TwoDigits(stamp.Day) + TwoDigits(stamp.Hour) + TwoDigits(stamp.Minute) + "z";
    packet += lage;
    packet += UploadWeatherFields(v);
    return packet;
}

Bytes AprsIsLogin(BytesView call, BytesView passcode, std::string_view version) {
    Bytes line = "user ";
    line += call;
    line += " pass ";
    line += passcode;
    line += " vers Ombrix ";
    line += version;
    line += "\r\n";
    return line;
}

ServerLine ClassifyServerLine(BytesView line) {
    if (line.empty() || line[0] != '#') return ServerLine::Other;
    constexpr BytesView kLogresp = "# logresp ";
    if (line.substr(0, kLogresp.size()) != kLogresp) return ServerLine::Comment;
    // "# logresp CALL verified, server NAME" or "unverified, server NAME"; a refused login reads
    // otherwise ("# logresp CALL unverified" is how -1 is accepted for sending).
    const BytesView rest = line.substr(kLogresp.size());
    const std::size_t blank = rest.find(' ');
    if (blank == BytesView::npos) return ServerLine::Comment;
    const BytesView verdict = rest.substr(blank + 1);
    return verdict.substr(0, 8) == "verified" || verdict.substr(0, 10) == "unverified"
               ? ServerLine::LoginAccepted
               : ServerLine::Comment;
}

std::optional<double> RainOfLastDay(const std::vector<ArchiveRecord>& records, std::int64_t now) {
    std::vector<const ArchiveRecord*> day;
    for (const ArchiveRecord& r : records)
        if (r.DateTime > now - kDay && r.DateTime <= now && r.Rain) day.push_back(&r);
    if (day.empty()) return std::nullopt;
    std::sort(day.begin(), day.end(), [](const ArchiveRecord* a, const ArchiveRecord* b) {
        return a->DateTime < b->DateTime;
    });
    // Covered from the start of each record's interval to its end.
    double sum = 0;
    std::int64_t coveredTo = now - kDay;
    for (const ArchiveRecord* r : day) {
        const std::int64_t length = std::int64_t{r->Interval} * 60;
        if (r->DateTime - length - coveredTo > kMostIntervalsMissing * length) return std::nullopt;
        coveredTo = r->DateTime;
        sum += *r->Rain;
    }
    const std::int64_t length = std::int64_t{day.back()->Interval} * 60;
    if (now - coveredTo > kMostIntervalsMissing * length) return std::nullopt;
    return sum;
}

Bytes WxnowText(const LocalTime& local, const UploadValues& v) {
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    Bytes text = kMonths[std::clamp(local.Month, 1, 12) - 1];
    text += " " + TwoDigits(local.Day) + " " + ZeroFilled(local.Year, 4) + " ";
    text += TwoDigits(local.Hour) + ":" + TwoDigits(local.Minute) + "\r\n";
    text += UploadWeatherFields(v) + "\r\n";
    return text;
}

}  // namespace ombrix
