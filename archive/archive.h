// The archive's arithmetic: which interval a station set belongs to, what an interval's sets add
// up to, and the record that the database keeps for it. The table's columns and units follow
// weewx's archive table with its METRICWX units (°C, mbar, mm, m/s), so that a history can move
// between the two programs. Pure C++: the database lives in database/, the timer in the shell.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "decode/station_reading.h"

namespace ombrix {

// weewx's unit system METRICWX.
constexpr int kArchiveUsUnits = 17;
// The interval lengths the setting "ArchiveInterval" allows, in seconds; the default is 300.
constexpr std::array<int, 7> kArchiveIntervals = {60, 120, 300, 600, 900, 1800, 3600};
constexpr int kDefaultArchiveInterval = 300;

// The end of the interval a set at UTC second t belongs to: E = ceil(t / I) * I. The interval
// covers (E - I, E]; a set exactly at E belongs to it.
std::int64_t IntervalEnd(std::int64_t t, int intervalSeconds);

// The columns that hold the mean of the interval's valid values, in the table's order.
enum class MeanColumn {
    OutTemp,
    InTemp,
    OutHumidity,
    InHumidity,
    Dewpoint,
    InDewpoint,
    Barometer,  // "Luftdruck NN"
    Pressure,   // "Luftdruck"
    Windchill,  // "gefühlte Temp."
    WindSpeed,  // "Wind Mittel", m/s
    Count
};
constexpr std::size_t kMeanColumns = static_cast<std::size_t>(MeanColumn::Count);

struct RunningSum {
    double Sum = 0;
    int Count = 0;
    bool operator==(const RunningSum&) const = default;
};

// What the sets of one interval add up to, kept exact so that two parts of one interval (before
// and after a restart, or when the clock went back) merge into the record one pass would give.
struct IntervalSums {
    std::int64_t DateTime = 0;  // end of the interval, UTC seconds since 1970
    int IntervalSeconds = kDefaultArchiveInterval;
    std::array<RunningSum, kMeanColumns> Means{};
    // Sum of the mean-wind vectors, speed times the unit vector of the direction the wind comes
    // from: East = speed * sin(direction), North = speed * cos(direction), m/s.
    double WindEast = 0;
    double WindNorth = 0;
    std::optional<double> WindGust;     // highest "Wind Spitzen", m/s
    std::optional<double> WindGustDir;  // its direction, degrees; on a tie the later set's
    std::optional<double> Rain;         // mm; empty when no set had a counter to compare with
    std::optional<double> RainTotal;    // "Regen seit Reset" of the interval's last set that had it
    int SetCount = 0;                   // station sets in the interval

    bool operator==(const IntervalSums&) const = default;
};

// `later` holds sets decoded after those of `earlier`, for the same DateTime: their sums, the
// higher gust (the later one's on a tie), the later RainTotal when it has one.
IntervalSums Merge(const IntervalSums& earlier, const IntervalSums& later);

// One row of table `archive`; empty optionals are NULL.
struct ArchiveRecord {
    std::int64_t DateTime = 0;
    int UsUnits = kArchiveUsUnits;
    int Interval = 5;  // minutes
    std::optional<double> OutTemp, InTemp, OutHumidity, InHumidity, Dewpoint, InDewpoint;
    std::optional<double> Barometer, Pressure;
    std::optional<double> WindSpeed, WindDir, WindGust, WindGustDir;
    std::optional<double> Windchill;
    std::optional<double> Rain;
    std::optional<double> RainTotal;
    int SetCount = 0;

    bool operator==(const ArchiveRecord&) const = default;
};

// The means, the vector mean's direction in [0, 360) (empty when the vector sum is zero) and the
// rest as they are.
ArchiveRecord RecordOf(const IntervalSums& sums);

// Where finished intervals go: the database in the program, a file in ombrix-decode, a list in
// tests.
class ArchiveSink {
  public:
    virtual ~ArchiveSink() = default;
    virtual void WriteInterval(const IntervalSums& sums) = 0;
};

// Gathers the station's sets into intervals. The caller passes the time of each set (the system
// clock when it was decoded, UTC) and writes what comes back.
class ArchiveAggregator {
  public:
    // lastRainTotal: the archive's newest record's RainTotal, so that rain that fell while
    // Ombrix was not running is counted once, in the first record after the restart.
    explicit ArchiveAggregator(int intervalSeconds = kDefaultArchiveInterval,
                               std::optional<double> lastRainTotal = std::nullopt);

    // Adds a set of the station (sets of the "Testwerte" button are ignored) decoded at UTC second
    // t. When t belongs to another interval than the open one (a later one, or an earlier one when
    // the clock went back), the open interval is finished and returned, and t opens the next.
    std::optional<IntervalSums> Add(const StationReading& reading, std::int64_t t);

    // Finishes the open interval (its timer ran out, the program ends, the input ended); empty
    // when no set is open.
    std::optional<IntervalSums> Close();

    // The end of the open interval, when one is open.
    std::optional<std::int64_t> OpenEnd() const;
    int IntervalSeconds() const { return interval_; }

  private:
    int interval_;
    std::optional<double> previousRainTotal_;
    std::optional<IntervalSums> open_;
};

}  // namespace ombrix
