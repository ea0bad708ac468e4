// ombrix-decode end to end: burst files written here, the built binary run on them, its output
// and exit status read back. Its tables must be the decoder's; after each table come the report
// lines (status, APRS report, AGWPE frame, raw-log line) with the clock, position, port and calls
// given on the command line.
#include <gtest/gtest.h>

#include <cctype>
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
    std::size_t start = 0;
    for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = out.substr(start, end - start);
        if (line.rfind("# ", 0) == 0) {
            blocks.push_back({line.substr(2), {}});
        } else if (blocks.empty()) {
            ADD_FAILURE() << "output does not start with a name line: " << line;
        } else {
            blocks.back().Lines.push_back(line);
        }
    }
    EXPECT_EQ(start, out.size()) << "output does not end in a line feed";
    return blocks;
}

// The block starts with the rows a decoder in this process shows for the set, the 11 cells of
// each joined by TAB. A rejected set shows nothing else; after a valid one the program's "Zähler"
// row follows (with `counter`, the number of valid sets so far) and then its report lines.
void ExpectTable(const Block& block, const Bytes& set, const std::string& separator,
                 int counter = 0) {
    DecodeHarness h(separator);
    h.Decode(set);
    std::vector<std::string> expected;
    for (const TableRow& row : h.Table().Rows()) {
        expected.push_back(row[0]);
        for (std::size_t i = 1; i < row.size(); ++i) expected.back() += "\t" + row[i];
    }
    if (h.Table().RowCount() < 21) {
        EXPECT_EQ(block.Lines, expected) << block.Name;
        return;
    }
    ASSERT_GT(block.Lines.size(), 21u) << block.Name;
    EXPECT_EQ(std::vector<std::string>(block.Lines.begin(), block.Lines.begin() + 21), expected)
        << block.Name;
    EXPECT_EQ(block.Lines[21].rfind("Z\xC3\xA4hler\t " + std::to_string(counter) + "\t", 0), 0u)
        << block.Name << ": " << block.Lines[21];
}

// The block's lines that start with a report tag.
std::vector<std::string> ReportLines(const Block& block) {
    std::vector<std::string> lines;
    for (const std::string& line : block.Lines)
        for (const char* tag : {"status: ", "aprs: ", "frame: ", "rawlog: "})
            if (line.starts_with(tag)) lines.push_back(line);
    return lines;
}

// The set's nibbles as the raw log writes them.
std::string Printable(const Bytes& set) {
    std::string text;
    for (char n : BuildNibbleString(set)) text.push_back(static_cast<char>(Code(n) + '0'));
    return text;
}

TEST(DecodeCli, PrintsTheTableUnderEitherSeparator) {
    TempDir dir;
    const std::string path = WriteFile(dir / "burst.bin", TestTelegramSet());
    const struct {
        std::vector<std::string> Args;
        const char* Separator;
    } cases[] = {
        {{path}, "."},  // the C locale of the run
        {{"--decimal-separator", ",", path}, ","},
        {{"--decimal-separator=,", path}, ","},
    };
    for (const auto& c : cases) {
        const ToolRun r = RunTool(dir.Path, OMBRIX_DECODE_PATH, c.Args);
        EXPECT_EQ(r.Status, 0) << r.Err;
        const std::vector<Block> blocks = Blocks(r.Out);
        ASSERT_EQ(blocks.size(), 1u);
        EXPECT_EQ(blocks[0].Name, path);
        ExpectTable(blocks[0], TestTelegramSet(), c.Separator, 1);
        // UTF-8 texts, empty cells as empty fields.
        EXPECT_EQ(blocks[0].Lines[0], "Zeit\t08:00:46\t\t\t\t\t00:00\t\tAus\t24-Stunden\t");
        EXPECT_TRUE(
            blocks[0].Lines[5].starts_with(WithSeparator("Temperatur außen\t9_4°C\t", c.Separator)))
            << blocks[0].Lines[5];
    }
}

