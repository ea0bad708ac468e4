// ombrix-decode end to end: burst files written here, the built binary run on them, its output
// and exit status read back.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "test_support.h"

namespace ombrix::test {
namespace {

struct RunResult {
    int Status = -1;
    std::string Out;
    std::string Err;
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') {
            q += "'\\''";
        } else {
            q += c;
        }
    }
    return q + "'";
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "output does not end in a line feed";
    return lines;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> cells;
    std::size_t start = 0;
    for (std::size_t end; (end = line.find('\t', start)) != std::string::npos; start = end + 1)
        cells.push_back(line.substr(start, end - start));
    cells.push_back(line.substr(start));
    return cells;
}

class DecodeCli : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ombrix-decode-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Write(const std::string& name, const Bytes& bytes) const {
        const std::string path = dir_ + "/" + name;
        std::ofstream out(path, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Runs the decoder with the given arguments under the C locale (point as separator).
    RunResult Run(const std::vector<std::string>& args) const {
        std::string command = "LC_ALL=C " + Quote(OMBRIX_DECODE_PATH);
        for (const std::string& a : args) command += " " + Quote(a);
        command += " >" + Quote(dir_ + "/stdout") + " 2>" + Quote(dir_ + "/stderr") + " </dev/null";
        const int raw = std::system(command.c_str());
        RunResult r;
        r.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.Out = Read(dir_ + "/stdout");
        r.Err = Read(dir_ + "/stderr");
        return r;
    }

    std::string dir_;
};

// One "# name" block of the output: its table rows (lines of 11 TAB-joined cells) and any
// further lines without a TAB that the decoder prints after the table.
struct Block {
    std::string Name;
    std::vector<std::vector<std::string>> Rows;
    std::vector<std::string> Extra;
};

std::vector<Block> Blocks(const std::string& out) {
    std::vector<Block> blocks;
    for (const std::string& line : SplitLines(out)) {
        if (line.rfind("# ", 0) == 0) {
            blocks.push_back({line.substr(2), {}, {}});
            continue;
        }
        if (blocks.empty()) {
            ADD_FAILURE() << "output does not start with a name line: " << line;
            continue;
        }
        if (line.find('\t') == std::string::npos) {
            blocks.back().Extra.push_back(line);
            continue;
        }
        EXPECT_TRUE(blocks.back().Extra.empty()) << "table row after other lines: " << line;
        blocks.back().Rows.push_back(SplitTabs(line));
        EXPECT_EQ(blocks.back().Rows.back().size(), 11u) << line;
    }
    return blocks;
}

// The rows a decoder in this process gives for the set.
std::vector<std::vector<std::string>> Rows(const Bytes& set, const std::string& separator) {
    DecodeHarness h(separator);
    h.Decode(set);
    std::vector<std::vector<std::string>> rows;
    for (const TableRow& row : h.Table().Rows()) rows.emplace_back(row.begin(), row.end());
    return rows;
}

// A valid set shows the rows 1 to 21 of the decoder; the program's "Zähler" row may follow.
void ExpectValidTable(const Block& block, const Bytes& set, const std::string& separator) {
    ASSERT_GE(block.Rows.size(), 21u) << block.Name;
    ASSERT_LE(block.Rows.size(), 22u) << block.Name;
    const auto expected = Rows(set, separator);
    for (std::size_t i = 0; i < 21; ++i)
        EXPECT_EQ(block.Rows[i], expected[i]) << block.Name << " row " << i + 1;
    if (block.Rows.size() == 22) {
        EXPECT_EQ(block.Rows[21][0], "Z\xC3\xA4hler");
    }
}

TEST_F(DecodeCli, PrintsNameLineAndElevenTabJoinedCellsPerRow) {
    const std::string path = Write("burst.bin", TestTelegramSet());
    const RunResult r = Run({path});
    EXPECT_EQ(r.Status, 0) << r.Err;
    const std::vector<Block> blocks = Blocks(r.Out);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(r.Out.rfind("# " + path + "\nZeit\t08:00:46\t", 0), 0u);
    EXPECT_EQ(blocks[0].Name, path);
    ExpectValidTable(blocks[0], TestTelegramSet(), ".");
    // UTF-8 texts and empty cells as empty fields.
    const auto& rows = blocks[0].Rows;
    EXPECT_EQ(rows[0], (std::vector<std::string>{"Zeit", "08:00:46", "", "", "", "", "00:00", "",
                                                 "Aus", "24-Stunden", ""}));
    EXPECT_EQ(rows[3][0],
              "Luftfeuchte au\xC3\x9F"
              "en");
    EXPECT_EQ(rows[6][10], "Trend: unver\xC3\xA4ndert");
    EXPECT_EQ(rows[13][1], "10.1km/h 194\xC2\xB0");
    EXPECT_EQ(rows[13][2], "36.0km/h226\xC2\xB0");
    EXPECT_EQ(rows[15][0], "gef\xC3\xBChlte Temp.");
    EXPECT_EQ(rows[20], (std::vector<std::string>{"Anzeigewert", "Hauptwert", "", "", "", "", "",
                                                  "", "", "", ""}));
}

TEST_F(DecodeCli, DecimalSeparatorOption) {
    const std::string path = Write("burst.bin", TestTelegramSet());
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--decimal-separator", ",", path},
          std::vector<std::string>{"--decimal-separator=,", path}}) {
        const RunResult r = Run(args);
        EXPECT_EQ(r.Status, 0);
        const std::vector<Block> blocks = Blocks(r.Out);
        ASSERT_EQ(blocks.size(), 1u);
        ExpectValidTable(blocks[0], TestTelegramSet(), ",");
        EXPECT_EQ(blocks[0].Rows[4][1],
                  "25,7\xC2\xB0"
                  "C");
        EXPECT_EQ(blocks[0].Rows[7][1], "1015,0mb");
    }
    // Without the option the C locale of the run gives the point.
    const std::vector<Block> point = Blocks(Run({path}).Out);
    ASSERT_EQ(point.size(), 1u);
    ASSERT_GE(point[0].Rows.size(), 21u);
    EXPECT_EQ(point[0].Rows[4][1],
              "25.7\xC2\xB0"
              "C");
}

