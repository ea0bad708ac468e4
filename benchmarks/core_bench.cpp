// The core on the road of one telegram set, without widgets, sockets or files: the checks and the
// table of a valid set, the rejection of a wrong one, the report stage behind the decoder, the
// frames that carry a report to the engine and the raw-log line.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "decode/decoder.h"
#include "logs/raw_log.h"
#include "pipeline/weather_logger.h"
#include "report/agwpe.h"
#include "report/ax25.h"
#include "station/fields.h"
#include "station/telegram_set.h"

namespace ombrix {
namespace {

// Frames are counted, not sent.
class CountingSink : public FrameSink {
  public:
    void WriteAgwFrame(const Bytes& wire) override {
        ++frames;
        bytes += wire.size();
    }
    long long frames = 0;
    long long bytes = 0;
};

LocalTime FixedTime() {
    return {2024, 6, 1, 14, 5, 9};
}

// The built-in set with one byte of the rain group changed: its checksum no longer holds.
Bytes BadChecksumSet() {
    Bytes set = TestTelegramSet();
    set[kGroups[3].First] = static_cast<char>(set[kGroups[3].First] ^ 0x01);
    return set;
}

// The built-in set without rain (rain of the last hour and of the day zero; the rain group's
// checksum made to fit): no raw-log line is due for it.
Bytes DrySet() {
    Bytes set = TestTelegramSet();
    std::vector<int> nibbles;
    for (const field::Digits& f : {kRainHour, kRainToday})
        for (int p = f.Position; p < f.Position + f.Length; ++p) nibbles.push_back(p);
    for (int p : nibbles) {
        const auto i = static_cast<std::size_t>((p + 1) / 2 - 1);
        const unsigned keep = p % 2 == 1 ? 0xF0U : 0x0FU;
        set[i] = static_cast<char>(static_cast<unsigned char>(set[i]) & keep);
    }
    const GroupBounds g = kGroups[3];
    const GroupChecksum sum = CheckGroup(BytesView(set).substr(g.First - 1, g.Length));
    set[g.First - 1 + g.Length - 1] = static_cast<char>(sum.Computed);
    return set;
}

// Every record goes nowhere; a valid set should produce none.
struct ErrorCounter {
    long long* count;
    void operator()(const DecodeError&) const { ++*count; }
};

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "core_bench: %s\n", what);
        std::abort();
    }
}

// DecodeTelegramSet alone: checksums, nibble string, the 21 quantity rows.
void BM_DecodeTestSet(benchmark::State& state) {
    long long errors = 0;
    Decoder decoder(".", FixedTime, ErrorCounter{&errors});
    const Bytes set = TestTelegramSet();
    for (auto _ : state) {
        benchmark::DoNotOptimize(decoder.DecodeTelegramSet(set));
        benchmark::DoNotOptimize(decoder.Table().RowCount());
    }
    Check(decoder.Table().RowCount() == 21, "the built-in set did not give 21 rows");
    state.counters["error_records"] = static_cast<double>(errors);
}
BENCHMARK(BM_DecodeTestSet);

// A rejected set: the wrong length (stops at once) and a bad checksum (five checksum rows).
void BM_DecodeRejected(benchmark::State& state) {
    const bool badChecksum = state.range(0) == 1;
    state.SetLabel(badChecksum ? "bad checksum" : "wrong length (140 bytes)");
    long long errors = 0;
    Decoder decoder(".", FixedTime, ErrorCounter{&errors});
    const Bytes set = badChecksum ? BadChecksumSet() : TestTelegramSet().substr(1);
    const SetOutcome expected = badChecksum ? SetOutcome::ChecksumFailed : SetOutcome::WrongLength;
    for (auto _ : state) {
        const SetOutcome outcome = decoder.DecodeTelegramSet(set);
        benchmark::DoNotOptimize(outcome);
        if (outcome != expected) state.SkipWithError("the set was not rejected as expected");
    }
}
BENCHMARK(BM_DecodeRejected)->Arg(0)->Arg(1);

