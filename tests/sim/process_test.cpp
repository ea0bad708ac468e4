// ombrix-sim as a program: its pseudo-terminal and link, replay of raw logs with bursts and pauses
// as the intake sees them, an interrupt, and what it refuses to touch.
#include <gtest/gtest.h>

#include <cstring>

#include "decode_support.h"
#include "support.h"
#include "tools/sim/station_values.h"
#include "tools/sim/weather_model.h"

namespace ombrix::sim {
namespace {

// What arrives on fd until `bytes` have come or the time is up, joined into bursts: a quiet of
// half a second or more ends one.
struct Burst {
    double First = 0, Last = 0;
    Bytes Data;
};

std::vector<Burst> ReadBursts(int fd, std::size_t bytes, double timeoutSeconds) {
    std::vector<Burst> bursts;
    std::size_t total = 0;
    const double deadline = test::Seconds() + timeoutSeconds;
    Bytes chunk;
    while (total < bytes && test::Seconds() < deadline) {
        // A terminal whose other side is closed reads as ended at once: do not spin on it.
        if (!test::ReadSome(fd, chunk, 0.05)) {
            usleep(10000);
            continue;
        }
        const double at = test::Seconds();
        if (bursts.empty() || at - bursts.back().Last >= 0.5) bursts.push_back({at, at, {}});
        bursts.back().Last = at;
        bursts.back().Data += chunk;
        total += chunk.size();
        chunk.clear();
    }
    return bursts;
}

using test::LinkTarget;
using test::Process;
using test::TempDir;

// A link left behind by a killed run is replaced; an interrupt (Ctrl-C) removes it. (SIGTERM, as
// tools/run.sh ends it, is in run_command.)
TEST(SimProgram, ReplacesAStaleLinkAndRemovesItOnAnInterrupt) {
    TempDir dir;
    const std::string link = dir / "station";
    ASSERT_EQ(symlink("/dev/pts/nonexistent-4711", link.c_str()), 0);
    Process sim(OMBRIX_SIM_PATH, {"--interval", "2", "--link", link});
    const std::string header = sim.ReadLine(5);
    EXPECT_NE(header.find(link), std::string::npos) << header << sim.Stderr();
    EXPECT_EQ(LinkTarget(link).rfind("/dev/pts/", 0), 0U) << LinkTarget(link);
    EXPECT_NE(LinkTarget(link), "/dev/pts/nonexistent-4711");
    kill(sim.Pid(), SIGINT);
    EXPECT_EQ(sim.Wait(5), 0) << sim.Stderr();
    EXPECT_FALSE(test::Exists(link));
}

// Raw logs written by the program's own raw-log writer, replayed in order onto a serial device:
// a pseudo-terminal stands in for it, and the test reads its other side.
TEST(SimProgram, ReplaysRawLogsUnchangedOntoASerialDevice) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string device = ptsname(master);

    std::vector<Bytes> sets;
    WeatherModel model(8, ToConsoleTime({2024, 6, 1, 14, 0, 0}));
    for (int i = 0; i < 2; ++i, model.Advance(600))
        sets.push_back(EncodeTelegramSet(model.Station()));
    // Line ends, flow control characters, NUL and DEL must not be translated or swallowed.
    Bytes raw = "\n\r\x11\x13" + Bytes(1, '\0') + "\xff\x7f\x03\x1a\x04\x08";
    while (raw.size() < kTelegramSetLength) raw += static_cast<char>(raw.size() * 7);
    sets.insert(sets.begin() + 1, raw);
    TempDir dir;
    // An empty line is skipped; the last line may lack its line end.
    const std::string first =
        dir.Write("WX2024.06.01 14.LOG",
                  test::LoggedLine(sets[0], "N0CALL>APRS:_06011400c220s004g005t050r002p004") +
                      "\r\n" + test::LoggedLine(sets[1], "", 10));
    const Bytes last = test::LoggedLine(sets[2]);
    const std::string second = dir.Write("WX2024.06.01 15.LOG", last.substr(0, last.size() - 2));

    Process sim(OMBRIX_SIM_PATH,
                {"--device", device, "--interval", "2", "--replay", first, second});
    const std::string header = sim.ReadLine(5);
    EXPECT_NE(header.find(device), std::string::npos) << header << sim.Stderr();
    const std::vector<Burst> bursts = ReadBursts(master, 3 * kTelegramSetLength, 8);
    ASSERT_EQ(bursts.size(), 3U);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(bursts[i].Data, sets[i]) << i;
        // Paced like the wire (141 bytes at 9600 baud take about 147 ms), not written at once.
        EXPECT_GT(bursts[i].Last - bursts[i].First, 0.1) << i;
    }
    // Pauses the intake recognises.
    EXPECT_GT(bursts[1].First - bursts[0].Last, 1.0);
    EXPECT_GT(bursts[2].First - bursts[1].Last, 1.0);
    // The replay ends by itself after the last set.
    EXPECT_EQ(sim.Wait(5), 0) << sim.Stderr();
    EXPECT_NE(sim.Stdout().find("3 replay "), std::string::npos) << sim.Stdout();
    close(master);
}

// Refusals (status 1, the reason on standard error) that leave foreign files alone.
TEST(SimProgram, RefusesWhatIsNotItsOwn) {
    TempDir dir;
    const std::string occupied = dir.Write("occupied", "mine");
    const std::string busyLink = dir / "busy";
    ASSERT_EQ(symlink("/dev/null", busyLink.c_str()), 0);
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"--link", occupied}, "exists and is not a link"},
        {{"--link", busyLink}, "already leads to /dev/null"},
        {{"--device", "/dev/null"}, "/dev/null: not a serial device"},
        {{"--replay", dir.Write("bad.LOG", "not a raw log\n")}, "bad.LOG:1: no time stamp"},
    };
    for (const auto& [args, says] : cases) {
        Process sim(OMBRIX_SIM_PATH, args);
        EXPECT_EQ(sim.Wait(5), 1) << args[1];
        EXPECT_NE(sim.Stderr().find(says), std::string::npos) << sim.Stderr();
    }
    EXPECT_EQ(test::ReadFile(occupied), "mine");
    EXPECT_EQ(LinkTarget(busyLink), "/dev/null");
}

}  // namespace
}  // namespace ombrix::sim
