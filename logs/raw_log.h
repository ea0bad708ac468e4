// The hourly raw telegram log: while it rains, one line per valid set with the time, the set's
// nibbles as printable characters, the two rain amounts and the report of the same set, if any.
#pragma once

#include <functional>
#include <string>

#include "station/bytes.h"
#include "station/clock.h"

namespace ombrix {

// Appends bytes to a file, creating the file and any missing directories on its path. Raises the
// runtime's file errors (RuntimeError) when it cannot.
using FileAppender = std::function<void(const std::string& path, BytesView bytes)>;

// PfadWX + "WX" + "yyyy.mm.dd hh" + ".LOG"; PfadWX as stored, so it ends with the separator.
std::string RawLogFileName(BytesView pfadWX, const LocalTime& now);

// "yyyy.mm.dd hh:mm:ss ": the time stamp at the start of every line.
constexpr std::size_t kRawLogStampLength = 20;
Bytes RawLogStamp(const LocalTime& now);

// What the decoder hands over: the nibble string, " r=" rain of the last hour, " p=" rain of the
// day (whole mm, as NumberText), " " and the report of this set or nothing.
Bytes RawLogText(BytesView nibbleString, float rainHour, float rainToday, BytesView aprsText);

// The line without its time stamp and line end: each of the first 282 characters turned into the
// printable character code + 48 ("0".."9", ":".."?"), the rest unchanged. A text shorter than 282
// characters raises "Invalid procedure call".
Bytes RawLogBody(BytesView text);

// The whole line as it goes into the file: stamp, body, CR LF.
Bytes RawLogLine(BytesView text, const LocalTime& now);

struct RawLogEntry {
    std::string Path;
    Bytes Line;
};

// Reads the clock once, so the file's hour and the line's stamp always agree, and appends the
// line to that hour's file. The composed entry goes to *composed (when given) before the append is
// tried. File errors reach the caller as RuntimeError.
void AppendRawLog(BytesView text, BytesView pfadWX, const Clock& clock, const FileAppender& append,
                  RawLogEntry* composed = nullptr);

}  // namespace ombrix
