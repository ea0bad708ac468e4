// The hourly raw log: file names, line bytes and when a line is written. (Folders that are made
// or cannot be, and full disks, are in tests/reliability.)
#include <gtest/gtest.h>

#include "decode_support.h"
#include "logs/raw_log.h"
#include "station/errors.h"

namespace ombrix::test {
namespace {

TEST(RawLog, FileNameAndLineBytes) {
    EXPECT_EQ(RawLogFileName("", {2025, 12, 31, 0, 0, 0}), "WX2025.12.31 00.LOG");
    const Bytes nibbles =
        Bytes("\x0a\x05\x0f", 3) + Bytes(278, '\0') + "\x09";  // codes 10 5 15 0 ... 0 9
    const Bytes tail(" r= 0 p= 1 !x\xB0y\0z", 17);  // bytes above 127 and NUL go in unchanged
    EXPECT_EQ(RawLogLine(nibbles + tail, {2024, 6, 1, 4, 5, 9}),
              "2024.06.01 04:05:09 :5?" + Bytes(278, '0') + "9" + tail + "\r\n");
    EXPECT_THROW(RawLogBody(Bytes(281, '\0')), RuntimeError);
}

// A line for every valid set while it rains; the report set's line ends with its report.
TEST(RawLog, LinesWhileItRains) {
    const struct {
        int Hour, Today;
        bool Logged;
    } cases[] = {{0, 0, false}, {0, 1, true}, {1, 0, true}, {7, 30, true}};
    for (const auto& c : cases) {
        LoggerHarness h;
        const Bytes set = TestSetWith({{kRainHour, c.Hour}, {kRainToday, c.Today}});
        h.Decode(set);
        const Bytes report = h.logger.LastCall().AprsText;
        h.Decode(set);
        ASSERT_EQ(h.appended.size(), c.Logged ? 2u : 0u) << c.Hour << "/" << c.Today;
        if (!c.Logged) continue;
        const Bytes rain = " r= " + std::to_string(c.Hour) + " p= " + std::to_string(c.Today) + " ";
        for (std::size_t i : {0u, 1u}) {
            const auto& [path, line] = h.appended[i];
            const Bytes end = rain + (i == 0 ? report : "") + "\r\n";
            EXPECT_EQ(path, "/wx/WX2024.06.01 14.LOG");
            EXPECT_EQ(line.substr(0, 22), "2024.06.01 14:05:09 ?8");  // 0x8F, low nibble first
            EXPECT_EQ(line.size(), 20 + 282 + end.size());
            EXPECT_TRUE(line.ends_with(end)) << line.substr(302);
        }
        EXPECT_EQ(h.logger.LastCall().RawLog.Line, h.appended[1].second);
    }
}

TEST(RawLog, NewFileEachHourAndOneClockReadingPerLine) {
    LoggerHarness h;
    h.now = At(14, 59, 59);
    h.Decode(TestTelegramSet());
    h.now = At(15, 0, 0);
    h.Decode(TestTelegramSet());
    ASSERT_EQ(h.appended.size(), 2u);
    EXPECT_EQ(h.appended[0].first, "/wx/WX2024.06.01 14.LOG");
    EXPECT_EQ(h.appended[1].first, "/wx/WX2024.06.01 15.LOG");

    // A clock that moves on with every reading: the line's stamp still matches its file.
    int reading = 0;
    const Clock ticking = [&] { return ++reading % 2 == 1 ? At(14, 59, 59) : At(15, 0, 0); };
    std::vector<std::pair<std::string, Bytes>> lines;
    for (int i = 0; i < 4; ++i)
        AppendRawLog(
            Bytes(282, '\0'), "/wx/", ticking,
            [&](const std::string& path, BytesView bytes) { lines.emplace_back(path, bytes); });
    ASSERT_EQ(lines.size(), 4u);
    for (const auto& [path, line] : lines)
        EXPECT_EQ(path.substr(17, 2), line.substr(11, 2)) << path << " / " << line.substr(0, 19);
    EXPECT_EQ(reading, 4);
}

}  // namespace
}  // namespace ombrix::test
