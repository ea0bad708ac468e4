// ombrix-decode: decodes recorded bursts offline, one file per burst, in order, by one decoder as
// on a freshly started program, and prints each resulting table, followed by what the set produced
// beyond the table: status line, APRS report, the AGWPE frame and the raw-log line. It opens no
// socket and writes no file, except the archive when --archive names one: then the station's sets
// go through the archive stage into it as in the program, and the open interval is written at the
// end of the input, as at shutdown.
#include <array>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#ifdef OMBRIX_WITH_ARCHIVE
#include "database/archive_database.h"
#endif
#include "logs/error_log.h"
#include "pipeline/weather_logger.h"
#include "station/telegram_set.h"

namespace {

// A burst to decode: a file, or the built-in test set when the path is empty.
struct Input {
    std::string Path;
    bool TestSet = false;
};

void Usage(std::ostream& out) {
    out << "usage: ombrix-decode [OPTION]... [--test-set] FILE...\n"
           "  --decimal-separator C          decimal separator of the table (default: locale)\n"
           "  --test-set                     decode the built-in test set (the \"Testwerte\"\n"
           "                                 button) as one more burst, in its place among the "
           "files\n"
           "  --clock YYYY-MM-DDTHH:MM:SS    fixed local time for every set (default: now)\n"
           "  --lage TEXT                    APRS position and symbol (default "
           "0000.00N/00000.00E_)\n"
           "  --port N                       radio port of the AGWPE engine (default 0)\n"
           "  --calls TO,FROM,DIGI1,DIGI2    AX.25 addresses (default CQ,N0CALL,Wide3-3,)\n"
           "  --step S                       the n-th burst (from 0) is decoded at the clock's\n"
           "                                 time plus n*S seconds, by the zone's rules\n"
#ifdef OMBRIX_WITH_ARCHIVE
           "  --archive FILE                 gather the station's sets into the archive FILE\n"
           "                                 (SQLite, five-minute records), as the program does\n"
#endif

           "After each table: \"status:\", \"aprs:\", \"frame:\" (AGWPE header and frame in hex)\n"
           "and \"rawlog:\" (the raw-log line without its time stamp), when composed.\n";
}

bool ParseClock(const std::string& text, ombrix::LocalTime& out) {
    ombrix::LocalTime t;
    char tail = 0;
    if (text.size() != 19 ||
        std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &t.Year, &t.Month, &t.Day, &t.Hour,
                    &t.Minute, &t.Second, &tail) != 6)
        return false;
    if (t.Month < 1 || t.Month > 12 || t.Day < 1 || t.Day > 31 || t.Hour > 23 || t.Minute > 59 ||
        t.Second > 59 || t.Hour < 0 || t.Minute < 0 || t.Second < 0)
        return false;
    out = t;
    return true;
}

bool ParseStep(const std::string& text, std::int64_t& out) {
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || v < 0 || v > 100LL * 366 * 86400)
        return false;
    out = v;
    return true;
}

#ifdef OMBRIX_WITH_ARCHIVE
// Writes each finished interval; a CLI may wait for another program that holds the file.
class DatabaseSink : public ombrix::ArchiveSink {
  public:
    explicit DatabaseSink(ombrix::ArchiveDatabase& db) : db_(db) {}
    void WriteInterval(const ombrix::IntervalSums& sums) override {
        const ombrix::ArchiveDatabase::Result r = db_.Write(sums);
        if (r.State == ombrix::ArchiveDatabase::Status::Ok) return;
        std::cerr << "ombrix-decode: archive " << db_.Path() << ": record " << sums.DateTime
                  << " not written: " << r.Message << "\n";
        Failed = true;
    }
    bool Failed = false;

  private:
    ombrix::ArchiveDatabase& db_;
};
#endif

