// The archive's costs: what its stage adds to the core's handling of one set, writing one record
// to the file on disk, reading a day back, what the history window reads and what start-up asks
// of the file (LastRainTotal).
//   archive_bench --make FILE    writes ten years of five-minute records through
//                                ArchiveDatabase::Write, one transaction each, as Ombrix would
//   archive_bench [--archive FILE] [benchmark options]
//                                the read figures on FILE; without it on a week made in /tmp
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "database/archive_database.h"
#include "pipeline/weather_logger.h"
#include "station/telegram_set.h"

namespace ombrix {
namespace {

using Steady = std::chrono::steady_clock;
constexpr int kInterval = 300;
constexpr int kSetSeconds = 10;            // the simulator's pace: 30 sets in a record
constexpr std::int64_t kEnd = 1796083200;  // 2026-12-01 00:00 UTC, the newest record
constexpr std::int64_t kYear = 31556952;
std::string g_archive;  // the file the read figures use

void Fail(const std::string& what) {
    std::fprintf(stderr, "archive_bench: %s\n", what.c_str());
    std::exit(2);
}

// Each call is timed on its own, for the median and the tail rather than the mean.
struct Samples {
    std::vector<double> us;
    void Add(benchmark::State& state, Steady::time_point start) {
        const double s = std::chrono::duration<double>(Steady::now() - start).count();
        state.SetIterationTime(s);
        us.push_back(s * 1e6);
    }
    void Report(benchmark::State& state) {
        std::sort(us.begin(), us.end());
        const auto slow = us.end() - std::upper_bound(us.begin(), us.end(), 1000.0);
        state.counters["median_us"] = us[us.size() / 2];
        state.counters["p99_us"] = us[us.size() * 99 / 100];
        state.counters["max_us"] = us.back();
        state.counters["over_1ms_per_1000"] = 1000.0 * static_cast<double>(slow) / us.size();
    }
};

// One interval of a plausible station as the sums of its 30 sets in the station's units (tenths
// or whole): seasonal and daily temperature, humidity, pressure, wind, and a millimetre of rain
// in one record of 125 (about 840 mm a year). The means come out with all their digits, as real
// ones do, so that the file's size per record is the real one.
IntervalSums SimulatedInterval(std::int64_t end, std::mt19937_64& rng, double& rainTotal) {
    std::normal_distribution<double> noise(0, 1);
    const double day = static_cast<double>(end % kYear) / 86400;
    const double hour = static_cast<double>(end % 86400) / 3600;
    const double out = 9 - 9 * std::cos(2 * std::numbers::pi * (day - 15) / 365.2425) -
                       4 * std::cos(2 * std::numbers::pi * (hour - 3) / 24) + noise(rng);
    const double humidity = std::clamp(75 - 2 * (out - 9) + 5 * noise(rng), 20.0, 99.0);
    const double speed = std::abs(2.5 + 1.5 * noise(rng));
    const double direction =
        std::fmod(250 + 60 * std::sin(day * 2) + 360, 360) * std::numbers::pi / 180;
    const int n = kInterval / kSetSeconds;
    // In the order of MeanColumn: the value and the station's unit.
    const std::array<std::pair<double, double>, kMeanColumns> means = {
        {{out, 0.1},
         {21 + 0.5 * noise(rng), 0.1},
         {humidity, 1},
         {45 + 3 * noise(rng), 1},
         {out - (100 - humidity) / 5, 1},
         {9 + noise(rng), 1},
         {1013 + 8 * std::sin(day / 3), 0.1},
         {1001 + 8 * std::sin(day / 3), 1},
         {out - speed, 1},
         {speed, 0.1}}};
    IntervalSums s;
    s.DateTime = end;
    s.IntervalSeconds = kInterval;
    for (std::size_t i = 0; i < kMeanColumns; ++i)
        s.Means[i] = {
            std::round((means[i].first + 0.3 * noise(rng)) * n / means[i].second) * means[i].second,
            n};
    s.WindEast = n * speed * std::sin(direction);
    s.WindNorth = n * speed * std::cos(direction);
    s.WindGust = std::round(speed * (15 + 3 * std::abs(noise(rng)))) / 10;
    s.WindGustDir = std::fmod(std::round(direction * 180 / std::numbers::pi / 22.5) * 22.5, 360);
    s.Rain = rng() % 125 == 0 ? 1 : 0;
    s.RainTotal = rainTotal += *s.Rain;
    s.SetCount = n;
    return s;
}

// Writes the records of (from, to] into a new archive; returns how many.
std::int64_t MakeArchive(const std::string& path, std::int64_t from, std::int64_t to) {
    std::string error;
    if (std::filesystem::exists(path)) Fail(path + " exists; it is never added to");
    std::unique_ptr<ArchiveDatabase> db = ArchiveDatabase::Open(path, error, true, 5000);
    if (!db) Fail(error);
    std::mt19937_64 rng(7);
    double rainTotal = 0;
    std::int64_t written = 0;
    for (std::int64_t end = from - from % kInterval + kInterval; end <= to; end += kInterval) {
        const ArchiveDatabase::Result r = db->Write(SimulatedInterval(end, rng, rainTotal));
        if (r.State != ArchiveDatabase::Status::Ok) Fail(path + ": " + r.Message);
        ++written;
    }
    return written;
}

std::string TemporaryFolder() {
    std::string folder = (std::filesystem::temp_directory_path() / "archive_bench-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) Fail("no temporary folder");
    return folder;
}

// One WeatherLogger call on a station set, without (0) and with (1) the archive stage into a
// sink that drops the intervals; the clock moves on by the simulator's pace, so that every 30th
// set finishes an interval.
void BM_LoggerCall(benchmark::State& state) {
    const bool archive = state.range(0) == 1;
    state.SetLabel(archive ? "with the archive stage" : "without the archive stage");
    LoggerSettings settings;
    settings.AddressCalls = {"APRS", "DL1ABC", "WIDE1-1", "", "", ""};
    WeatherLogger logger(
        settings, SystemLocalTime, nullptr, [](const std::string&, BytesView) {},
        [](const DecodeError&) {}, [](const std::string&) {});
    struct : ArchiveSink {
        void WriteInterval(const IntervalSums&) override { ++intervals; }
        long long intervals = 0;
    } sink;
    std::int64_t now = kEnd;
    if (archive)
        logger.StartArchive(
            &sink, [&] { return now += kSetSeconds; }, kInterval, 0.0);
    const Bytes set = TestTelegramSet();
    Samples samples;
    for (auto _ : state) {
        const auto start = Steady::now();
        benchmark::DoNotOptimize(logger.DecodeTelegramSet(set));
        samples.Add(state, start);
    }
    samples.Report(state);
    if (archive && state.iterations() >= 60 && sink.intervals == 0)
        state.SkipWithError("no interval was finished");
}
BENCHMARK(BM_LoggerCall)->Arg(0)->Arg(1)->UseManualTime();

// Times Write of one new record an iteration, each after the last, each expected to end so.
void TimeWrites(benchmark::State& state, ArchiveDatabase& db, std::int64_t end,
                ArchiveDatabase::Status expected) {
    std::mt19937_64 rng(11);
    double rainTotal = 0;
    Samples samples;
    for (auto _ : state) {
        const IntervalSums sums = SimulatedInterval(end += kInterval, rng, rainTotal);
        const auto start = Steady::now();
        const ArchiveDatabase::Result r = db.Write(sums);
        samples.Add(state, start);
        if (r.State != expected) state.SkipWithError(("not as expected: " + r.Message).c_str());
    }
    samples.Report(state);
}

// One new record through ArchiveDatabase::Write into a file on disk that holds two days already,
// so that exact sums older than two days are being deleted, as in a running archive.
void BM_WriteRecord(benchmark::State& state) {
    const std::string folder = TemporaryFolder(), path = folder + "/archive.sqlite";
    std::int64_t end = kEnd - 2 * 86400;
    MakeArchive(path, end - 2 * 86400, end);
    std::string error;
    std::unique_ptr<ArchiveDatabase> db = ArchiveDatabase::Open(path, error);
    TimeWrites(state, *db, end, ArchiveDatabase::Status::Ok);
    db.reset();
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_WriteRecord)->UseManualTime();

// How long the window waits when another program holds the file in a write transaction (sqlite3
// with BEGIN IMMEDIATE open): Write gives up after the window's busy timeout of 50 ms and the
// record waits in the writer's queue.
void BM_WriteWhileHeld(benchmark::State& state) {
    const std::string folder = TemporaryFolder(), path = folder + "/archive.sqlite";
    std::string error;
    std::unique_ptr<ArchiveDatabase> db = ArchiveDatabase::Open(path, error, true, 50);
    sqlite3* other = nullptr;
    if (!db || sqlite3_open(path.c_str(), &other) != SQLITE_OK ||
        sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        Fail("cannot hold the archive");
    TimeWrites(state, *db, kEnd, ArchiveDatabase::Status::Busy);
    sqlite3_close(other);
    db.reset();
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_WriteWhileHeld)->UseManualTime()->Iterations(21);

// One day's records (288) with ArchiveDatabase::Read, a different day each time, walking back
// from the newest through the whole archive. Cold (1): the file's pages dropped from the kernel's
// cache (this file's only) and the connection opened anew before each read.
void BM_ReadDay(benchmark::State& state) {
    const bool cold = state.range(0) == 1;
    state.SetLabel(cold ? "cold" : "warm");
    std::string error;
    std::unique_ptr<ArchiveDatabase> db = ArchiveDatabase::OpenReadOnly(g_archive, error);
    if (!db) Fail(error);
    const std::int64_t last = db->Last()->DateTime;
    const std::int64_t days = std::max<std::int64_t>(1, (last - db->First()->DateTime) / 86400);
    std::int64_t n = 0, records = 0;
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            db.reset();
            const int fd = open(g_archive.c_str(), O_RDONLY);
            if (fd < 0 || posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) != 0) Fail("fadvise");
            close(fd);
            db = ArchiveDatabase::OpenReadOnly(g_archive, error);
            state.ResumeTiming();
        }
        const std::int64_t to = last - (n++ % days) * 86400;
        records += static_cast<std::int64_t>(db->Read(to - 86400, to).size());
    }
    state.counters["records_per_day"] = static_cast<double>(records) / static_cast<double>(n);
}
BENCHMARK(BM_ReadDay)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// What the history window asks of the archive for a range ending at the newest record (/0 24 hours
// of records, /1 30 days of clock hours, /2 a year of local days): ReadHistory, then BuildHistory
// apart (build_ms). Each iteration steps one range further back, within the archive.
void BM_ReadHistory(benchmark::State& state) {
    constexpr std::array<HistorySpan, 3> kSpans = {HistorySpan::Day, HistorySpan::Month,
                                                   HistorySpan::Year};
    const HistorySpan span = kSpans[static_cast<std::size_t>(state.range(0))];
    std::string error;
    std::unique_ptr<ArchiveDatabase> db = ArchiveDatabase::OpenReadOnly(g_archive, error);
    if (!db) Fail(error);
    const std::int64_t last = db->Last()->DateTime, first = db->First()->DateTime;
    const HistoryRange newest = RangeOf(span, last, kInterval);
    const std::int64_t ranges =
        std::max<std::int64_t>(1, (last - first) / (newest.To - newest.From));
    std::int64_t n = 0;
    double buckets = 0, buildSeconds = 0;
    for (auto _ : state) {
        const HistoryRange range = RangeOf(span, last, kInterval, -static_cast<int>(n++ % ranges));
        const std::vector<HistoryBucket> read = db->ReadHistory(range);
        state.PauseTiming();
        const auto start = Steady::now();
        benchmark::DoNotOptimize(BuildHistory(read, range, kInterval));
        buildSeconds += std::chrono::duration<double>(Steady::now() - start).count();
        buckets += static_cast<double>(read.size());
        state.ResumeTiming();
    }
    state.counters["buckets"] = buckets / static_cast<double>(n);
    state.counters["build_ms"] = 1e3 * buildSeconds / static_cast<double>(n);
}
BENCHMARK(BM_ReadHistory)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// What start-up asks of the archive: opening it as the window does, and LastRainTotal.
void BM_OpenAndLastRainTotal(benchmark::State& state) {
    for (auto _ : state) {
        std::string error;
        std::unique_ptr<ArchiveDatabase> db = ArchiveDatabase::Open(g_archive, error, false);
        if (!db || !db->LastRainTotal()) state.SkipWithError("no archive or no rain total");
    }
}
BENCHMARK(BM_OpenAndLastRainTotal)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ombrix

int main(int argc, char** argv) {
    using namespace ombrix;
    std::vector<char*> rest = {argv[0]};
    std::string make;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--make" || arg == "--archive") && i + 1 < argc)
            (arg == "--make" ? make : g_archive) = argv[++i];
        else
            rest.push_back(argv[i]);
    }
    if (!make.empty()) {
        const auto start = Steady::now();
        const std::int64_t n = MakeArchive(make, kEnd - 10 * kYear, kEnd);
        const double seconds = std::chrono::duration<double>(Steady::now() - start).count();
        const double bytes = static_cast<double>(std::filesystem::file_size(make));
        std::printf("%lld records in %.1f s, %.0f bytes, %.1f bytes per record\n",
                    static_cast<long long>(n), seconds, bytes, bytes / static_cast<double>(n));
        return 0;
    }
    const std::string folder = g_archive.empty() ? TemporaryFolder() : "";
    if (!folder.empty()) MakeArchive(g_archive = folder + "/week.sqlite", kEnd - 7 * 86400, kEnd);
    int count = static_cast<int>(rest.size());
    benchmark::Initialize(&count, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!folder.empty()) std::filesystem::remove_all(folder);
    return 0;
}
