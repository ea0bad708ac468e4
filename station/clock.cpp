#include "station/clock.h"

#include <ctime>

namespace ombrix {

LocalTime SystemLocalTime() {
    return LocalTimeAt(SystemUtcSeconds());
}

std::int64_t SystemUtcSeconds() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

LocalTime LocalTimeAt(std::int64_t utc) {
    const auto t = static_cast<std::time_t>(utc);
    std::tm tm{};
    localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

LocalTime UtcTimeAt(std::int64_t utc) {
    const auto t = static_cast<std::time_t>(utc);
    std::tm tm{};
    gmtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::int64_t UtcAtLocalTime(const LocalTime& t) {
    std::tm tm{};
    tm.tm_year = t.Year - 1900;
    tm.tm_mon = t.Month - 1;
    tm.tm_mday = t.Day;
    tm.tm_hour = t.Hour;
    tm.tm_min = t.Minute;
    tm.tm_sec = t.Second;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

}  // namespace ombrix
