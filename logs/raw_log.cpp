#include "logs/raw_log.h"

#include "station/errors.h"
#include "station/primitives.h"
#include "station/telegram_set.h"

namespace ombrix {

namespace {

std::string DateAndHour(const LocalTime& t) {
    return ZeroFilled(t.Year, 4) + "." + TwoDigits(t.Month) + "." + TwoDigits(t.Day) + " " +
           TwoDigits(t.Hour);
}

}  // namespace

std::string RawLogFileName(BytesView pfadWX, const LocalTime& now) {
    std::string name(pfadWX);
    name += "WX";
    name += DateAndHour(now);
    name += ".LOG";
    return name;
}

Bytes RawLogStamp(const LocalTime& now) {
    return DateAndHour(now) + ":" + TwoDigits(now.Minute) + ":" + TwoDigits(now.Second) + " ";
}

Bytes RawLogText(BytesView nibbleString, float rainHour, float rainToday, BytesView aprsText) {
    Bytes text(nibbleString);
    text += " r=" + NumberText(RoundHalfAway(rainHour));
    text += " p=" + NumberText(RoundHalfAway(rainToday));
    text += " ";
    text += aprsText;
    return text;
}

Bytes RawLogBody(BytesView text) {
    if (text.size() < kNibbleStringLength) Raise(kInvalidProcedureCall);
    Bytes body;
    body.reserve(text.size());
    for (std::size_t i = 0; i < kNibbleStringLength; ++i) {
        const unsigned code = Code(text[i]) + 48;
        if (code > 255) Raise(kInvalidProcedureCall);
        body.push_back(static_cast<char>(code));
    }
    body.append(text.substr(kNibbleStringLength));
    return body;
}

Bytes RawLogLine(BytesView text, const LocalTime& now) {
    Bytes line = RawLogStamp(now);
    line += RawLogBody(text);
    line += "\r\n";
    return line;
}

void AppendRawLog(BytesView text, BytesView pfadWX, const Clock& clock, const FileAppender& append,
                  RawLogEntry* composed) {
    const LocalTime now = clock();
    RawLogEntry entry{RawLogFileName(pfadWX, now), RawLogLine(text, now)};
    if (composed != nullptr) *composed = entry;
    if (append) append(entry.Path, entry.Line);
}

}  // namespace ombrix
