// ombrix-decode's report lines: status, APRS report, AGWPE frame and raw-log line after each
// table, with the clock, position, port and calls given on the command line.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "report_support.h"

namespace ombrix::test {
namespace {

class DecodeTool : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ombrix-report-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Write(const std::string& name, const Bytes& bytes) const {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(dir_ + "/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Runs the tool in the temporary folder (so a stray file would show) and returns its status.
    int Run(const std::vector<std::string>& args) {
        std::string command = "cd '" + dir_ + "' && LC_ALL=C '" + OMBRIX_DECODE_PATH + "'";
        for (const std::string& a : args) command += " '" + a + "'";
        command += " >stdout 2>stderr </dev/null";
        const int raw = std::system(command.c_str());
        out_ = Read("stdout");
        err_ = Read("stderr");
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }

    // The lines that follow the table of the n-th burst (0-based) and start with a report tag.
    std::vector<std::string> ReportLines(int n) const {
        std::vector<std::string> lines;
        int burst = -1;
        std::size_t start = 0;
        for (std::size_t end; (end = out_.find('\n', start)) != std::string::npos;
             start = end + 1) {
            const std::string line = out_.substr(start, end - start);
            if (line.rfind("# ", 0) == 0) ++burst;
            for (const char* tag : {"status: ", "aprs: ", "frame: ", "rawlog: "})
                if (burst == n && line.rfind(tag, 0) == 0) lines.push_back(line);
        }
        return lines;
    }

    std::string dir_;
    std::string out_;
    std::string err_;
};

std::string NibbleText(const Bytes& set) {
    std::string text;
    for (char n : BuildNibbleString(set)) text.push_back(static_cast<char>(Code(n) + 48));
    return text;
}

TEST_F(DecodeTool, ReportLinesAfterEachTable) {
    SetReadings dry;
    dry.RainHour = 0;
    dry.RainToday = 0;
    const std::string dryFile = Write("dry.bin", MakeSet(dry));
    ASSERT_EQ(Run({"--clock", "2024-06-01T14:05:09", "--lage=4903.50N/07201.75W_", "--port", "1",
                   "--calls", "CQ,DL1ABC,WIDE3-3", "--test-set", dryFile, "--test-set"}),
              0)
        << err_;
    EXPECT_EQ(err_, "");
    const std::string report = "!4903.50N/07201.75W_205/006g006t049r000P004h91b10150";
    const std::string frame =
        "01000000"
        "4b000000" +
        std::string(40, '0') +
        "4c000000"
        "00000000"  // header
        "10"
        "86a240404040e0"
        "88986282848660"
        "ae92888a664067"
        "03f0";  // AX.25
    std::string reportHex;
    for (unsigned char c : report) {
        static const char kDigits[] = "0123456789abcdef";
        reportHex += kDigits[c >> 4];
        reportHex += kDigits[c & 15];
    }
    const std::string nibbles = NibbleText(TestTelegramSet());
    EXPECT_EQ(ReportLines(0), (std::vector<std::string>{
                                  "status: 14 05 9 7 8 0 1 9 205 10 194 1015 91",
                                  "aprs: " + report,
                                  "frame: " + frame + reportHex,
                                  "rawlog: " + nibbles + " r= 0 p= 1 " + report,
                              }));
    EXPECT_EQ(ReportLines(1), std::vector<std::string>{});  // no rain, no status, no report
    EXPECT_EQ(ReportLines(2), std::vector<std::string>{"rawlog: " + nibbles + " r= 0 p= 1 "});
    EXPECT_NE(out_.find("Z\xC3\xA4hler\t 3\t\t\t\t 205\t"), std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 3) << "files written";
}

TEST_F(DecodeTool, DefaultsComposeButDoNotSend) {
    ASSERT_EQ(Run({"--clock", "2030-12-31T23:59:00", "--test-set"}), 0);
    EXPECT_EQ(ReportLines(0),
              (std::vector<std::string>{
                  "status: 23 59 9 7 8 0 1 9 205 10 194 1015 91",
                  "aprs: !0000.00N/00000.00E_205/006g006t049r000P004h91b10150",
                  "rawlog: " + NibbleText(TestTelegramSet()) +
                      " r= 0 p= 1 !0000.00N/00000.00E_205/006g006t049r000P004h91b10150",
              }));
    // One line on stderr that says why no frame went out.
    ASSERT_FALSE(err_.empty());
    EXPECT_EQ(err_.find('\n'), err_.size() - 1) << err_;
    EXPECT_NE(err_.find("N0CALL"), std::string::npos) << err_;
}

TEST_F(DecodeTool, DecimalSeparatorLeavesTheReportAlone) {
    SetReadings s;
    s.Pressure = 1015.3;
    const std::string file = Write("p.bin", MakeSet(s));
    ASSERT_EQ(Run({"--decimal-separator", ",", "--calls", "CQ,DL1ABC", file}), 0);
    EXPECT_NE(out_.find("\t1015,3mb\t"), std::string::npos);
    EXPECT_NE(out_.find("\naprs: !0000.00N/00000.00E_205/006g006t049r000P004h91b10153\n"),
              std::string::npos)
        << out_;
}

TEST_F(DecodeTool, BadOptionValues) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--clock", "2024-06-01 14:05:09", "--test-set"},
          {"--clock", "2024-13-01T14:05:09", "--test-set"},
          {"--clock=2024-06-01T24:00:00", "--test-set"},
          {"--port", "x", "--test-set"},
          {"--port", "40000", "--test-set"},
          {"--calls", "A,B,C,D,E", "--test-set"}}) {
        EXPECT_EQ(Run(args), 2) << args[0] << " " << args[1];
        EXPECT_EQ(out_, "");
        EXPECT_FALSE(err_.empty());
    }
}

}  // namespace
}  // namespace ombrix::test
