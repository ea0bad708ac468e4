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

}  // namespace ombrix
