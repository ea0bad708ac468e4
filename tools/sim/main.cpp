// ombrix-sim: a weather station console on a serial line, for running, showing and testing
// Ombrix without a station. Sends a telegram set every few seconds from a weather model (or from
// raw log files), paced like the wire, with faults on demand.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "station/clock.h"
#include "tools/sim/bursts.h"
#include "tools/sim/line.h"
#include "tools/sim/station_values.h"
#include "tools/sim/weather_model.h"

namespace {

using namespace ombrix::sim;

volatile std::sig_atomic_t g_stop = 0;

extern "C" void OnStopSignal(int) {
    g_stop = 1;
}

bool Stopped() {
    return g_stop != 0;
}

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct Options {
    std::string Link;
    std::string Device;
    std::string Out;
    double Interval = 10.0;
    double Delay = 0.0;   // seconds before the first burst
    long long Count = 0;  // 0: until stopped
    std::optional<std::uint64_t> Seed;
    double Speed = 1.0;
    std::optional<ConsoleTime> Start;
    std::vector<Fault> Faults;
    std::vector<std::string> Replay;
};

void Usage(std::FILE* out) {
    std::fputs(
        "usage: ombrix-sim [OPTION]... [--replay FILE...]\n"
        "Sends telegram sets like the console of a weather station: one burst of 141 bytes\n"
        "every few seconds at 9600 baud, 8N1, on a pseudo-terminal of its own or on a serial\n"
        "device.\n"
        "\n"
        "  --link PATH        put the link to the station's terminal here (default:\n"
        "                     $XDG_RUNTIME_DIR/ombrix-station, else /tmp/ombrix-station-UID);\n"
        "                     it is removed when the simulator ends\n"
        "  --device PATH      write to this serial device instead of a pseudo-terminal\n"
        "  --out DIR          write each burst to a file DIR/NNNNNN.bin at once, without\n"
        "                     waiting (needs --count); the simulated clock still advances\n"
        "                     by --interval times --speed from burst to burst\n"
        "  --interval S       seconds from burst to burst (default 10, at least 2)\n"
        "  --delay S          seconds before the first burst (default 0), so a reader\n"
        "                     started after the simulator gets it\n"
        "  --count N          stop after N bursts (default: run until stopped)\n"
        "  --seed N           seed of the weather; the same seed and --start repeat a run\n"
        "                     (default: a fresh seed, shown at start)\n"
        "  --speed F          let simulated time run F times faster (default 1; 8640 makes a\n"
        "                     day pass in 100 bursts of 10 s)\n"
        "  --start TIME       the console's clock at the first burst, \"YYYY-MM-DD HH:MM[:SS]\"\n"
        "                     (default: now)\n"
        "  --fault KIND:N     damage every Nth burst (repeatable). KIND is\n"
        "                       bad-checksum  one data byte changed\n"
        "                       split         two pieces 0.3 s apart (still one burst)\n"
        "                       gap           two pieces 1.5 s apart (two short bursts)\n"
        "                       noise         stray bytes in the pause after the burst\n"
        "                       short         only the first 120 bytes\n"
        "                       double        two sets back to back\n"
        "  --replay FILE...   send the sets recorded in raw log files (WX*.LOG), in order,\n"
        "                     instead of simulated ones\n"
        "  --help             show this help\n"
        "\n"
        "One line on standard output per burst: its number, its kind and the outdoor\n"
        "temperature, wind and rain (last hour/today/since reset) it carries.\n"
        "Exit status: 0 when done or stopped (Ctrl-C, SIGTERM), 1 on a failure, 2 on wrong\n"
        "usage.\n",
        out);
}

class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

template <class T>
T ParseInteger(const std::string& option, const std::string& text, T min) {
    T value{};
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || ptr != end || value < min)
        throw UsageError(option + ": \"" + text + "\" is no whole number of at least " +
                         std::to_string(min));
    return value;
}

double ParseNumber(const std::string& option, const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value))
        throw UsageError(option + ": \"" + text + "\" is no number");
    return value;
}

