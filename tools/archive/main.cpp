// ombrix-archive: reads Ombrix's archive (never writes it): its records as CSV, a summary per
// local day, and a check of the file. Days and the local times are those of the machine's zone
// (TZ); a day has 23, 24 or 25 hours, and every local time carries its UTC offset, so that the
// doubled hour of an autumn night stays unambiguous.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/days.h"
#include "database/archive_database.h"
#include "station/clock.h"

namespace {

constexpr int kExitWrong = 1;
constexpr int kExitUsage = 2;

const char* const kUsage =
    "usage: ombrix-archive export [--from DATE] [--to DATE] FILE\n"
    "       ombrix-archive days [--from DATE] [--to DATE] FILE\n"
    "       ombrix-archive check FILE\n"
    "  export  the records as CSV: dateTime (UTC seconds, the end of the interval), its local\n"
    "          time, then the archive's columns; empty fields are unknown\n"
    "  days    one CSV line per local day: lowest and highest outTemp with their times, mean\n"
    "          outTemp, highest gust with time and direction, rain, lowest and highest\n"
    "          barometer, the records against the day's expected count\n"
    "  check   integrity, schema version, records, first and last, gaps longer than three\n"
    "          intervals; exit status 1 when the file is damaged\n"
    "DATE is YYYY-MM-DD, a local day: --from from its midnight, --to to the end of that day.\n"
    "Exit status 2: a wrong option or date, or a file that is not an Ombrix archive.\n";

int UsageError(const std::string& what) {
    std::fprintf(stderr, "ombrix-archive: %s\n%s", what.c_str(), kUsage);
    return kExitUsage;
}

std::tm LocalTm(std::int64_t t) {
    const auto time = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&time, &tm);
    return tm;
}

// The UTC second of local midnight that starts day (y, m, d); day may run past the month's end.
std::int64_t Midnight(int year, int month, int day) {
    return ombrix::UtcAtLocalTime({year, month, day, 0, 0, 0});
}

ombrix::LocalDay DayOf(std::int64_t t) {
    const std::tm tm = LocalTm(t);
    ombrix::LocalDay day{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, 0, 0};
    day.Start = Midnight(day.Year, day.Month, day.Day);
    day.End = Midnight(day.Year, day.Month, day.Day + 1);
    return day;
}

// "2026-03-29", checked: no 31 April, no "2026-3-29" nor "+026-03-29".
std::optional<ombrix::LocalDay> ParseDate(const std::string& text) {
    if (text.size() != 10) return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 4 || i == 7;
        if (dash ? text[i] != '-' : !std::isdigit(static_cast<unsigned char>(text[i])))
            return std::nullopt;
    }
    const int y = std::stoi(text.substr(0, 4)), m = std::stoi(text.substr(5, 2)),
              d = std::stoi(text.substr(8, 2));
    if (m < 1 || m > 12 || d < 1 || d > 31) return std::nullopt;
    const ombrix::LocalDay day = DayOf(Midnight(y, m, d) + 3600);
    if (day.Year != y || day.Month != m || day.Day != d) return std::nullopt;
    return day;
}

// "2026-10-25T02:30:00+01:00"
std::string LocalText(std::int64_t t) {
    const std::tm tm = LocalTm(t);
    char text[80];
    const int offset = static_cast<int>(tm.tm_gmtoff / 60);
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  offset < 0 ? '-' : '+', std::abs(offset) / 60, std::abs(offset) % 60);
    return text;
}

// At most four decimals, trailing zeros dropped; empty for an unknown value.
std::string Number(const std::optional<double>& v) {
    if (!v) return "";
    char text[64];
    std::snprintf(text, sizeof text, "%.4f", *v);
    std::string s = text;
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
    if (s == "-0") s = "0";
    return s;
}

std::string Timed(const std::optional<ombrix::TimedValue>& v) {
    if (!v) return ",";
    return Number(v->Value) + "," + LocalText(v->At);
}

void Export(const std::vector<ombrix::ArchiveRecord>& records) {
    std::string out =
        "dateTime,localTime,usUnits,interval,outTemp,inTemp,outHumidity,inHumidity,dewpoint,"
        "inDewpoint,barometer,pressure,windSpeed,windDir,windGust,windGustDir,windchill,rain,"
        "rainTotal,setCount\n";
    for (const ombrix::ArchiveRecord& r : records) {
        out += std::to_string(r.DateTime) + "," + LocalText(r.DateTime) + "," +
               std::to_string(r.UsUnits) + "," + std::to_string(r.Interval);
        for (const std::optional<double>* v :
             {&r.OutTemp, &r.InTemp, &r.OutHumidity, &r.InHumidity, &r.Dewpoint, &r.InDewpoint,
              &r.Barometer, &r.Pressure, &r.WindSpeed, &r.WindDir, &r.WindGust, &r.WindGustDir,
              &r.Windchill, &r.Rain, &r.RainTotal})
            out += "," + Number(*v);
        out += "," + std::to_string(r.SetCount) + "\n";
        if (out.size() > 1 << 16) {
            std::fputs(out.c_str(), stdout);
            out.clear();
        }
    }
    std::fputs(out.c_str(), stdout);
}

