#include "report/weather_logger.h"

namespace ombrix {

WeatherLogger::WeatherLogger(LoggerSettings settings, Clock clock, FrameSink* frames,
                             FileAppender rawLog, Decoder::ErrorSink errorLog)
    : settings_(std::move(settings)),
      clock_(std::move(clock)),
      frames_(frames),
      rawLog_(std::move(rawLog)),
      decoder_(settings_.DecimalSeparator, clock_, std::move(errorLog)) {}

SetOutcome WeatherLogger::DecodeTelegramSet(BytesView set) { return decoder_.DecodeTelegramSet(set); }

}  // namespace ombrix
