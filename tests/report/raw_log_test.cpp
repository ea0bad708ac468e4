// The hourly raw log: file names, line bytes, when a line is written, and the directory that
// the log lives in.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "logs/file_append.h"
#include "logs/raw_log.h"
#include "report_support.h"
#include "station/errors.h"

namespace ombrix::test {
namespace {

TEST(RawLog, FileNameAndStamp) {
    EXPECT_EQ(RawLogFileName("/var/log/wx/", {2024, 6, 1, 14, 5, 9}),
              "/var/log/wx/WX2024.06.01 14.LOG");
    EXPECT_EQ(RawLogFileName("", {2025, 12, 31, 0, 0, 0}), "WX2025.12.31 00.LOG");
    EXPECT_EQ(RawLogStamp({2024, 6, 1, 4, 5, 9}), "2024.06.01 04:05:09 ");
}

TEST(RawLog, LineBytes) {
    Bytes nibbles(282, '\0');
    nibbles[0] = '\x0a';  // the byte 0x5A: low nibble first
    nibbles[1] = '\x05';
    nibbles[2] = '\x0f';
    nibbles[281] = '\x09';
    const Bytes tail = Bytes(" r= 0 p= 1 !x\xB0y\0z", 17);
    const Bytes line = RawLogLine(nibbles + tail, {2024, 6, 1, 14, 5, 9});
    Bytes expected = "2024.06.01 14:05:09 :5?";
    expected += Bytes(278, '0');
    expected += "9";
    expected += tail;  // bytes above 127 and NUL go in unchanged
    expected += "\r\n";
    EXPECT_EQ(line, expected);
    EXPECT_THROW(RawLogBody(Bytes(281, '\0')), RuntimeError);
}

TEST(RawLog, TextOfASet) {
    const Bytes nibbles(282, '\x01');
    EXPECT_EQ(RawLogText(nibbles, 0, 1, ""), nibbles + " r= 0 p= 1 ");
    EXPECT_EQ(RawLogText(nibbles, 12, 345, "!rep"), nibbles + " r= 12 p= 345 !rep");
}

TEST(RawLog, LinesWhileItRains) {
    struct Case {
        int Hour;
        int Today;
        bool Logged;
    };
    for (const Case c :
         {Case{0, 0, false}, Case{0, 1, true}, Case{1, 0, true}, Case{7, 30, true}}) {
        LoggerHarness h;
        SetReadings s;
        s.RainHour = c.Hour;
        s.RainToday = c.Today;
        const Bytes set = MakeSet(s);
        h.Decode(set);
        const Bytes report = h.logger.LastCall().AprsText;
        EXPECT_EQ(report.substr(0, 31), "!4903.50N/07201.75W_205/006g006");
        h.Decode(set);
        ASSERT_EQ(h.appended.size(), c.Logged ? 2u : 0u) << c.Hour << "/" << c.Today;
        if (!c.Logged) continue;
        Bytes nibbles;
        for (char n : BuildNibbleString(set)) nibbles.push_back(static_cast<char>(Code(n) + 48));
        const Bytes rain = " r=" + NumberText(c.Hour) + " p=" + NumberText(c.Today) + " ";
        EXPECT_EQ(h.appended[0].first, "/wx/WX2024.06.01 14.LOG");
        EXPECT_EQ(h.appended[0].second, "2024.06.01 14:05:09 " + nibbles + rain + report + "\r\n");
        EXPECT_EQ(h.appended[0].second.substr(20, 2), "?8");
        // The second set was no report set: the line ends with the separator's blank.
        EXPECT_EQ(h.appended[1].second, "2024.06.01 14:05:09 " + nibbles + rain + "\r\n");
    }
}

TEST(RawLog, TestSetLine) {
    LoggerHarness h;
    h.Decode(TestTelegramSet());
    ASSERT_EQ(h.appended.size(), 1u);
    const Bytes& line = h.appended[0].second;
    EXPECT_EQ(line.substr(0, 22), "2024.06.01 14:05:09 ?8");
    EXPECT_EQ(line.substr(302),
              " r= 0 p= 1 !4903.50N/07201.75W_205/006g006t049r000P004h91b10150\r\n");
    EXPECT_EQ(h.logger.LastCall().RawLog.Line, line);
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

class RawLogFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ombrix-rawlog-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        ::chmod(dir_.c_str(), 0700);
        std::filesystem::remove_all(dir_);
    }
    static Bytes Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::string dir_;
};

TEST_F(RawLogFiles, MissingDirectoryIsCreatedWithItsParents) {
    LoggerSettings settings = LoggerHarness::DefaultSettings();
    settings.PfadWX = dir_ + "/html/wx/2024/";
    std::vector<Bytes> records;
    WeatherLogger logger(
        settings, [] { return At(14, 5, 9); }, nullptr, AppendToFileCreatingDirectories,
        [&](const Bytes& r) { records.push_back(r); }, [](const std::string&) {});
    logger.DecodeTelegramSet(TestTelegramSet());
    logger.DecodeTelegramSet(TestTelegramSet());
    const std::string file = settings.PfadWX + "WX2024.06.01 14.LOG";
    const Bytes content = Read(file);
    EXPECT_TRUE(records.empty());
    EXPECT_EQ(content.size(), 2 * (20 + 282) + 2 * 11 + 52 + 4);
    EXPECT_EQ(content.substr(0, 22), "2024.06.01 14:05:09 ?8");
    EXPECT_EQ(content.substr(content.size() - 13), " r= 0 p= 1 \r\n");
}

TEST_F(RawLogFiles, UnwritableLogIsAnErrorRecordAndDecodingGoesOn) {
    const std::string blocker = dir_ + "/file";
    AppendToFile(blocker, "x");
    LoggerSettings settings = LoggerHarness::DefaultSettings();
    settings.PfadWX = blocker + "/wx/";  // a directory below a plain file cannot be made
    std::vector<Bytes> records;
    WeatherLogger logger(
        settings, [] { return At(14, 5, 9); }, nullptr, AppendToFileCreatingDirectories,
        [&](const Bytes& r) { records.push_back(r); }, [](const std::string&) {});
    EXPECT_EQ(logger.DecodeTelegramSet(TestTelegramSet()), SetOutcome::Valid);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_NE(records[0].find("Err.Number:  76 \r\n"), std::string::npos) << records[0];
    EXPECT_EQ(logger.Table().RowCount(), 22);
    EXPECT_EQ(logger.StatusText(), "14 05 9 7 8 0 1 9 205 10 194 1015 91");
    EXPECT_EQ(Read(blocker), "x");
}

}  // namespace
}  // namespace ombrix::test