TEST_F(DecodeCli, DecodesSeveralFilesInOrder) {
    Bytes badChecksum = TestTelegramSet();
    badChecksum[101] = '\x05';
    const Bytes zeros(141, '\0');
    const Bytes negative = TestSetWith({{103, 3}, {104, 5}, {105, 10}});
    const std::string a = Write("a.bin", TestTelegramSet());
    const std::string b = Write("b.bin", badChecksum);
    const std::string c = Write("c.bin", TestTelegramSet().substr(0, 140));
    const std::string d = Write("d.bin", zeros);
    const std::string e = Write("e.bin", Bytes());
    const std::string f = Write("f.bin", negative);
    const RunResult r = Run({a, b, c, d, f, e, a});
    EXPECT_EQ(r.Status, 0);
    const std::vector<Block> blocks = Blocks(r.Out);
    ASSERT_EQ(blocks.size(), 7u);
    const std::string names[] = {a, b, c, d, f, e, a};
    for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(blocks[i].Name, names[i]);
    ExpectValidTable(blocks[0], TestTelegramSet(), ".");
    const std::vector<std::vector<std::string>> checksumRows = {
        {" 149", " 149", "", "", "", "", "", "", "", "", ""},
        {" 28", " 28", "", "", "", "", "", "", "", "", ""},
        {" 223", " 223", "", "", "", "", "", "", "", "", ""},
        {" 111", " 106", "", "", "", "", "", "", "", "", ""},
        {" 52", " 52", "", "", "", "", "", "", "", "", ""}};
    EXPECT_EQ(blocks[1].Rows, checksumRows);
    EXPECT_TRUE(blocks[2].Rows.empty());
    ExpectValidTable(blocks[3], zeros, ".");
    ExpectValidTable(blocks[4], negative, ".");
    EXPECT_EQ(blocks[4].Rows[5][1],
              "-25.3\xC2\xB0"
              "C");
    EXPECT_TRUE(blocks[5].Rows.empty());
    ExpectValidTable(blocks[6], TestTelegramSet(), ".");
    // Rejected sets add nothing after their table.
    for (std::size_t i : {1u, 2u, 5u}) EXPECT_TRUE(blocks[i].Extra.empty()) << names[i];
}

