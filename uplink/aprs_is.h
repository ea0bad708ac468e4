// The station's weather for the Internet side of APRS: the report that goes to an APRS-IS server
// (CWOP's stations among them), the login line that precedes it, and the two lines of wxnow.txt
// that APRS programs read. Pure C++; the session with the server lives in aprsis/.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "archive/archive.h"
#include "decode/station_reading.h"
#include "station/bytes.h"
#include "station/clock.h"

namespace ombrix {

// One upload's values in the station's units; an empty one goes as dots of its field's width,
// APRS's "unknown".
struct UploadValues {
    std::optional<double> Direction;    // degrees, the latest "Wind Mittel"
    std::optional<double> MeanSpeed;    // m/s
    std::optional<double> Gust;         // m/s, the highest "Wind Spitzen" since the last upload
    std::optional<double> Temperature;  // °C
    std::optional<double> RainHour;     // mm
    std::optional<double> RainDay;      // mm, the last 24 hours
    std::optional<double> RainToday;    // mm, since midnight
    std::optional<double> Humidity;     // %
    std::optional<double> Pressure;     // mb, sea level
};

// The latest set's values; only valid quantities are taken (not flagged out of range, decoded).
UploadValues UploadValuesOf(const StationReading& latest, std::optional<double> gust,
                            std::optional<double> rainDay);

// `ddd/sssgGGGtTTTrRRRpPPPPPPPhHHbBBBBB`, with the radio report's units, widths, clamps and
// rounding; a direction above 360 is unknown, as on the radio.
Bytes UploadWeatherFields(const UploadValues& v);

// `CALL>APRS,TCPIP*:@DDHHMMz` (UTC day, hour and minute of `utc`), the position, the fields.
Bytes AprsIsPacket(BytesView call, BytesView lage, std::int64_t utc, const UploadValues& v);

// "user CALL pass PASSCODE vers Ombrix VERSION" and CR LF.
Bytes AprsIsLogin(BytesView call, BytesView passcode, std::string_view version);

// A server line without its line end: the answer to the login is "# logresp CALL verified, ..."
// or "unverified, ..." (what a passcode of -1 gets, as CWOP expects); other lines that begin with
// "#" are comments such as the banner.
enum class ServerLine { Comment, LoginAccepted, Other };
ServerLine ClassifyServerLine(BytesView line);

// The rain of the 24 hours up to `now`, summed from the archive's records (any order); empty when
// they do not cover those hours without a gap longer than three intervals.
std::optional<double> RainOfLastDay(const std::vector<ArchiveRecord>& records, std::int64_t now);

// wxnow.txt: the local date and time as "Dec 06 2026 22:52" (English months, whatever the
// locale), then the weather fields; CR LF after each.
Bytes WxnowText(const LocalTime& local, const UploadValues& v);

}  // namespace ombrix
