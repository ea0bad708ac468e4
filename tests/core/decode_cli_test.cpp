// ombrix-decode as a tool: burst files written here, the built binary run on them, its output and
// exit status read back. What the tool adds to the decoder: its options, the built-in set in its
// place among the files, one decoder for all files, the report lines after each table and exit
// status 2.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "decode_support.h"
#include "support.h"

namespace ombrix::test {
namespace {

// One "# name" line of the output and the lines that follow it.
struct Block {
    std::string Name;
    std::vector<std::string> Lines;
};

std::vector<Block> Blocks(const std::string& out) {
    std::vector<Block> blocks;
    for (const std::string& line : Lines(out, "\n")) {
        if (line.starts_with("# "))
            blocks.push_back({line.substr(2), {}});
        else if (!blocks.empty())
            blocks.back().Lines.push_back(line);
        else
            ADD_FAILURE() << "output does not start with a name line: " << line;
    }
    return blocks;
}

// The lines after the table: those from the 23rd on (21 rows and the "Zähler" row).
std::vector<std::string> ReportLines(const Block& block) {
    return {block.Lines.begin() + std::min<std::size_t>(22, block.Lines.size()), block.Lines.end()};
}

TEST(DecodeCli, TablesAndReportLinesOfOneDecoder) {
    TempDir dir;
    const std::string dry =
        WriteFile(dir / "dry.bin", TestSetWith({{kRainHour, 0}, {kRainToday, 0}}));
    // Run in the temporary folder, so that a stray file would show.
    const ToolRun r = RunTool(
        dir.Path, OMBRIX_DECODE_PATH,
        {"--clock", "2024-06-01T14:05:09", "--lage=4903.50N/07201.75W_", "--port", "1", "--calls",
         "CQ,DL1ABC,WIDE3-3", "--decimal-separator=,", "--test-set", dry, "--test-set"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    const std::string report = "!4903.50N/07201.75W_205/006g006t049r000P004h91b10150";
    // Header: port 1, kind "K", 0x4C data bytes; then the port byte and the address subfields.
    std::string frame = "010000004b000000" + std::string(40, '0') +
                        "4c0000000000000010"
                        "86a240404040e088986282848660ae92888a66406703f0";
    for (unsigned char c : report)
        frame += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
    std::string nibbles;
    for (char n : BuildNibbleString(TestTelegramSet())) nibbles += static_cast<char>(n + '0');
    const std::vector<Block> blocks = Blocks(r.Out);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].Name, "Testwerte");
    EXPECT_EQ(blocks[1].Name, dry);
    // UTF-8 texts, empty cells as empty fields, the separator given.
    EXPECT_EQ(blocks[0].Lines.at(0), "Zeit\t08:00:46\t\t\t\t\t00:00\t\tAus\t24-Stunden\t");
    EXPECT_TRUE(blocks[0].Lines.at(5).starts_with("Temperatur außen\t9,4°C\t"));
    EXPECT_EQ(ReportLines(blocks[0]),
              (std::vector<std::string>{"status: 14 05 9 7 8 0 1 9 205 10 194 1015 91",
                                        "aprs: " + report, "frame: " + frame,
                                        "rawlog: " + nibbles + " r= 0 p= 1 " + report}));
    EXPECT_EQ(ReportLines(blocks[1]), std::vector<std::string>{});  // no rain, status or report
    EXPECT_EQ(ReportLines(blocks[2]),
              std::vector<std::string>{"rawlog: " + nibbles + " r= 0 p= 1 "});
    EXPECT_TRUE(blocks[2].Lines.at(21).starts_with("Z\xC3\xA4hler\t 3\t"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path), {}), 1)
        << "files written";
}

TEST(DecodeCli, UnreadableFilesBadOptionsAndNoFilesGiveStatusTwo) {
    TempDir dir;
    const std::string good = WriteFile(dir / "good.bin", TestTelegramSet());
    const struct {
        std::vector<std::string> Args;
        std::size_t Decoded;  // blocks of the good file
        std::string Named;    // in one line of its own on stderr
    } cases[] = {
        {{good, dir / "missing.bin", good}, 2, dir / "missing.bin"},
        {{dir.Path}, 0, dir.Path},  // a folder is no burst either (it once aborted the run)
        {{}, 0, "usage: ombrix-decode"},
        {{"--clock", "2024-13-01T14:05:09", good}, 0, "--clock"},
        {{"--port", "x", good}, 0, "--port"},
        {{"--calls", "A,B,C,D,E", good}, 0, "--calls"},
        {{"--frobnicate", good}, 0, "unknown option '--frobnicate'"},
    };
    for (const auto& c : cases) {
        const ToolRun r = RunTool(dir.Path, OMBRIX_DECODE_PATH, c.Args);
        EXPECT_EQ(r.Status, 2) << c.Named;
        const std::vector<Block> blocks = Blocks(r.Out);
        EXPECT_EQ(blocks.size(), c.Decoded) << c.Named;
        for (const Block& b : blocks) {
            EXPECT_EQ(b.Name, good);
            // The separator of the run's locale (C).
            EXPECT_TRUE(b.Lines.at(5).starts_with("Temperatur außen\t9.4°C\t"));
        }
        // Whole lines on stderr; exactly one names the file.
        int naming = 0;
        for (const std::string& line : Lines(r.Err, "\n"))
            naming += line.find(c.Named) != std::string::npos;
        EXPECT_EQ(naming, 1) << r.Err;
    }
}

// A rejected set says why, and the run goes on with status 0; the help is for standard output.
TEST(DecodeCli, RejectedSetsSayWhyAndHelpGoesToStandardOutput) {
    TempDir dir;
    Bytes wrong = TestTelegramSet();
    wrong[40] = static_cast<char>(wrong[40] + 1);  // in group 2, whose checksum byte is 28
    const std::string shortSet = WriteFile(dir / "b1.bin", wrong.substr(0, 100));
    const std::string badSum = WriteFile(dir / "b2.bin", wrong);
    const ToolRun r = RunTool(dir.Path, OMBRIX_DECODE_PATH, {shortSet, badSum});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Err, shortSet + ": 100 bytes, a telegram set has 141\n" + badSum +
                         ": checksum of group 2 is 29, the set says 28\n");
    const ToolRun help = RunTool(dir.Path, OMBRIX_DECODE_PATH, {"--help"});
    EXPECT_EQ(help.Status, 0);
    EXPECT_TRUE(help.Out.starts_with("usage: ombrix-decode")) << help.Out;
    EXPECT_EQ(help.Err, "");
}

}  // namespace
}  // namespace ombrix::test