TEST_F(DecodeCli, UnreadableFileGivesOneLineAndStatusTwo) {
    const std::string good = Write("good.bin", TestTelegramSet());
    const std::string missing = dir_ + "/missing.bin";
    const RunResult r = Run({good, missing});
    EXPECT_EQ(r.Status, 2);
    const std::vector<Block> blocks = Blocks(r.Out);
    ASSERT_GE(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].Name, good);
    EXPECT_EQ(r.Out.find("missing.bin"), std::string::npos);
    // The message names the file on one line of its own.
    const std::size_t at = r.Err.find(missing);
    ASSERT_NE(at, std::string::npos) << r.Err;
    const std::size_t lineStart =
        r.Err.rfind('\n', at) == std::string::npos ? 0 : r.Err.rfind('\n', at) + 1;
    const std::size_t lineEnd = r.Err.find('\n', at);
    ASSERT_NE(lineEnd, std::string::npos);
    EXPECT_EQ(r.Err.find(missing, lineEnd), std::string::npos) << r.Err;
    EXPECT_GT(lineEnd, lineStart);

    // A directory cannot be read as a burst either.
    const RunResult d = Run({dir_});
    EXPECT_EQ(d.Status, 2);
    EXPECT_EQ(d.Out, "");
    ASSERT_FALSE(d.Err.empty());
    EXPECT_EQ(d.Err.find('\n'), d.Err.size() - 1) << d.Err;
}

TEST_F(DecodeCli, ErrorRecordsGoToStandardError) {
    const Bytes overflowing = TestSetWith({{149, 4}});
    const std::string path = Write("overflow.bin", overflowing);
    const RunResult r = Run({path});
    EXPECT_EQ(r.Status, 0);
    const std::vector<Block> blocks = Blocks(r.Out);
    ASSERT_EQ(blocks.size(), 1u);
    ExpectValidTable(blocks[0], overflowing, ".");
    EXPECT_EQ(blocks[0].Rows[7][1], "000.0mb");
    EXPECT_EQ(blocks[0].Rows[7][10], "Aussichten: sonnig");

    // The record as composed by hand, but with the time of the run in its second line
    // (nibbles with codes 10 and 13 go out raw, so it cannot be split at line ends).
    const Bytes golden = ReadTestData("overflow_record.bin");
    const std::size_t number = r.Err.find("\r\nErr.Number:  6 \r\n");
    ASSERT_NE(number, std::string::npos) << r.Err;
    ASSERT_GE(number, 24u);
    EXPECT_EQ(r.Err.find("Err.Number:", number + 10), std::string::npos) << "more than one record";
    const std::size_t start = number - 24;
    EXPECT_EQ(r.Err.substr(start, 2), "\r\n");
    EXPECT_EQ(r.Err.substr(start + 24, golden.size() - 24), golden.substr(24));
    const std::string stamp = r.Err.substr(start + 2, 22);
    for (std::size_t i : {0u, 1u, 3u, 4u, 6u, 7u, 8u, 9u, 14u, 15u, 17u, 18u, 20u, 21u})
        EXPECT_TRUE(stamp[i] >= '0' && stamp[i] <= '9') << stamp;
    EXPECT_EQ(stamp.substr(10, 4), "    ") << stamp;
    EXPECT_EQ(stamp[2], '-');
    EXPECT_EQ(stamp[5], '-');
    EXPECT_EQ(stamp[16], ':');
    EXPECT_EQ(stamp[19], ':');
}

TEST_F(DecodeCli, NoFilesIsAUsageError) {
    const RunResult r = Run({});
    EXPECT_EQ(r.Status, 2);
    EXPECT_EQ(r.Out, "");
    EXPECT_FALSE(r.Err.empty());
}

}  // namespace
}  // namespace ombrix::test
