// The whole road of one telegram set through the core: decoding into the table, the report stage
// (gust maximum, direction average, counter, status line, APRS report and its frame), the
// raw-log step and, when it is started, the archive stage. The window owns one WeatherLogger for
// the whole run.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "archive/archive.h"
#include "decode/decoder.h"
#include "logs/raw_log.h"
#include "report/agwpe.h"
#include "report/report_stage.h"
#include "station/bytes.h"
#include "station/clock.h"

namespace ombrix {

// The report's settings (position, calls, radio port) and what the rest of the road needs.
struct LoggerSettings : ReportSettings {
    std::string DecimalSeparator = ".";
    Bytes PfadWX;  // directory of the raw logs, ending in "/"
};

// What the last DecodeTelegramSet call produced besides the table; empty parts were not composed.
struct CallOutputs {
    bool StatusComposed = false;
    Bytes AprsText;      // the report, when this set was a report set
    Bytes Frame;         // 36-byte AGWPE header and AX.25 frame, when one was sent
    RawLogEntry RawLog;  // file and full line (stamp, body, CR LF), when a line was due
    std::optional<StationReading> Reading;  // the set's readings, when the set was valid
};

class WeatherLogger {
  public:
    // frames may be null (no engine); rawLog must create missing directories on the path, as
    // AppendToFileCreatingDirectories does; warn receives the one line that says why reports are
    // not sent when no callsign is set.
    WeatherLogger(LoggerSettings settings, Clock clock, FrameSink* frames, FileAppender rawLog,
                  Decoder::ErrorSink errorLog, WarningSink warn = WarnOnStderr);
    WeatherLogger(const WeatherLogger&) = delete;
    WeatherLogger& operator=(const WeatherLogger&) = delete;

    SetOutcome DecodeTelegramSet(BytesView set, SetSource source = SetSource::Station);

    const MeasurementTable& Table() const { return decoder_.Table(); }
    // The last status line; empty until the first one is composed.
    const Bytes& StatusText() const { return report_.StatusText(); }
    // "Zähler=0": the next valid set restarts the cycle and sends a report.
    void ResetCounter() { report_.ResetCounter(); }

    // The archive stage: from now on the station's valid sets are gathered into intervals of
    // intervalSeconds, timed by utc, and each finished interval goes to sink.
    void StartArchive(ArchiveSink* sink, UtcClock utc, int intervalSeconds,
                      std::optional<double> lastRainTotal);
    // Writes the open interval (its timer ran out, the program ends, the input ended).
    void CloseArchiveInterval();
    // The end of the open interval (UTC seconds), when the archive stage has one.
    std::optional<std::int64_t> OpenArchiveIntervalEnd() const;

    const CallOutputs& LastCall() const { return last_; }
    const ReportStage& Report() const { return report_; }
    const LoggerSettings& Settings() const { return settings_; }

  private:
    // Passes frames on to the real sink and keeps the last one for LastCall().
    class FrameRecorder : public FrameSink {
      public:
        explicit FrameRecorder(FrameSink* next, Bytes* last) : next_(next), last_(last) {}
        void WriteAgwFrame(const Bytes& wire) override;

      private:
        FrameSink* next_;
        Bytes* last_;
    };

    void RawLogStep(DecodeCall& call);
    void ArchiveStep(const DecodeCall& call);

    LoggerSettings settings_;
    Clock clock_;
    FileAppender rawLog_;
    CallOutputs last_;
    FrameRecorder frames_;
    ArchiveSink* archiveSink_ = nullptr;
    UtcClock utc_;
    std::optional<ArchiveAggregator> archive_;
    ReportStage report_;
    Decoder decoder_;
};

}  // namespace ombrix
