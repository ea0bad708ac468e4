// The whole road of one telegram set through the core: decoding into the table, the report stage
// (gust maximum, direction average, counter, status line, APRS report and its frame) and the
// raw-log step. The window owns one WeatherLogger for the whole run.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "decode/decoder.h"
#include "station/bytes.h"
#include "station/clock.h"

namespace ombrix {

// Where AGWPE frames go: 36-byte header and data, written in one piece. Errors are the sink's own
// business; the core never hears of them.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void WriteAgwFrame(const Bytes& wire) = 0;
};

// Appends bytes to a file; raises the runtime's file errors (RuntimeError) when it cannot.
using FileAppender = std::function<void(const std::string& path, BytesView bytes)>;

struct LoggerSettings {
    std::string DecimalSeparator = ".";
    Bytes PfadWX;                        // directory of the raw logs, ending in "/"
    Bytes Lage = "0000.00N/00000.00E_";  // APRS position and symbol
    // Destination, source, two digipeaters, the empty end marker and one unused entry.
    std::array<Bytes, 6> AddressCalls{"CQ", "N0CALL", "Wide3-3", "", "", ""};
    std::int16_t AgwpePort = 0;
};

class WeatherLogger {
public:
    WeatherLogger(LoggerSettings settings, Clock clock, FrameSink* frames, FileAppender rawLog,
                  Decoder::ErrorSink errorLog);

    SetOutcome DecodeTelegramSet(BytesView set);

    const MeasurementTable& Table() const { return decoder_.Table(); }
    // The last status line; empty until the first one is composed.
    const Bytes& StatusText() const { return statusText_; }
    // "Zähler=0": the next valid set restarts the cycle and sends a report.
    void ResetCounter() { counter_ = 0; }

private:
    LoggerSettings settings_;
    Clock clock_;
    FrameSink* frames_;
    FileAppender rawLog_;
    Decoder decoder_;
    std::int16_t counter_ = 0;
    Bytes statusText_;
};

}  // namespace ombrix
