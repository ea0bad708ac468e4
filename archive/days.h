// The archive's records summarised by local day, as `ombrix-archive days` prints them. A local day
// runs from one local midnight to the next and has 23, 24 or 25 hours; a record belongs to the
// day that holds the end of its interval, except that a record ending exactly at midnight closes
// the day before (its interval lies in that day).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "archive/archive.h"

namespace ombrix {

struct LocalDay {
    int Year = 0, Month = 0, Day = 0;
    std::int64_t Start = 0;  // UTC second of its local midnight
    std::int64_t End = 0;    // UTC second of the next local midnight
    bool operator==(const LocalDay&) const = default;
};

// The local day that holds UTC second t, with t in [Start, End). The program passes the
// machine's zone (localtime_r and mktime); tests pass a zone of their own.
using LocalDayOf = std::function<LocalDay(std::int64_t t)>;

struct TimedValue {
    double Value = 0;
    std::int64_t At = 0;  // the record's dateTime
    bool operator==(const TimedValue&) const = default;
};

struct DaySummary {
    LocalDay Day;
    std::optional<TimedValue> OutTempLow, OutTempHigh;  // the first record on a tie
    std::optional<double> OutTempMean;                  // mean of the records' means
    std::optional<TimedValue> GustHigh;
    std::optional<double> GustDir;  // the highest gust's direction
    std::optional<double> Rain;     // sum of the records' rain; empty when none had any
    std::optional<double> BarometerLow, BarometerHigh;
    int Records = 0;
    int Expected = 0;  // (End - Start) / interval
    bool operator==(const DaySummary&) const = default;
};

// Records in ascending dateTime, all of one interval length (seconds); one summary per local day
// that has a record, in order.
std::vector<DaySummary> SummariseDays(const std::vector<ArchiveRecord>& records,
                                      int intervalSeconds, const LocalDayOf& dayOf);

}  // namespace ombrix