// Error records go to stderr: the last set's sea-level pressure overflows.
TEST(DecodeCli, DecodesSeveralFilesInOrderAsOneDecoder) {
    TempDir dir;
    Bytes badChecksum = TestTelegramSet();
    badChecksum[101] = '\x05';
    const Bytes sets[] = {TestTelegramSet(),   badChecksum, TestTelegramSet().substr(0, 140),
                          Bytes(141, '\0'),    Bytes(),     TestSetWith("103=35A"),
                          TestSetWith("149=4")};
    std::vector<std::string> paths;
    for (const Bytes& set : sets)
        paths.push_back(WriteFile(dir / (std::to_string(paths.size()) + ".bin"), set));
    const ToolRun r = RunTool(dir.Path, OMBRIX_DECODE_PATH, paths);
    EXPECT_EQ(r.Status, 0) << r.Err;
    const std::vector<Block> blocks = Blocks(r.Out);
    ASSERT_EQ(blocks.size(), std::size(sets));
    for (std::size_t i = 0, valid = 0; i < blocks.size(); ++i) {
        EXPECT_EQ(blocks[i].Name, paths[i]);
        valid += sets[i].size() == 141 && i != 1 ? 1 : 0;
        ExpectTable(blocks[i], sets[i], ".", int(valid));
    }

    // The record as composed by hand, with the time of the run in its second line.
    const Bytes golden = ReadFile(OMBRIX_CORE_TEST_DATA "/overflow_record.bin");
    const std::size_t at = r.Err.find(golden.substr(24));
    ASSERT_NE(at, std::string::npos) << r.Err;
    ASSERT_GE(at, 24u);
    const std::string stamp = r.Err.substr(at - 24, 24), shape = "\r\n00-00-0000    00:00:00";
    for (std::size_t i = 0; i < shape.size(); ++i)
        EXPECT_TRUE(shape[i] == '0' ? std::isdigit(static_cast<unsigned char>(stamp[i])) != 0
                                    : stamp[i] == shape[i])
            << stamp;
    int records = 0;
    for (std::size_t p = 0; (p = r.Err.find("Err.Number:", p)) != std::string::npos; ++p) ++records;
    EXPECT_EQ(records, 1);
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
        {{"--clock", "2024-06-01 14:05:09", good}, 0, "--clock"},
        {{"--clock", "2024-13-01T14:05:09", good}, 0, "--clock"},
        {{"--clock=2024-06-01T24:00:00", good}, 0, "--clock"},
        {{"--port", "x", good}, 0, "--port"},
        {{"--port", "40000", good}, 0, "--port"},
        {{"--calls", "A,B,C,D,E", good}, 0, "--calls"},
    };
    for (const auto& c : cases) {
        const ToolRun r = RunTool(dir.Path, OMBRIX_DECODE_PATH, c.Args);
        EXPECT_EQ(r.Status, 2) << c.Named;
        const std::vector<Block> blocks = Blocks(r.Out);
        EXPECT_EQ(blocks.size(), c.Decoded) << c.Named;
        for (const Block& b : blocks) EXPECT_EQ(b.Name, good);
        // Whole lines on stderr; exactly one names the file.
        EXPECT_EQ(r.Err.back(), '\n');
        int naming = 0;
        for (std::size_t start = 0, end; (end = r.Err.find('\n', start)) != std::string::npos;
             start = end + 1)
            naming += r.Err.substr(start, end - start).find(c.Named) != std::string::npos;
        EXPECT_EQ(naming, 1) << r.Err;
    }
}

TEST(DecodeCli, ReportLinesAfterEachTable) {
    TempDir dir;
    const std::string dry = WriteFile(dir / "dry.bin", MakeSet({.RainHour = 0, .RainToday = 0}));
    // Run in the temporary folder, so that a stray file would show.
    const ToolRun r =
        RunTool(dir.Path, OMBRIX_DECODE_PATH,
                {"--clock", "2024-06-01T14:05:09", "--lage=4903.50N/07201.75W_", "--port", "1",
                 "--calls", "CQ,DL1ABC,WIDE3-3", "--test-set", dry, "--test-set"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    const std::string report = "!4903.50N/07201.75W_205/006g006t049r000P004h91b10150";
    // Header: port 1, kind "K", 0x4C data bytes; then the port byte and the address subfields.
    std::string frame = "010000004b000000" + std::string(40, '0') +
                        "4c00000000000000"
                        "10"
                        "86a240404040e0"
                        "88986282848660"
                        "ae92888a664067"
                        "03f0";
    for (unsigned char c : report) {
        frame += "0123456789abcdef"[c >> 4];
        frame += "0123456789abcdef"[c & 15];
    }
    const std::string nibbles = Printable(TestTelegramSet());
    const std::vector<Block> blocks = Blocks(r.Out);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(ReportLines(blocks[0]),
              (std::vector<std::string>{"status: 14 05 9 7 8 0 1 9 205 10 194 1015 91",
                                        "aprs: " + report, "frame: " + frame,
                                        "rawlog: " + nibbles + " r= 0 p= 1 " + report}));
    EXPECT_EQ(ReportLines(blocks[1]), std::vector<std::string>{});  // no rain, status or report
    EXPECT_EQ(ReportLines(blocks[2]),
              std::vector<std::string>{"rawlog: " + nibbles + " r= 0 p= 1 "});
    EXPECT_NE(r.Out.find("Z\xC3\xA4hler\t 3\t\t\t\t 205\t"), std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path), {}), 3)
        << "files written";
}

// The defaults: no position, and N0CALL, so the report is composed but not sent; one line on
// stderr says why.
TEST(DecodeCli, DefaultsComposeButDoNotSend) {
    TempDir dir;
    const ToolRun r =
        RunTool(dir.Path, OMBRIX_DECODE_PATH, {"--clock", "2030-12-31T23:59:00", "--test-set"});
    ASSERT_EQ(r.Status, 0);
    const std::string report = "!0000.00N/00000.00E_205/006g006t049r000P004h91b10150";
    const std::vector<Block> blocks = Blocks(r.Out);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(ReportLines(blocks[0]),
              (std::vector<std::string>{
                  "status: 23 59 9 7 8 0 1 9 205 10 194 1015 91", "aprs: " + report,
                  "rawlog: " + Printable(TestTelegramSet()) + " r= 0 p= 1 " + report}));
    ASSERT_FALSE(r.Err.empty());
    EXPECT_EQ(r.Err.find('\n'), r.Err.size() - 1) << r.Err;
    EXPECT_NE(r.Err.find("N0CALL"), std::string::npos) << r.Err;
}

}  // namespace
}  // namespace ombrix::test