// A whole WeatherLogger call, as the window makes it after the quiet period: decoding, the report
// stage and the raw-log step (the line is composed; the appender writes nothing). The clock is
// the system's, as in the program.
//   kind 0: plain set (no status line, no report), 1: status set (every sixth),
//   2: report set (status line, APRS report, AX.25 frame, AGWPE header), 3: plain set without
//   rain (no raw-log line).
void BM_LoggerCall(benchmark::State& state) {
    const int kind = static_cast<int>(state.range(0));
    static const char* const kLabels[] = {"plain set", "status set", "report set",
                                          "plain set, dry (no raw-log line)"};
    state.SetLabel(kLabels[kind]);
    CountingSink sink;
    long long errors = 0;
    LoggerSettings settings;
    settings.PfadWX = "/nowhere/";
    settings.AddressCalls = {"APRS", "DL1ABC", "WIDE1-1", "", "", ""};
    long long lines = 0;
    WeatherLogger logger(
        settings, SystemLocalTime, &sink, [&](const std::string&, BytesView) { ++lines; },
        ErrorCounter{&errors}, [](const std::string&) {});
    const Bytes set = kind == 3 ? DrySet() : TestTelegramSet();

    // The counter after a call: 1 report (and status line), 7, 13, ... status line, others plain.
    // The sets between two of the wanted kind run outside the measured time, so each call is
    // timed on its own.
    auto nextIsReport = [&] { return logger.Report().Counter() == 0; };
    auto nextIsStatus = [&] { return logger.Report().Counter() % kStatusEvery == 0; };
    auto nextIsWanted = [&] {
        switch (kind) {
            case 1:
                return nextIsStatus() && !nextIsReport();
            case 2:
                return nextIsReport();
            default:
                return !nextIsStatus();
        }
    };
    for (auto _ : state) {
        if (kind == 2) logger.ResetCounter();
        while (!nextIsWanted()) logger.DecodeTelegramSet(set);
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(logger.DecodeTelegramSet(set));
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    Check(logger.Table().RowCount() == 22, "the logger did not give 22 rows");
    Check(kind == 3 || lines > 0, "no raw-log line was composed");
    Check(kind != 2 || sink.frames > 0, "no frame was sent for a report set");
    state.counters["error_records"] = static_cast<double>(errors);
}
BENCHMARK(BM_LoggerCall)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->UseManualTime();

// Sixty sets in a row, one whole cycle of the counter: per set, the mean the station's line
// actually sees (one report, ten status lines, the rest plain).
void BM_LoggerCycleOf60(benchmark::State& state) {
    CountingSink sink;
    long long errors = 0;
    LoggerSettings settings;
    settings.AddressCalls = {"APRS", "DL1ABC", "WIDE1-1", "", "", ""};
    WeatherLogger logger(
        settings, SystemLocalTime, &sink, [](const std::string&, BytesView) {},
        ErrorCounter{&errors}, [](const std::string&) {});
    const Bytes set = TestTelegramSet();
    for (auto _ : state) {
        for (int i = 0; i < kReportCycle; ++i)
            benchmark::DoNotOptimize(logger.DecodeTelegramSet(set));
    }
    state.SetItemsProcessed(state.iterations() * kReportCycle);
    state.counters["per_set_us"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kReportCycle),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["error_records"] = static_cast<double>(errors);
}
BENCHMARK(BM_LoggerCycleOf60)->Unit(benchmark::kMicrosecond);

// The report of the built-in set, as the report stage composes it.
const Bytes& SampleReport() {
    static const Bytes report = [] {
        CountingSink sink;
        LoggerSettings settings;
        settings.Lage = "5130.00N/00730.00E_";
        settings.AddressCalls = {"APRS", "DL1ABC", "WIDE1-1", "", "", ""};
        WeatherLogger logger(
            settings, FixedTime, &sink, [](const std::string&, BytesView) {},
            [](const DecodeError&) {}, [](const std::string&) {});
        logger.DecodeTelegramSet(TestTelegramSet());
        return logger.LastCall().AprsText;
    }();
    return report;
}

// SendAx25Ui: address field (destination, source, one digipeater), control, PID and the report,
// then the 36-byte AGWPE header in front of it.
void BM_SendAx25Ui(benchmark::State& state) {
    const Bytes& report = SampleReport();
    Check(!report.empty(), "no sample report");
    const AddressList calls{"APRS", "DL1ABC", "WIDE1-1", "", "", ""};
    CountingSink sink;
    for (auto _ : state) SendAx25Ui(&sink, 0, calls, report);
    state.counters["frame_bytes"] = static_cast<double>(sink.bytes / std::max(1LL, sink.frames));
}
BENCHMARK(BM_SendAx25Ui);

// The AGWPE header alone: SendAgwFrame with kind "K" and empty calls around a ready frame.
void BM_SendAgwFrame(benchmark::State& state) {
    const Bytes frame = Ax25UiFrame(0, {"APRS", "DL1ABC", "WIDE1-1", "", "", ""}, SampleReport());
    CountingSink sink;
    for (auto _ : state) SendAgwFrame(&sink, 0, "K", "", "", frame);
    Check(sink.bytes == sink.frames * static_cast<long long>(kAgwHeaderLength + frame.size()),
          "wrong AGWPE frame length");
}
BENCHMARK(BM_SendAgwFrame);

// The raw-log line of a report set: text for the log (nibbles, rain, report), then stamp, the
// printable nibbles and CR LF.
void BM_RawLogLine(benchmark::State& state) {
    const Bytes nibbles = BuildNibbleString(TestTelegramSet());
    const Bytes& report = SampleReport();
    const LocalTime now = FixedTime();
    std::size_t length = 0;
    for (auto _ : state) {
        const Bytes line = RawLogLine(RawLogText(nibbles, 0.0F, 1.0F, report), now);
        length = line.size();
        benchmark::DoNotOptimize(line.data());
    }
    state.counters["line_bytes"] = static_cast<double>(length);
}
BENCHMARK(BM_RawLogLine);

}  // namespace
}  // namespace ombrix

BENCHMARK_MAIN();
