// ombrix-decode's report lines: status, APRS report, AGWPE frame and raw-log line after each
// table, with the clock, position, port and calls given on the command line.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../core/file_support.h"
#include "report_support.h"

namespace ombrix::test {
namespace {

// The lines of the n-th burst (0-based) that start with a report tag.
std::vector<std::string> ReportLines(const std::string& out, int n) {
    std::vector<std::string> lines;
    int burst = -1;
    std::size_t start = 0;
    for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = out.substr(start, end - start);
        if (line.starts_with("# ")) ++burst;
        for (const char* tag : {"status: ", "aprs: ", "frame: ", "rawlog: "})
            if (burst == n && line.starts_with(tag)) lines.push_back(line);
    }
    return lines;
}

std::string Printable(const Bytes& set) {
    std::string text;
    for (char n : BuildNibbleString(set)) text.push_back(static_cast<char>(Code(n) + '0'));
    return text;
}

const std::string kReport = "!4903.50N/07201.75W_205/006g006t049r000P004h91b10150";

TEST(DecodeTool, ReportLinesAfterEachTable) {
    TempDir dir;
    const std::string dry = WriteFile(dir / "dry.bin", MakeSet({.RainHour = 0, .RainToday = 0}));
    // Run in the temporary folder, so that a stray file would show.
    const ToolRun r =
        RunTool(dir.Path, OMBRIX_DECODE_PATH,
                {"--clock", "2024-06-01T14:05:09", "--lage=4903.50N/07201.75W_", "--port", "1",
                 "--calls", "CQ,DL1ABC,WIDE3-3", "--test-set", dry, "--test-set"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    // Header: port 1, kind "K", 0x4C data bytes; then the port byte and the address subfields.
    std::string frame =
        "01000000"
        "4b000000" +
        std::string(40, '0') +
        "4c000000"
        "00000000"
        "10"
        "86a240404040e0"
        "88986282848660"
        "ae92888a664067"
        "03f0";
    for (unsigned char c : kReport) {
        frame += "0123456789abcdef"[c >> 4];
        frame += "0123456789abcdef"[c & 15];
    }
    const std::string nibbles = Printable(TestTelegramSet());
    EXPECT_EQ(ReportLines(r.Out, 0), (std::vector<std::string>{
                                         "status: 14 05 9 7 8 0 1 9 205 10 194 1015 91",
                                         "aprs: " + kReport,
                                         "frame: " + frame,
                                         "rawlog: " + nibbles + " r= 0 p= 1 " + kReport,
                                     }));
    EXPECT_EQ(ReportLines(r.Out, 1), std::vector<std::string>{});  // no rain, no status, no report
    EXPECT_EQ(ReportLines(r.Out, 2),
              std::vector<std::string>{"rawlog: " + nibbles + " r= 0 p= 1 "});
    EXPECT_NE(r.Out.find("Z\xC3\xA4hler\t 3\t\t\t\t 205\t"), std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path), {}), 3)
        << "files written";
}

TEST(DecodeTool, DefaultsComposeButDoNotSend) {
    TempDir dir;
    const ToolRun r =
        RunTool(dir.Path, OMBRIX_DECODE_PATH, {"--clock", "2030-12-31T23:59:00", "--test-set"});
    ASSERT_EQ(r.Status, 0);
    const std::string report = "!0000.00N/00000.00E_205/006g006t049r000P004h91b10150";
    EXPECT_EQ(ReportLines(r.Out, 0),
              (std::vector<std::string>{
                  "status: 23 59 9 7 8 0 1 9 205 10 194 1015 91", "aprs: " + report,
                  "rawlog: " + Printable(TestTelegramSet()) + " r= 0 p= 1 " + report}));
    // One line on stderr that says why no frame went out.
    ASSERT_FALSE(r.Err.empty());
    EXPECT_EQ(r.Err.find('\n'), r.Err.size() - 1) << r.Err;
    EXPECT_NE(r.Err.find("N0CALL"), std::string::npos) << r.Err;
}

TEST(DecodeTool, BadOptionValues) {
    TempDir dir;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--clock", "2024-06-01 14:05:09", "--test-set"},
          {"--clock", "2024-13-01T14:05:09", "--test-set"},
          {"--clock=2024-06-01T24:00:00", "--test-set"},
          {"--port", "x", "--test-set"},
          {"--port", "40000", "--test-set"},
          {"--calls", "A,B,C,D,E", "--test-set"}}) {
        const ToolRun r = RunTool(dir.Path, OMBRIX_DECODE_PATH, args);
        EXPECT_EQ(r.Status, 2) << args[0] << " " << args[1];
        EXPECT_EQ(r.Out, "");
        EXPECT_FALSE(r.Err.empty());
    }
}

}  // namespace
}  // namespace ombrix::test