// "YYYY-MM-DD HH:MM" or "YYYY-MM-DD HH:MM:SS", with a blank or a "T" between date and time.
ConsoleTime ParseStart(const std::string& text) {
    const UsageError wrong("--start: \"" + text + "\" is no time \"YYYY-MM-DD HH:MM[:SS]\"");
    static constexpr std::string_view kShape = "dddd-dd-dd dd:dd:dd";
    if (text.size() != 16 && text.size() != 19) throw wrong;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool ok = kShape[i] == 'd' ? (c >= '0' && c <= '9')
                        : i == 10        ? (c == ' ' || c == 'T')
                                         : c == kShape[i];
        if (!ok) throw wrong;
    }
    auto number = [&](std::size_t at, std::size_t length) {
        return std::stoi(text.substr(at, length));
    };
    ombrix::LocalTime t;
    t.Year = number(0, 4);
    t.Month = number(5, 2);
    t.Day = number(8, 2);
    t.Hour = number(11, 2);
    t.Minute = number(14, 2);
    t.Second = text.size() == 19 ? number(17, 2) : 0;
    const ConsoleTime at = ToConsoleTime(t);
    const ombrix::LocalTime back = ToCivil(at);
    if (t.Year < 1970 || t.Month < 1 || t.Month > 12 || back.Month != t.Month ||
        back.Day != t.Day || t.Hour > 23 || t.Minute > 59 || t.Second > 59)
        throw wrong;
    return at;
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::string value;
        bool hasValue = false;
        if (arg.rfind("--", 0) == 0) {
            const std::size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg.resize(eq);
                hasValue = true;
            }
        }
        auto next = [&]() -> std::string {
            if (hasValue) return value;
            if (i + 1 >= args.size()) throw UsageError(arg + " needs a value");
            return args[++i];
        };
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            std::exit(0);
        } else if (arg == "--link") {
            o.Link = next();
            if (o.Link.empty()) throw UsageError("--link needs a path");
        } else if (arg == "--device") {
            o.Device = next();
            if (o.Device.empty()) throw UsageError("--device needs a path");
        } else if (arg == "--out") {
            o.Out = next();
            if (o.Out.empty()) throw UsageError("--out needs a folder");
        } else if (arg == "--interval") {
            o.Interval = ParseNumber(arg, next());
            if (o.Interval < 2.0) throw UsageError("--interval: at least 2 seconds");
            if (o.Interval > 86400.0) throw UsageError("--interval: at most a day");
        } else if (arg == "--delay") {
            o.Delay = ParseNumber(arg, next());
            if (o.Delay < 0.0 || o.Delay > 3600.0) throw UsageError("--delay: 0 to 3600 seconds");
        } else if (arg == "--count") {
            o.Count = ParseInteger<long long>(arg, next(), 1);
        } else if (arg == "--seed") {
            o.Seed = ParseInteger<std::uint64_t>(arg, next(), 0);
        } else if (arg == "--speed") {
            o.Speed = ParseNumber(arg, next());
            if (!(o.Speed > 0.0) || o.Speed > 100000.0)
                throw UsageError("--speed: more than 0, at most 100000");
        } else if (arg == "--start") {
            o.Start = ParseStart(next());
        } else if (arg == "--fault") {
            const std::string text = next();
            const std::optional<Fault> fault = ParseFault(text);
            if (!fault)
                throw UsageError("--fault: \"" + text +
                                 "\" is not KIND:N with KIND one of bad-checksum, split, gap, "
                                 "noise, short, double and N at least 1");
            o.Faults.push_back(*fault);
        } else if (arg == "--replay") {
            if (hasValue) o.Replay.push_back(value);
            while (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0)
                o.Replay.push_back(args[++i]);
            if (o.Replay.empty()) throw UsageError("--replay needs at least one file");
        } else {
            throw UsageError("unknown option \"" + args[i] + "\"");
        }
    }
    if ((!o.Link.empty()) + (!o.Device.empty()) + (!o.Out.empty()) > 1)
        throw UsageError("--link, --device and --out exclude each other");
    if (!o.Out.empty() && o.Count == 0) throw UsageError("--out needs --count");
    return o;
}

ConsoleTime LocalNow() {
    ombrix::LocalTime now = ombrix::SystemLocalTime();
    now.Second = std::min(now.Second, 59);  // the console's clock has no leap second
    return ToConsoleTime(now);
}

std::vector<ombrix::Bytes> LoadReplay(const std::vector<std::string>& files) {
    std::vector<ombrix::Bytes> sets;
    for (const std::string& file : files) {
        std::ifstream in(file, std::ios::binary);
        if (!in) throw std::runtime_error(file + ": " + std::strerror(errno));
        const ombrix::Bytes text{std::istreambuf_iterator<char>(in),
                                 std::istreambuf_iterator<char>()};
        if (in.bad()) throw std::runtime_error(file + ": cannot be read");
        std::vector<ombrix::Bytes> found = SetsFromRawLog(text, file);
        sets.insert(sets.end(), found.begin(), found.end());
    }
    if (sets.empty()) throw std::runtime_error("the raw log files hold no telegram sets");
    return sets;
}