// Why the decoder did not take a set: its length, or each group whose checksum fails.
void SayWhyRejected(const std::string& path, const ombrix::Bytes& set) {
    if (set.size() != ombrix::kTelegramSetLength) {
        std::cerr << path << ": " << set.size() << " bytes, a telegram set has "
                  << ombrix::kTelegramSetLength << "\n";
        return;
    }
    for (std::size_t g = 0; g < ombrix::kGroups.size(); ++g) {
        const ombrix::GroupBounds& b = ombrix::kGroups[g];
        const ombrix::GroupChecksum sum =
            ombrix::CheckGroup(ombrix::BytesView(set).substr(b.First - 1, b.Length));
        if (!sum.Ok())
            std::cerr << path << ": checksum of group " << g + 1 << " is " << sum.Computed
                      << ", the set says " << sum.Received << "\n";
    }
}

bool ParsePort(const std::string& text, std::int16_t& out) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || v < -32768 || v > 32767) return false;
    out = static_cast<std::int16_t>(v);
    return true;
}

bool ParseCalls(const std::string& text, std::array<ombrix::Bytes, 6>& out) {
    std::array<ombrix::Bytes, 6> calls{};
    std::size_t field = 0;
    for (char c : text) {
        if (c == ',') {
            if (++field == 4) return false;
        } else {
            calls[field].push_back(c);
        }
    }
    out = calls;
    return true;
}

std::string Hex(const ombrix::Bytes& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * bytes.size());
    for (char c : bytes) {
        hex.push_back(kDigits[ombrix::Code(c) >> 4]);
        hex.push_back(kDigits[ombrix::Code(c) & 15]);
    }
    return hex;
}

// "--name VALUE" or "--name=VALUE"; advances i past a separate value.
bool OptionValue(const std::string& name, int argc, char** argv, int& i, std::string& value) {
    const std::string arg = argv[i];
    if (arg == name && i + 1 < argc) {
        value = argv[++i];
        return true;
    }
    if (arg.rfind(name + "=", 0) == 0) {
        value = arg.substr(name.size() + 1);
        return true;
    }
    return false;
}

bool ReadFile(const std::string& path, ombrix::Bytes& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    try {
        out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::ios_base::failure&) {
        return false;  // opened but unreadable, a directory for one (errno tells)
    }
    return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::string separator = std::localeconv()->decimal_point;
    std::vector<Input> files;
    ombrix::LoggerSettings settings;
    bool fixedClock = false;
    ombrix::LocalTime clockTime;
    std::optional<std::int64_t> step;
    std::string archivePath;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string value;
        if (OptionValue("--decimal-separator", argc, argv, i, value)) {
            separator = value;
        } else if (OptionValue("--clock", argc, argv, i, value)) {
            if (!ParseClock(value, clockTime)) {
                std::cerr << "ombrix-decode: --clock wants YYYY-MM-DDTHH:MM:SS, not " << value
                          << "\n";
                return 2;
            }
            fixedClock = true;
        } else if (OptionValue("--lage", argc, argv, i, value)) {
            settings.Lage = value;
        } else if (OptionValue("--port", argc, argv, i, value)) {
            if (!ParsePort(value, settings.AgwpePort)) {
                std::cerr << "ombrix-decode: --port wants a whole number, not " << value << "\n";
                return 2;
            }
        } else if (OptionValue("--calls", argc, argv, i, value)) {
            if (!ParseCalls(value, settings.AddressCalls)) {
                std::cerr << "ombrix-decode: --calls takes at most TO,FROM,DIGI1,DIGI2\n";
                return 2;
            }
        } else if (OptionValue("--step", argc, argv, i, value)) {
            std::int64_t seconds = 0;
            if (!ParseStep(value, seconds)) {
                std::cerr << "ombrix-decode: --step wants whole seconds, not " << value << "\n";
                return 2;
            }
            step = seconds;
#ifdef OMBRIX_WITH_ARCHIVE
        } else if (OptionValue("--archive", argc, argv, i, value)) {
            archivePath = value;
#endif
        } else if (arg == "--test-set") {
            files.push_back({"Testwerte", true});
        } else if (arg == "--help" || arg == "-h") {
            Usage(std::cout);
            return 0;
        } else if (arg == "--") {
            for (int j = i + 1; j < argc; ++j) files.push_back({argv[j]});
            break;
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::cerr << "ombrix-decode: unknown option '" << arg << "'\n";
            Usage(std::cerr);
            return 2;
        } else {
            files.push_back({arg});
        }
    }
    if (files.empty()) {
        Usage(std::cerr);
        return 2;
    }

    settings.DecimalSeparator = separator;
    // With --step, burst n is decoded at start + n*step; without it every set has the fixed clock,
    // or the system's.
    const std::int64_t start =
        fixedClock ? ombrix::UtcAtLocalTime(clockTime) : ombrix::SystemUtcSeconds();
    std::int64_t burst = 0;
    const ombrix::UtcClock utc = [&] {
        if (step) return start + burst * *step;
        return fixedClock ? start : ombrix::SystemUtcSeconds();
    };
    ombrix::Clock clock = ombrix::SystemLocalTime;
    if (step)
        clock = [&utc] { return ombrix::LocalTimeAt(utc()); };
    else if (fixedClock)
        clock = [clockTime] { return clockTime; };
    // No frame sink and no file appender: frames and raw-log lines are only printed.
    ombrix::WeatherLogger logger(
        settings, clock, nullptr, nullptr,
        [](const ombrix::DecodeError& e) { std::cerr << ombrix::ErrorLogRecord(e); });
