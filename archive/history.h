// What the history window draws, computed from the archive: the range a view covers, the buckets
// the database gathers the records into, and the series built from them, with a break wherever
// records are missing. Pure C++: the query lives in database/, the charts in history/. Times are
// UTC seconds; local days come from the zone's rules (station/clock), so a day may have 23 or 25
// hours.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "archive/archive.h"

namespace ombrix {

// "24 Stunden", "7 Tage", "30 Tage", "1 Jahr".
enum class HistorySpan { Day, Week, Month, Year };

// How records are gathered: one point per record, per clock hour, or per local day.
enum class BucketSize { Record, Hour, Day };

// Never more than this many points in a series: a week of five-minute records.
constexpr int kMaxSeriesPoints = 2016;

struct HistoryRange {
    std::int64_t From = 0;  // the range is (From, To]
    std::int64_t To = 0;
    BucketSize Size = BucketSize::Record;
    bool operator==(const HistoryRange&) const = default;
};

// The range of `span` ending at `to`; `steps` ranges back (negative) or forward. The bucket size is
// the finest that keeps the range within kMaxSeriesPoints for records of `intervalSeconds`.
HistoryRange RangeOf(HistorySpan span, std::int64_t to, int intervalSeconds, int steps = 0);

// One bucket as the database returns it: the means of its records, the extremes where a mean is
// not enough, the rain summed. For BucketSize::Record one bucket is one record.
struct HistoryBucket {
    std::int64_t Start = 0;  // the bucket covers (Start, End]
    std::int64_t End = 0;
    int Records = 0;
    std::optional<double> OutTemp, OutTempMin, OutTempMax, Dewpoint, Windchill, InTemp;
    std::optional<double> OutHumidity, InHumidity, Barometer;
    std::optional<double> WindSpeed, WindGust;  // m/s: mean, highest
    std::optional<double> WindDir;              // degrees, the direction of the mean wind vector
    // The sums of the records' wind vectors (speed times the unit vector the wind comes from),
    // m/s, from which WindDir follows and by which buckets merge.
    double WindEast = 0, WindNorth = 0;
    std::optional<double> Rain;  // mm, summed
    bool operator==(const HistoryBucket&) const = default;
};

// The hour or local day, as (start, end], that the interval ending at UTC second t falls in.
std::pair<std::int64_t, std::int64_t> BucketBounds(std::int64_t t, BucketSize size);

// The direction in [0, 360) that a sum of wind vectors points to; empty for the zero vector.
std::optional<double> DirectionOf(double east, double north);

// The bucket of a single record, for records that arrive while a view is shown.
HistoryBucket BucketOf(const ArchiveRecord& record);

struct ChartPoint {
    std::int64_t Time = 0;  // UTC seconds: the record's time, or the middle of a bucket
    double Value = 0;
    bool operator==(const ChartPoint&) const = default;
};

// A line that breaks between its segments: no line crosses a gap.
using Segments = std::vector<std::vector<ChartPoint>>;

struct RainBar {
    std::int64_t Start = 0;  // a clock hour (24 hours, 7 days) or a local day (30 days, a year)
    std::int64_t End = 0;
    double Millimetres = 0;
    bool operator==(const RainBar&) const = default;
};

struct HistoryView {
    HistoryRange Range;
    bool Empty = true;                              // no bucket in the range
    Segments OutTemp, Dewpoint, Windchill, InTemp;  // °C
    Segments OutTempMin, OutTempMax;                // the band, for Hour and Day buckets
    Segments OutHumidity, InHumidity;               // %
    Segments Barometer;                             // mb
    Segments WindSpeed, WindGust;                   // km/h, as the table shows them
    std::vector<ChartPoint> WindDir;                // degrees, dots
    std::vector<RainBar> Rain;                      // mm per hour or per day
    Segments RainTotal;                             // mm, running total of the range
    std::vector<HistoryBucket> Buckets;             // what the series were built from
};

// The series of `buckets` (ascending, within `range`). A line breaks where neighbouring points are
// more than one and a half bucket lengths apart (for records: intervals of `intervalSeconds`).
HistoryView BuildHistory(const std::vector<HistoryBucket>& buckets, const HistoryRange& range,
                         int intervalSeconds);

// Adds a new record to a view whose range ends now: the range moves on to the record's time,
// the record joins the last bucket when it falls into its hour or local day, and what leaves the
// range goes.
void AppendToHistory(HistoryView& view, const ArchiveRecord& record, int intervalSeconds);

}  // namespace ombrix
