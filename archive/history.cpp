#include "archive/history.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "station/clock.h"

namespace ombrix {

namespace {

constexpr std::int64_t kHour = 3600;
constexpr std::int64_t kDay = 86400;
// Ranges up to a week show the rain per hour, longer ones per day.
constexpr std::int64_t kHourlyRainUpTo = 7 * kDay;

std::int64_t SpanSeconds(HistorySpan span) {
    switch (span) {
        case HistorySpan::Day:
            return kDay;
        case HistorySpan::Week:
            return 7 * kDay;
        case HistorySpan::Month:
            return 30 * kDay;
        case HistorySpan::Year:
            return 365 * kDay;
    }
    return kDay;
}

// The local day that UTC second t falls in, as (start, end].
std::pair<std::int64_t, std::int64_t> LocalDayOf(std::int64_t t) {
    LocalTime day = LocalTimeAt(t - 1);
    day.Hour = day.Minute = day.Second = 0;
    const std::int64_t start = UtcAtLocalTime(day);
    ++day.Day;
    return {start, UtcAtLocalTime(day)};
}

// Adds a point to a line, starting a new segment after a gap.
void Add(Segments& line, std::int64_t t, const std::optional<double>& value, std::int64_t gap,
         double factor = 1) {
    if (!value) return;
    if (line.empty() || t - line.back().back().Time > gap) line.emplace_back();
    line.back().push_back({t, *value * factor});
}

std::optional<double> Sum(const std::optional<double>& a, const std::optional<double>& b) {
    if (!a) return b;
    if (!b) return a;
    return *a + *b;
}

// The mean of a and b weighted by their counts; either may be missing.
std::optional<double> Mean(const std::optional<double>& a, int na, const std::optional<double>& b,
                           int nb) {
    if (!a) return b;
    if (!b) return a;
    return (*a * na + *b * nb) / (na + nb);
}

std::optional<double> Extreme(const std::optional<double>& a, const std::optional<double>& b,
                              bool highest) {
    if (!a) return b;
    if (!b) return a;
    return highest ? std::max(*a, *b) : std::min(*a, *b);
}

HistoryBucket Merged(const HistoryBucket& a, const HistoryBucket& b) {
    HistoryBucket m = a;
    const int na = a.Records, nb = b.Records;
    m.Records = na + nb;
    m.OutTemp = Mean(a.OutTemp, na, b.OutTemp, nb);
    m.Dewpoint = Mean(a.Dewpoint, na, b.Dewpoint, nb);
    m.Windchill = Mean(a.Windchill, na, b.Windchill, nb);
    m.InTemp = Mean(a.InTemp, na, b.InTemp, nb);
    m.OutHumidity = Mean(a.OutHumidity, na, b.OutHumidity, nb);
    m.InHumidity = Mean(a.InHumidity, na, b.InHumidity, nb);
    m.Barometer = Mean(a.Barometer, na, b.Barometer, nb);
    m.WindSpeed = Mean(a.WindSpeed, na, b.WindSpeed, nb);
    m.OutTempMin = Extreme(a.OutTempMin, b.OutTempMin, false);
    m.OutTempMax = Extreme(a.OutTempMax, b.OutTempMax, true);
    m.WindGust = Extreme(a.WindGust, b.WindGust, true);
    m.WindEast = a.WindEast + b.WindEast;
    m.WindNorth = a.WindNorth + b.WindNorth;
    m.WindDir = DirectionOf(m.WindEast, m.WindNorth);
    m.Rain = Sum(a.Rain, b.Rain);
    return m;
}

}  // namespace

std::pair<std::int64_t, std::int64_t> BucketBounds(std::int64_t t, BucketSize size) {
    if (size == BucketSize::Day) return LocalDayOf(t);
    const std::int64_t hour = (t - 1) / kHour * kHour;
    return {hour, hour + kHour};
}

std::optional<double> DirectionOf(double east, double north) {
    if (east == 0 && north == 0) return std::nullopt;
    const double degrees = std::atan2(east, north) * 180 / std::numbers::pi;
    return degrees < 0 ? degrees + 360 : degrees;
}

HistoryRange RangeOf(HistorySpan span, std::int64_t to, int intervalSeconds, int steps) {
    const std::int64_t length = SpanSeconds(span);
    HistoryRange range;
    range.To = to + steps * length;
    range.From = range.To - length;
    if (length / intervalSeconds <= kMaxSeriesPoints)
        range.Size = BucketSize::Record;
    else if (length / kHour <= kMaxSeriesPoints)
        range.Size = BucketSize::Hour;
    else
        range.Size = BucketSize::Day;
    return range;
}

HistoryBucket BucketOf(const ArchiveRecord& r) {
    HistoryBucket b;
    b.Start = r.DateTime - std::int64_t{r.Interval} * 60;
    b.End = r.DateTime;
    b.Records = 1;
    b.OutTemp = b.OutTempMin = b.OutTempMax = r.OutTemp;
    b.Dewpoint = r.Dewpoint;
    b.Windchill = r.Windchill;
    b.InTemp = r.InTemp;
    b.OutHumidity = r.OutHumidity;
    b.InHumidity = r.InHumidity;
    b.Barometer = r.Barometer;
    b.WindSpeed = r.WindSpeed;
    b.WindGust = r.WindGust;
    if (r.WindSpeed && r.WindDir) {
        const double radians = *r.WindDir * std::numbers::pi / 180;
        b.WindEast = *r.WindSpeed * std::sin(radians);
        b.WindNorth = *r.WindSpeed * std::cos(radians);
    }
    b.WindDir = r.WindDir;
    b.Rain = r.Rain;
    return b;
}

HistoryView BuildHistory(const std::vector<HistoryBucket>& buckets, const HistoryRange& range,
                         int intervalSeconds) {
    HistoryView v;
    v.Range = range;
    v.Buckets = buckets;
    v.Empty = buckets.empty();
    const std::int64_t length = range.Size == BucketSize::Record ? intervalSeconds
                                : range.Size == BucketSize::Hour ? kHour
                                                                 : kDay;
    const std::int64_t gap = length * 3 / 2;
    const bool band = range.Size != BucketSize::Record;
    const bool hourlyRain = range.To - range.From <= kHourlyRainUpTo;
    double total = 0;
    for (const HistoryBucket& b : buckets) {
        const std::int64_t t = band ? b.Start + (b.End - b.Start) / 2 : b.End;
        Add(v.OutTemp, t, b.OutTemp, gap);
        Add(v.Dewpoint, t, b.Dewpoint, gap);
        Add(v.Windchill, t, b.Windchill, gap);
        Add(v.InTemp, t, b.InTemp, gap);
        if (band) {
            Add(v.OutTempMin, t, b.OutTempMin, gap);
            Add(v.OutTempMax, t, b.OutTempMax, gap);
        }
        Add(v.OutHumidity, t, b.OutHumidity, gap);
        Add(v.InHumidity, t, b.InHumidity, gap);
        Add(v.Barometer, t, b.Barometer, gap);
        Add(v.WindSpeed, t, b.WindSpeed, gap, kKmhPerMetrePerSecond);
        Add(v.WindGust, t, b.WindGust, gap, kKmhPerMetrePerSecond);
        if (b.WindDir) v.WindDir.push_back({t, *b.WindDir});
        if (!b.Rain) continue;
        const auto [start, end] =
            BucketBounds(b.End, hourlyRain ? BucketSize::Hour : BucketSize::Day);
        if (v.Rain.empty() || v.Rain.back().Start != start) v.Rain.push_back({start, end, 0});
        v.Rain.back().Millimetres += *b.Rain;
        total += *b.Rain;
        Add(v.RainTotal, t, total, gap);
    }
    return v;
}

void AppendToHistory(HistoryView& view, const ArchiveRecord& record, int intervalSeconds) {
    if (record.DateTime <= view.Range.From) return;
    std::vector<HistoryBucket> buckets = std::move(view.Buckets);
    HistoryBucket bucket = BucketOf(record);
    if (view.Range.Size != BucketSize::Record)
        std::tie(bucket.Start, bucket.End) = BucketBounds(record.DateTime, view.Range.Size);
    // The file's record of an interval that has one already (a restart within it, the clock set
    // back) comes merged and goes where its time is: among records it replaces the older one; an
    // hour or a day cannot give back what it holds of it and takes it in once more.
    const auto at =
        std::lower_bound(buckets.begin(), buckets.end(), bucket.End,
                         [](const HistoryBucket& b, std::int64_t end) { return b.End < end; });
    if (at == buckets.end() || at->End != bucket.End)
        buckets.insert(at, bucket);
    else
        *at = view.Range.Size == BucketSize::Record ? bucket : Merged(*at, bucket);
    HistoryRange range = view.Range;
    if (record.DateTime > range.To) {
        range.From += record.DateTime - range.To;
        range.To = record.DateTime;
    }
    std::erase_if(buckets, [&](const HistoryBucket& b) { return b.End <= range.From; });
    view = BuildHistory(buckets, range, intervalSeconds);
}

}  // namespace ombrix