void InstallSignalHandlers() {
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no SA_RESTART: a wait ends at once
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

// A history at once: burst n goes to DIR/n.bin (six digits, from 1), its pieces one after the
// other, as ombrix-decode reads them.
int WriteFiles(const Options& o, WeatherModel& model, Random& noise,
               const std::vector<ombrix::Bytes>& replay) {
    for (long long n = 1; n <= o.Count; ++n) {
        if (!replay.empty() && n > static_cast<long long>(replay.size())) break;
        if (n > 1 && replay.empty()) model.Advance(o.Interval * o.Speed);
        const ombrix::Bytes set = replay.empty() ? EncodeTelegramSet(model.Station())
                                                 : replay[static_cast<std::size_t>(n - 1)];
        const BurstPlan plan =
            PlanBurst(n, set, o.Faults, replay.empty() ? "set" : "replay", noise);
        char name[32];
        std::snprintf(name, sizeof name, "/%06lld.bin", n);
        std::ofstream out(o.Out + name, std::ios::binary);
        for (const Piece& piece : plan.Pieces) out << piece.Data;
        if (!out.flush()) throw std::runtime_error(o.Out + name + ": " + std::strerror(errno));
    }
    return 0;
}

int Run(const Options& o) {
    std::vector<ombrix::Bytes> replay;
    if (!o.Replay.empty()) replay = LoadReplay(o.Replay);

    const std::uint64_t seed = o.Seed ? *o.Seed : std::random_device{}();
    WeatherModel model(seed, o.Start ? *o.Start : LocalNow());
    Random noise(seed ^ 0x9E3779B97F4A7C15ULL);

    if (!o.Out.empty()) return WriteFiles(o, model, noise, replay);
    InstallSignalHandlers();
    std::unique_ptr<Line> line =
        o.Device.empty() ? OpenPseudoTerminal(o.Link.empty() ? DefaultLinkPath() : o.Link)
                         : OpenDevice(o.Device);
    std::printf("ombrix-sim: station on %s, a burst every %g s, seed %llu%s\n",
                line->Describe().c_str(), o.Interval, static_cast<unsigned long long>(seed),
                replay.empty() ? "" : ", replaying raw logs");
    std::fflush(stdout);

    const StopFlag stopped = Stopped;
    const double first = MonotonicNow() + o.Delay;
    if (o.Delay > 0 && !SleepUntil(first, stopped)) return 0;
    double lastEnd = -1e9;
    for (long long n = 1; !Stopped(); ++n) {
        if (o.Count > 0 && n > o.Count) break;
        if (!replay.empty() && n > static_cast<long long>(replay.size())) break;
        if (n > 1) {
            // On the beat, but never closer to the last bytes than the intake needs to tell
            // the bursts apart.
            const double due =
                std::max(first + static_cast<double>(n - 1) * o.Interval, lastEnd + kQuiet);
            if (!SleepUntil(due, stopped)) break;
            if (replay.empty()) model.Advance(o.Interval * o.Speed);
        }
        const ombrix::Bytes set = replay.empty() ? EncodeTelegramSet(model.Station())
                                                 : replay[static_cast<std::size_t>(n - 1)];
        const BurstPlan plan =
            PlanBurst(n, set, o.Faults, replay.empty() ? "set" : "replay", noise);
        line->BeforeBurst();
        bool sent = true;
        for (const Piece& piece : plan.Pieces) {
            if (piece.Delay > 0 && !SleepUntil(MonotonicNow() + piece.Delay, stopped)) {
                sent = false;
                break;
            }
            if (!line->Send(piece.Data, stopped)) {
                sent = false;
                break;
            }
        }
        if (!sent) break;
        lastEnd = MonotonicNow();
        std::printf("%lld %s %s\n", n, plan.Kind.c_str(), Summary(set).c_str());
        std::fflush(stdout);
    }
    // A reader takes the tail of a burst only when the line has been quiet for a while: keep the
    // line open until it has, or the last burst would reach it cut short.
    if (!Stopped()) SleepUntil(MonotonicNow() + kLinger, stopped);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = ParseOptions(argc, argv);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "ombrix-sim: %s\nTry 'ombrix-sim --help'.\n", e.what());
        return kExitUsage;
    }
    try {
        return Run(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ombrix-sim: %s\n", e.what());
        return kExitFailure;
    }
}
