// ombrix-archive on archives that ombrix-decode wrote from the simulator's bursts: the local days
// of the clock changes, and the answers to wrong use.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support.h"

namespace ombrix {
namespace {

using test::RunTool;
using test::TempDir;

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
    return parts;
}

// Under Europe/Berlin, 29 March 2026 has 23 hours and 25 October 25: one burst every five
// minutes for 27 hours from 23:00 of the day before makes a record in each of their intervals.
TEST(ArchiveTool, DaysOfTheClockChanges) {
    setenv("TZ", "Europe/Berlin", 1);
    struct Row {
        std::string start, offset, day;
        long long from, to;  // the day's local midnights, UTC
        std::string counts;  // records and expected count of the day's line
    };
    for (const Row& row :
         {Row{"2026-03-28T23:00:00", "+01:00", "2026-03-29", 1774738800, 1774821600, "276 276"},
          Row{"2026-10-24T23:00:00", "+02:00", "2026-10-25", 1792879200, 1792969200, "300 300"}}) {
        TempDir dir;
        const auto run = [&](const std::string& program, std::vector<std::string> args) {
            const test::ToolRun r = RunTool(dir.Path, program, args);
            EXPECT_EQ(r.Status, 0) << program << r.Err;
            return r.Out;
        };
        run(OMBRIX_SIM_PATH, {"--out", dir.Path, "--count", "324", "--interval", "300", "--start",
                              row.start, "--seed", "5"});
        std::vector<std::string> decode = {"--archive", "a", "--clock", row.start, "--step", "300"};
        for (int n = 1; n <= 324; ++n)
            decode.push_back(dir / (std::to_string(1e6 + n).substr(1, 6) + ".bin"));
        run(OMBRIX_DECODE_PATH, decode);
        EXPECT_EQ(run(OMBRIX_ARCHIVE_PATH, {"check", "a"}).find("gap"), std::string::npos);

        // What the day's line must say, from the records themselves.
        std::vector<std::string> low, high;
        double rain = 0;
        const std::vector<std::string> lines =
            Split(run(OMBRIX_ARCHIVE_PATH, {"export", "a"}), '\n');
        ASSERT_EQ(lines.size(), 1u + 324);
        EXPECT_EQ(Split(lines[1], ',')[1], row.start + row.offset);
        long long previous = std::stoll(lines[1]) - 300;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            const std::vector<std::string> f = Split(lines[i], ',');
            const long long t = std::stoll(f[0]);
            EXPECT_EQ(t - std::exchange(previous, t), 300) << lines[i];  // continuous in UTC
            if (t <= row.from || t > row.to) continue;
            rain += f[17].empty() ? 0 : std::stod(f[17]);
            if (low.empty() || std::stod(f[4]) < std::stod(low[4])) low = f;
            if (high.empty() || std::stod(f[4]) > std::stod(high[4])) high = f;
        }
        const std::string days =
            run(OMBRIX_ARCHIVE_PATH, {"days", "--from", row.day, "--to", row.day, "a"});
        ASSERT_EQ(Split(days, '\n').size(), 2u) << days;
        const std::vector<std::string> day = Split(Split(days, '\n')[1], ',');
        ASSERT_TRUE(day.size() == 14 && !low.empty()) << days;
        EXPECT_EQ(std::vector<std::string>(day.begin(), day.begin() + 5),
                  (std::vector<std::string>{row.day, low[4], low[1], high[4], high[1]}));
        EXPECT_NEAR(std::stod(day[9]), rain, 1e-9);
        EXPECT_EQ(day[12] + " " + day[13], row.counts);
    }
}

TEST(ArchiveTool, WrongUseEndsWithStatus2NamingIt) {
    TempDir dir;
    dir.Write("text", "no database\n");
    const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
        {{"days", "--from", "2026-02-30", "text"}, "'2026-02-30'"},
        {{"export", "--to", "2026-3-01", "text"}, "'2026-3-01'"},
        {{"export", "--since", "2026-02-01", "text"}, "'--since'"},
        {{"check", "--from", "2026-02-01", "text"}, "'--from'"},
        {{"report", "text"}, "'report'"},
        {{"check", "missing"}, "missing"},
        {{"days", "text"}, "text"},
    };
    for (const auto& [args, named] : rows) {
        const test::ToolRun r = RunTool(dir.Path, OMBRIX_ARCHIVE_PATH, args);
        EXPECT_EQ(r.Status, 2) << args[0] << " " << args[1];
        EXPECT_NE(r.Err.find(named), std::string::npos) << r.Err;
    }
}

}  // namespace
}  // namespace ombrix
