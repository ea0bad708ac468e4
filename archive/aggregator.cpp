#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include "archive/archive.h"

namespace ombrix {

namespace {

constexpr double kRadiansPerDegree = std::numbers::pi / 180;

// The station counts rain in tenths of a millimetre; differences of such decimal counters carry
// binary noise (12.7 - 12.2 is 0.49999999999999822), which micrometres round away long before it
// could add up to anything a rain gauge measures.
double RoundToMicrometres(double mm) {
    return std::round(mm * 1e6) / 1e6;
}

// A direction of the vector sum closer to north than this (degrees) is north: 350° and 10° add up
// to a sum whose east part is a rounding error, which atan2 may put just west of north.
constexpr double kNorthTolerance = 1e-9;

// Below this length per set the vector sum is zero up to rounding (winds from opposite
// directions); its direction would be noise.
constexpr double kZeroVectorPerSet = 1e-9;

const Quantity& Source(const StationReading& r, MeanColumn column) {
    switch (column) {
        case MeanColumn::OutTemp:
            return r.OutdoorTemperature;
        case MeanColumn::InTemp:
            return r.IndoorTemperature;
        case MeanColumn::OutHumidity:
            return r.OutdoorHumidity;
        case MeanColumn::InHumidity:
            return r.IndoorHumidity;
        case MeanColumn::Dewpoint:
            return r.OutdoorDewPoint;
        case MeanColumn::InDewpoint:
            return r.IndoorDewPoint;
        case MeanColumn::Barometer:
            return r.SeaLevelPressure;
        case MeanColumn::Pressure:
            return r.Pressure;
        case MeanColumn::Windchill:
            return r.WindChill;
        case MeanColumn::WindSpeed:
        case MeanColumn::Count:
            break;
    }
    return r.MeanSpeed;
}

bool IsValid(const Quantity& q) {
    return q.State == QuantityState::Valid;
}

std::optional<double> Mean(const RunningSum& s) {
    if (s.Count == 0) return std::nullopt;
    return s.Sum / s.Count;
}

}  // namespace

std::int64_t IntervalEnd(std::int64_t t, int intervalSeconds) {
    // Integer division truncates toward zero, which is already the ceiling for negative t.
    const std::int64_t quotient = t / intervalSeconds + (t % intervalSeconds > 0 ? 1 : 0);
    return quotient * intervalSeconds;
}

IntervalSums Merge(const IntervalSums& earlier, const IntervalSums& later) {
    IntervalSums merged = earlier;
    for (std::size_t i = 0; i < kMeanColumns; ++i) {
        merged.Means[i].Sum += later.Means[i].Sum;
        merged.Means[i].Count += later.Means[i].Count;
    }
    merged.WindEast += later.WindEast;
    merged.WindNorth += later.WindNorth;
    if (later.WindGust && (!earlier.WindGust || *later.WindGust >= *earlier.WindGust)) {
        merged.WindGust = later.WindGust;
        merged.WindGustDir = later.WindGustDir;
    }
    if (later.Rain) merged.Rain = RoundToMicrometres(earlier.Rain.value_or(0) + *later.Rain);
    if (later.RainTotal) merged.RainTotal = later.RainTotal;
    merged.SetCount += later.SetCount;
    return merged;
}

ArchiveRecord RecordOf(const IntervalSums& sums) {
    ArchiveRecord record;
    record.DateTime = sums.DateTime;
    record.Interval = sums.IntervalSeconds / 60;
    const auto mean = [&](MeanColumn c) { return Mean(sums.Means[static_cast<std::size_t>(c)]); };
    record.OutTemp = mean(MeanColumn::OutTemp);
    record.InTemp = mean(MeanColumn::InTemp);
    record.OutHumidity = mean(MeanColumn::OutHumidity);
    record.InHumidity = mean(MeanColumn::InHumidity);
    record.Dewpoint = mean(MeanColumn::Dewpoint);
    record.InDewpoint = mean(MeanColumn::InDewpoint);
    record.Barometer = mean(MeanColumn::Barometer);
    record.Pressure = mean(MeanColumn::Pressure);
    record.Windchill = mean(MeanColumn::Windchill);
    record.WindSpeed = mean(MeanColumn::WindSpeed);
    const double length = std::hypot(sums.WindEast, sums.WindNorth);
    if (length >= kZeroVectorPerSet * std::max(1, sums.SetCount)) {
        double degrees = std::atan2(sums.WindEast, sums.WindNorth) / kRadiansPerDegree;
        if (degrees < 0) degrees += 360;
        if (degrees < kNorthTolerance || 360 - degrees < kNorthTolerance) degrees = 0;
        record.WindDir = degrees;
    }
    record.WindGust = sums.WindGust;
    record.WindGustDir = sums.WindGustDir;
    record.Rain = sums.Rain;
    record.RainTotal = sums.RainTotal;
    record.SetCount = sums.SetCount;
    return record;
}

ArchiveAggregator::ArchiveAggregator(int intervalSeconds, std::optional<double> lastRainTotal)
    : interval_(intervalSeconds), previousRainTotal_(lastRainTotal) {}

std::optional<IntervalSums> ArchiveAggregator::Add(const StationReading& reading, std::int64_t t) {
    if (reading.Source != SetSource::Station) return std::nullopt;
    const std::int64_t end = IntervalEnd(t, interval_);
    std::optional<IntervalSums> finished;
    if (open_ && open_->DateTime != end) finished = std::exchange(open_, std::nullopt);
    if (!open_) {
        open_.emplace();
        open_->DateTime = end;
        open_->IntervalSeconds = interval_;
    }
    IntervalSums& sums = *open_;

    for (std::size_t i = 0; i < kMeanColumns; ++i) {
        const Quantity& q = Source(reading, static_cast<MeanColumn>(i));
        if (!IsValid(q)) continue;
        sums.Means[i].Sum += q.Value;
        ++sums.Means[i].Count;
    }
    if (IsValid(reading.MeanSpeed) && IsValid(reading.MeanDirection)) {
        const double radians = reading.MeanDirection.Value * kRadiansPerDegree;
        sums.WindEast += reading.MeanSpeed.Value * std::sin(radians);
        sums.WindNorth += reading.MeanSpeed.Value * std::cos(radians);
    }
    if (IsValid(reading.GustSpeed) &&
        (!sums.WindGust || reading.GustSpeed.Value >= *sums.WindGust)) {
        sums.WindGust = reading.GustSpeed.Value;
        sums.WindGustDir = IsValid(reading.GustDirection)
                               ? std::optional<double>(reading.GustDirection.Value)
                               : std::nullopt;
    }
    if (IsValid(reading.RainSinceReset)) {
        const double total = reading.RainSinceReset.Value;
        if (previousRainTotal_) {
            // A counter lower than before was reset at the console: nothing fell.
            const double increase = std::max(0.0, total - *previousRainTotal_);
            sums.Rain = RoundToMicrometres(sums.Rain.value_or(0) + increase);
        }
        sums.RainTotal = total;
        previousRainTotal_ = total;
    }
    ++sums.SetCount;
    return finished;
}

std::optional<IntervalSums> ArchiveAggregator::Close() {
    return std::exchange(open_, std::nullopt);
}

std::optional<std::int64_t> ArchiveAggregator::OpenEnd() const {
    if (!open_) return std::nullopt;
    return open_->DateTime;
}

}  // namespace ombrix
