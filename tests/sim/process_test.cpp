// ombrix-sim as a program: its pseudo-terminal and link, bursts and pauses as the intake sees
// them, replay of raw logs, signals, and its answers to wrong usage.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "logs/raw_log.h"
#include "sim_support.h"
#include "tools/sim/bursts.h"

namespace ombrix::sim {
namespace {

using test::Exists;
using test::SimProcess;
using test::TempDir;

// Opens the station's terminal through the link; -1 when that fails.
int OpenStation(const std::string& link) {
    return open(link.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

TEST(SimProgram, SendsTwoBurstsWithAPauseAndRemovesItsLink) {
    TempDir dir;
    const std::string link = dir.File("station");
    SimProcess sim({"--count", "2", "--interval", "2", "--seed", "3", "--link", link});
    ASSERT_TRUE(sim.Started());
    const std::string header = sim.ReadLine(5);
    EXPECT_NE(header.find(link), std::string::npos) << header;
    const int fd = OpenStation(link);
    ASSERT_GE(fd, 0) << std::strerror(errno);

    const std::vector<test::Burst> bursts =
        test::Bursts(test::ReadArrivals(fd, 2 * kTelegramSetLength, 6), 0.5);
    close(fd);
    ASSERT_EQ(bursts.size(), 2U);
    for (const test::Burst& b : bursts) {
        EXPECT_EQ(b.Data.size(), kTelegramSetLength);
        EXPECT_TRUE(test::AllGroupsPass(b.Data));
    }
    // A pause the intake recognises, and the second burst paced like the wire (141 bytes at
    // 9600 baud take about 147 ms).
    EXPECT_GT(bursts[1].First - bursts[0].Last, 1.0);
    EXPECT_GT(bursts[1].Last - bursts[1].First, 0.1);

    EXPECT_EQ(sim.Wait(5), 0) << sim.Stderr();
    EXPECT_FALSE(Exists(link));
    EXPECT_EQ(sim.Stdout().rfind("1 set ", 0), 0U) << sim.Stdout();
    EXPECT_NE(sim.Stdout().find("\n2 set "), std::string::npos) << sim.Stdout();
}

class SimStopSignal : public ::testing::TestWithParam<int> {};

TEST_P(SimStopSignal, EndsCleanlyAndRemovesItsLink) {
    TempDir dir;
    const std::string link = dir.File("station");
    SimProcess sim({"--interval", "2", "--link", link});
    ASSERT_TRUE(sim.Started());
    ASSERT_FALSE(sim.ReadLine(5).empty());
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target).rfind("/dev/pts/", 0), 0U) << target;
    ASSERT_FALSE(sim.ReadLine(5).empty());  // the first burst is out

    kill(sim.Pid(), GetParam());
    EXPECT_EQ(sim.Wait(5), 0) << sim.Stderr();
    EXPECT_FALSE(Exists(link));
}

INSTANTIATE_TEST_SUITE_P(Signals, SimStopSignal, ::testing::Values(SIGTERM, SIGINT),
                         [](const auto& info) { return info.param == SIGTERM ? "Term" : "Int"; });

TEST(SimProgram, ReplaysRawLogsToTheSameBytes) {
    TempDir dir;
    std::vector<Bytes> sets;
    WeatherModel model(8, ToConsoleTime({2024, 6, 1, 14, 0, 0}));
    for (int i = 0; i < 3; ++i) {
        model.Advance(600);
        sets.push_back(EncodeTelegramSet(model.Station()));
    }
    // A zero byte goes through as any other: set it in Group2 and mend that group's checksum.
    sets[1][40] = '\0';
    unsigned sum = 0;
    for (std::size_t i = 35; i < 68; ++i) sum += Code(sets[1][i]);
    sets[1][68] = static_cast<char>(sum & 255u);
    ASSERT_TRUE(test::AllGroupsPass(sets[1]));
    // Written by the program's own raw-log writer, into two hourly files.
    {
        std::ofstream first(dir.File("WX2024.06.01 14.LOG"), std::ios::binary);
        std::ofstream second(dir.File("WX2024.06.01 15.LOG"), std::ios::binary);
        for (int i = 0; i < 3; ++i) {
            const Bytes& set = sets[static_cast<std::size_t>(i)];
            const Bytes report = i == 0 ? "N0CALL>APRS:_06011400c220s004g005t050r002p004" : "";
            const LocalTime at{2024, 6, 1, 14 + i / 2, 10 * i, 0};
            (i < 2 ? first : second) << RawLogLine(
                RawLogText(BuildNibbleString(set), 1.0F, 2.0F + static_cast<float>(i), report), at);
        }
    }
    const std::string link = dir.File("station");
    SimProcess sim({"--interval", "2", "--link", link, "--replay", dir.File("WX2024.06.01 14.LOG"),
                    dir.File("WX2024.06.01 15.LOG")});
    ASSERT_TRUE(sim.Started());
    ASSERT_FALSE(sim.ReadLine(5).empty()) << sim.Stderr();
    const int fd = OpenStation(link);
    ASSERT_GE(fd, 0);
    const std::vector<test::Burst> bursts =
        test::Bursts(test::ReadArrivals(fd, 3 * kTelegramSetLength, 8), 0.5);
    close(fd);
    ASSERT_EQ(bursts.size(), 3U);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(bursts[i].Data, sets[i]) << i;
        EXPECT_EQ(test::Decode(bursts[i].Data).Table.Rows(), test::Decode(sets[i]).Table.Rows());
    }
    // The replay ends by itself after the last set.
    EXPECT_EQ(sim.Wait(5), 0) << sim.Stderr();
    EXPECT_NE(sim.Stdout().find("3 replay "), std::string::npos) << sim.Stdout();
    EXPECT_FALSE(Exists(link));
}

TEST(SimProgram, WritesEveryByteUnchangedToASerialDevice) {
    // A pseudo-terminal stands in for the serial device; the test reads its other side.
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string device = ptsname(master);

    // Line ends, flow control characters, NUL and DEL must not be translated or swallowed.
    Bytes set = "\n\r\x11\x13" + Bytes(1, '\0') + "\xff\x7f\x03\x1a\x04\x08";
    while (set.size() < kTelegramSetLength) set += static_cast<char>(set.size() * 7);
    TempDir dir;
    {
        std::ofstream log(dir.File("WX.LOG"), std::ios::binary);
        log << "2024.06.01 14:00:00 ";
        for (char n : BuildNibbleString(set)) log << static_cast<char>(Code(n) + 48);
        log << " r= 1 p= 1 \r\n";
    }
    SimProcess sim({"--device", device, "--interval", "2", "--replay", dir.File("WX.LOG")});
    ASSERT_TRUE(sim.Started());
    const std::string header = sim.ReadLine(5);
    EXPECT_NE(header.find(device), std::string::npos) << header << sim.Stderr();
    const std::vector<test::Arrival> arrivals = test::ReadArrivals(master, kTelegramSetLength, 4);
    Bytes received;
    for (const test::Arrival& a : arrivals) received += a.Data;
    EXPECT_EQ(received, set);
    EXPECT_EQ(sim.Wait(5), 0) << sim.Stderr();
    close(master);
}

struct WrongUsage {
    const char* Name;
    std::vector<std::string> Args;
    const char* Message;
};

void PrintTo(const WrongUsage& c, std::ostream* os) {
    *os << c.Name;
}

class SimWrongUsage : public ::testing::TestWithParam<WrongUsage> {};

TEST_P(SimWrongUsage, ExitsWithTwoAndSaysWhy) {
    SimProcess sim(GetParam().Args);
    ASSERT_TRUE(sim.Started());
    EXPECT_EQ(sim.Wait(5), 2);
    EXPECT_NE(sim.Stderr().find(GetParam().Message), std::string::npos) << sim.Stderr();
    EXPECT_TRUE(sim.Stdout().empty()) << sim.Stdout();
}

const WrongUsage kWrongUsage[] = {
    {"IntervalTooShort", {"--interval", "1.5"}, "--interval: at least 2 seconds"},
    {"IntervalNoNumber", {"--interval", "ten"}, "--interval: \"ten\" is no number"},
    {"CountZero", {"--count", "0"}, "--count: \"0\" is no whole number of at least 1"},
    {"SpeedZero", {"--speed=0"}, "--speed: more than 0"},
    {"SeedNegative", {"--seed", "-1"}, "--seed: \"-1\""},
    {"FaultUnknown", {"--fault", "hiccup:2"}, "--fault: \"hiccup:2\" is not KIND:N"},
    {"FaultZero", {"--fault", "split:0"}, "--fault: \"split:0\""},
    {"StartNoDate", {"--start", "2024-02-30 10:00"}, "--start: \"2024-02-30 10:00\" is no time"},
    {"LinkAndDevice", {"--link", "a", "--device", "b"}, "--link and --device exclude"},
    {"ReplayNothing", {"--replay"}, "--replay needs at least one file"},
    {"MissingValue", {"--count"}, "--count needs a value"},
    {"UnknownOption", {"--baud", "9600"}, "unknown option \"--baud\""},
};

INSTANTIATE_TEST_SUITE_P(Args, SimWrongUsage, ::testing::ValuesIn(kWrongUsage),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(SimProgram, HelpDescribesTheOptions) {
    SimProcess sim({"--help"});
    EXPECT_EQ(sim.Wait(5), 0);
    for (const char* option : {"--link", "--device", "--interval", "--count", "--seed", "--speed",
                               "--fault", "--replay", "bad-checksum", "double"})
        EXPECT_NE(sim.Stdout().find(option), std::string::npos) << option;
}

TEST(SimProgram, FailuresExitWithOneAndLeaveForeignFilesAlone) {
    TempDir dir;
    const std::string occupied = dir.File("occupied");
    { std::ofstream(occupied) << "mine"; }
    const std::string busyLink = dir.File("busy");
    ASSERT_EQ(symlink("/dev/null", busyLink.c_str()), 0);
    const std::string badLog = dir.File("bad.LOG");
    { std::ofstream(badLog) << "not a raw log\n"; }

    struct Case {
        std::vector<std::string> Args;
        const char* Message;
    };
    const Case cases[] = {
        {{"--link", occupied}, "exists and is not a link"},
        {{"--link", busyLink}, "already leads to /dev/null"},
        {{"--link", dir.File("missing/station")}, "cannot create the link"},
        {{"--device", "/dev/null"}, "/dev/null: not a serial device"},
        {{"--device", dir.File("nothing")}, "No such file or directory"},
        {{"--replay", dir.File("nothing.LOG")}, "nothing.LOG"},
        {{"--replay", badLog}, "bad.LOG:1: no time stamp"},
    };
    for (const Case& c : cases) {
        SimProcess sim(c.Args);
        EXPECT_EQ(sim.Wait(5), 1) << c.Message;
        EXPECT_NE(sim.Stderr().find(c.Message), std::string::npos) << sim.Stderr();
    }
    std::ifstream in(occupied);
    std::string content;
    in >> content;
    EXPECT_EQ(content, "mine");
    char target[64] = {};
    ASSERT_GT(readlink(busyLink.c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "/dev/null");
}

TEST(SimProgram, ReplacesALinkLeftBehindByAKilledRun) {
    TempDir dir;
    const std::string link = dir.File("station");
    ASSERT_EQ(symlink("/dev/pts/nonexistent-4711", link.c_str()), 0);
    SimProcess sim({"--count", "1", "--interval", "2", "--link", link});
    ASSERT_FALSE(sim.ReadLine(5).empty()) << sim.Stderr();
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_STRNE(target, "/dev/pts/nonexistent-4711");
    EXPECT_EQ(sim.Wait(5), 0) << sim.Stderr();
    EXPECT_FALSE(Exists(link));
}

}  // namespace
}  // namespace ombrix::sim
