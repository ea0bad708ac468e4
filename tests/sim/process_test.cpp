// ombrix-sim as a program: its pseudo-terminal and link, an interrupt, and what it refuses to
// touch. (Its paced bursts on the link feed the window in run_command.)
#include <gtest/gtest.h>

#include <filesystem>

#include "support.h"

namespace ombrix::sim {
namespace {

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
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
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