#ifdef OMBRIX_WITH_ARCHIVE
    std::unique_ptr<ombrix::ArchiveDatabase> archive;
    std::optional<DatabaseSink> sink;
    if (!archivePath.empty()) {
        std::string error;
        constexpr int kWaitForOthersMs = 10000;
        archive = ombrix::ArchiveDatabase::Open(archivePath, error, true, kWaitForOthersMs);
        if (!archive) {
            std::cerr << "ombrix-decode: " << error << "\n";
            return 2;
        }
        sink.emplace(*archive);
        logger.StartArchive(&*sink, utc, ombrix::kDefaultArchiveInterval, archive->LastRainTotal());
    }
#endif
    int status = 0;
    for (const Input& input : files) {
        struct NextBurst {
            std::int64_t& n;
            ~NextBurst() { ++n; }
        } next{burst};
        const std::string& path = input.Path;
        ombrix::Bytes set;
        if (input.TestSet) {
            set = ombrix::TestTelegramSet();
        } else if (!ReadFile(path, set)) {
            std::cerr << "ombrix-decode: " << path << ": " << std::strerror(errno) << "\n";
            status = 2;
            continue;
        }
        const ombrix::SetOutcome outcome = logger.DecodeTelegramSet(
            set, input.TestSet ? ombrix::SetSource::TestButton : ombrix::SetSource::Station);
        if (outcome != ombrix::SetOutcome::Valid) SayWhyRejected(path, set);
        std::string out = "# " + path + "\n";
        for (const ombrix::TableRow& row : logger.Table().Rows()) {
            for (std::size_t i = 0; i < row.size(); ++i) {
                if (i > 0) out += '\t';
                out += row[i];
            }
            out += '\n';
        }
        const ombrix::CallOutputs& last = logger.LastCall();
        if (last.StatusComposed) out += "status: " + logger.StatusText() + "\n";
        if (!last.AprsText.empty()) out += "aprs: " + last.AprsText + "\n";
        if (!last.Frame.empty()) out += "frame: " + Hex(last.Frame) + "\n";
        if (!last.RawLog.Line.empty()) {
            // Without the 20-character time stamp and the CR LF.
            const ombrix::Bytes& line = last.RawLog.Line;
            out += "rawlog: " + line.substr(20, line.size() - 22) + "\n";
        }
        std::cout << out;
    }
    std::cout.flush();
#ifdef OMBRIX_WITH_ARCHIVE
    logger.CloseArchiveInterval();
    if (sink && sink->Failed) status = 2;
#endif
    return status;
}