void Days(const std::vector<ombrix::ArchiveRecord>& records) {
    std::string out =
        "date,outTempMin,outTempMinTime,outTempMax,outTempMaxTime,outTempMean,windGustMax,"
        "windGustMaxTime,windGustDir,rain,barometerMin,barometerMax,records,expected\n";
    // A record of no length (a file written by hand) must not divide the day by zero.
    const int interval = records.empty() ? 300 : std::max(1, records.front().Interval) * 60;
    for (const ombrix::DaySummary& s : ombrix::SummariseDays(records, interval, DayOf)) {
        char date[16];
        std::snprintf(date, sizeof date, "%04d-%02d-%02d", s.Day.Year, s.Day.Month, s.Day.Day);
        out += std::string(date) + "," + Timed(s.OutTempLow) + "," + Timed(s.OutTempHigh) + "," +
               Number(s.OutTempMean) + "," + Timed(s.GustHigh) + "," + Number(s.GustDir) + "," +
               Number(s.Rain) + "," + Number(s.BarometerLow) + "," + Number(s.BarometerHigh) + "," +
               std::to_string(s.Records) + "," + std::to_string(s.Expected) + "\n";
    }
    std::fputs(out.c_str(), stdout);
}

int Check(ombrix::ArchiveDatabase& db) {
    bool sound = true;
    const std::vector<std::string> integrity = db.IntegrityCheck();
    sound = integrity.size() == 1 && integrity.front() == "ok";
    for (const std::string& line : integrity) std::printf("integrity: %s\n", line.c_str());
    const int version = db.SchemaVersion();
    std::printf("schema: %d\n", version);
    for (const std::string& problem : db.SchemaProblems()) {
        std::printf("schema: %s\n", problem.c_str());
        sound = false;
    }
    std::printf("records: %lld\n", static_cast<long long>(db.RecordCount()));
    const std::optional<ombrix::ArchiveRecord> first = db.First(), last = db.Last();
    if (first && last) {
        std::printf("first: %lld %s\nlast: %lld %s\n", static_cast<long long>(first->DateTime),
                    LocalText(first->DateTime).c_str(), static_cast<long long>(last->DateTime),
                    LocalText(last->DateTime).c_str());
        // A gap is no fault: Ombrix was not running, or the station was silent.
        const std::int64_t interval = std::int64_t{last->Interval} * 60;
        for (const auto& [from, to] : db.Gaps(3 * interval))
            std::printf("gap: %s to %s, %lld min without records\n", LocalText(from).c_str(),
                        LocalText(to).c_str(), static_cast<long long>((to - from - interval) / 60));
    }
    return sound ? 0 : kExitWrong;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return UsageError("no command");
    const std::string command = argv[1];
    if (command == "--help" || command == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command != "export" && command != "days" && command != "check")
        return UsageError("unknown command '" + command + "'");
    std::int64_t from = std::numeric_limits<std::int64_t>::min();
    std::int64_t to = std::numeric_limits<std::int64_t>::max();
    std::string path;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--from" || arg == "--to") && command != "check") {
            if (i + 1 == argc) return UsageError(arg + " needs a date");
            const std::optional<ombrix::LocalDay> day = ParseDate(argv[++i]);
            if (!day) return UsageError(arg + ": '" + argv[i] + "' is no date YYYY-MM-DD");
            // A record belongs to the day that holds the end of its interval: (Start, End].
            (arg == "--from" ? from : to) = arg == "--from" ? day->Start : day->End;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option '" + arg + "'");
        } else if (!path.empty()) {
            return UsageError("one FILE only, not also '" + arg + "'");
        } else {
            path = arg;
        }
    }
    if (path.empty()) return UsageError("no FILE");

    std::string error;
    const std::unique_ptr<ombrix::ArchiveDatabase> db =
        ombrix::ArchiveDatabase::OpenReadOnly(path, error);
    if (!db) {
        std::fprintf(stderr, "ombrix-archive: %s\n", error.c_str());
        return kExitUsage;
    }
    if (command == "check") return Check(*db);
    const std::vector<ombrix::ArchiveRecord> records = db->Read(from, to);
    if (command == "export")
        Export(records);
    else
        Days(records);
    return std::fflush(stdout) == 0 ? 0 : kExitWrong;
}
