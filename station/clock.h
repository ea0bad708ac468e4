// The local wall-clock time as the decoder sees it. The shell passes the system clock; tests and
// the offline decoder pass a fixed one.
#pragma once

#include <cstdint>
#include <functional>

namespace ombrix {

struct LocalTime {
    int Year = 2000, Month = 1, Day = 1;
    int Hour = 0, Minute = 0, Second = 0;
};

using Clock = std::function<LocalTime()>;

// The machine's local time, read once per call.
LocalTime SystemLocalTime();

// UTC seconds since 1970: the archive keeps its records in them.
using UtcClock = std::function<std::int64_t()>;
std::int64_t SystemUtcSeconds();

// The machine's local time at a UTC second, by the zone's rules (TZ).
LocalTime LocalTimeAt(std::int64_t utc);

// The calendar date and time of a UTC second, in UTC (the APRS-IS report's and MQTT's stamps).
LocalTime UtcTimeAt(std::int64_t utc);

// The UTC second of a local time, by the zone's rules; fields past their range carry over (day 32
// is the next month's first). In the hour skipped in spring or doubled in autumn, mktime decides.
std::int64_t UtcAtLocalTime(const LocalTime& t);

}  // namespace ombrix
