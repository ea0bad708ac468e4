#include "pipeline/weather_logger.h"

#include "station/primitives.h"

namespace ombrix {

void WeatherLogger::FrameRecorder::WriteAgwFrame(const Bytes& wire) {
    *last_ = wire;
    if (next_ != nullptr) next_->WriteAgwFrame(wire);
}

WeatherLogger::WeatherLogger(LoggerSettings settings, Clock clock, FrameSink* frames,
                             FileAppender rawLog, Decoder::ErrorSink errorLog, WarningSink warn)
    : settings_(std::move(settings)),
      clock_(std::move(clock)),
      rawLog_(std::move(rawLog)),
      frames_(frames, &last_.Frame),
      report_(static_cast<const ReportSettings&>(settings_), &frames_, std::move(warn)),
      decoder_(settings_.DecimalSeparator, clock_, std::move(errorLog)) {
    decoder_.AddStage([this](DecodeCall& call) { last_.Reading = call.Reading; });
    decoder_.AddStage([this](DecodeCall& call) {
        const ReportStage::Outcome outcome = report_.Run(call);
        last_.StatusComposed = outcome.StatusComposed;
        last_.AprsText = call.AprsText;
    });
    decoder_.AddStage([this](DecodeCall& call) { RawLogStep(call); });
    decoder_.AddStage([this](DecodeCall& call) { ArchiveStep(call); });
}

void WeatherLogger::StartArchive(ArchiveSink* sink, UtcClock utc, int intervalSeconds,
                                 std::optional<double> lastRainTotal) {
    archiveSink_ = sink;
    utc_ = std::move(utc);
    archive_.emplace(intervalSeconds, lastRainTotal);
}

void WeatherLogger::ArchiveStep(const DecodeCall& call) {
    if (!archive_ || call.Reading.Source != SetSource::Station) return;
    if (const std::optional<IntervalSums> done = archive_->Add(call.Reading, utc_()))
        archiveSink_->WriteInterval(*done);
}

void WeatherLogger::CloseArchiveInterval() {
    if (!archive_) return;
    if (const std::optional<IntervalSums> done = archive_->Close())
        archiveSink_->WriteInterval(*done);
}

std::optional<std::int64_t> WeatherLogger::OpenArchiveIntervalEnd() const {
    return archive_ ? archive_->OpenEnd() : std::nullopt;
}

void WeatherLogger::RawLogStep(DecodeCall& c) {
    // Only while it rains: rain of the last hour plus rain of the day above 0.
    c.Do([&] {
        const float rainHour = c.Slots[Slot::RainHour].Value;
        const float rainToday = c.Slots[Slot::RainToday].Value;
        if (!(rainHour + rainToday > 0.0F)) return;
        AppendRawLog(RawLogText(c.NibbleString, rainHour, rainToday, c.AprsText), settings_.PfadWX,
                     clock_, rawLog_, &last_.RawLog);
    });
}

SetOutcome WeatherLogger::DecodeTelegramSet(BytesView set, SetSource source) {
    last_ = CallOutputs{};
    return decoder_.DecodeTelegramSet(set, source);
}

}  // namespace ombrix
