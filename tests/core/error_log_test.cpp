// The "fehler.log" record: composed for the sea-level pressure overflow during decoding and
// compared byte for byte with a record composed by hand (the table it leaves is the field edge
// cases'); records without a current row; raw bytes. And the file appending the record writer uses.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "decode_support.h"
#include "logs/error_log.h"
#include "logs/file_append.h"
#include "station/errors.h"
#include "support.h"

namespace ombrix::test {
namespace {

// Nibble 149, the ten-thousands of the sea-level pressure, raised from 1 to 4: 40150 does not fit.
const std::vector<Edit> kOverflowing{{149, "4"}};

TEST(ErrorLog, SeaLevelOverflowWritesExactlyTheComposedRecord) {
    // overflow_record.bin was composed by hand: an empty line; "05-12-2026", four blanks to the
    // next print zone, "14:05:09"; "Err.Number:  6 "; "Err.Description: Overflow";
    // "Err.Source: Ombrix"; "BCD: " and the 282 nibbles (byte 75 is 0x34, checksum byte 100 0xE2);
    // "NewItem.Index:  8 " padded to column 29 and "Luftdruck NN"; ten sub-item lines of row 8,
    // all empty because the failure comes before its first cell. Every line ends in CR LF.
    const Bytes golden = ReadFile(OMBRIX_CORE_TEST_DATA "/overflow_record.bin");
    ASSERT_EQ(golden.size(), 842u);
    ASSERT_EQ(Lines(golden, "\r\n").size(), 17u);
    DecodeHarness h;
    ASSERT_EQ(h.Decode(TestSetWith(kOverflowing)), SetOutcome::Valid);
    ASSERT_EQ(h.records.size(), 1u);
    EXPECT_EQ(h.records[0], golden);
    // A valid set writes nothing; the next overflow writes the same record again.
    h.Decode(TestTelegramSet());
    h.Decode(TestSetWith(kOverflowing));
    ASSERT_EQ(h.records.size(), 2u);
    EXPECT_EQ(h.records[1], golden);
}

TEST(ErrorLog, WithoutACurrentRowOnlyLinesOneToSix) {
    const RuntimeError error{kOverflow, "Overflow", "Ombrix"};
    EXPECT_EQ(ErrorLogRecord({error, {2026, 1, 2, 3, 4, 5}, "zuvor", 0, {}}),
              "\r\n01-02-2026    03:04:05\r\nErr.Number:  6 \r\nErr.Description: Overflow\r\n"
              "Err.Source: Ombrix\r\nBCD: zuvor\r\n");
}

TEST(ErrorLog, NulAndBytesAbove127SurviveAsLatin1) {
    TableRow row;
    row[0] = "Luftfeuchte außen";
    row[1] = "91%";
    row[9] = "9,4°C";
    const RuntimeError error{-5, "Ungültiger Wert", "Ombrix"};
    const std::vector<Bytes> lines =
        Lines(ErrorLogRecord(
                  {error, {1999, 12, 31, 23, 59, 58}, Bytes("\x00\x0F\x0A\x0D\x00", 5), 4, row}),
              "\r\n");
    ASSERT_EQ(lines.size(), 17u);  // Latin-1 in octal: \374 ü, \337 ß, \260 °
    EXPECT_EQ(lines[1], "12-31-1999    23:59:58");
    EXPECT_EQ(lines[2], "Err.Number: -5 ");
    EXPECT_EQ(lines[3], "Err.Description: Ung\374ltiger Wert");
    EXPECT_EQ(lines[5], Bytes("BCD: \x00\x0F\x0A\x0D\x00", 10));
    EXPECT_EQ(lines[6], "NewItem.Index:  4 " + std::string(10, ' ') + "Luftfeuchte au\337en");
    EXPECT_EQ(lines[7], "ListView1.ListItems( 4 ).SubItems( 1 ): 91%");
    EXPECT_EQ(lines[15], "ListView1.ListItems( 4 ).SubItems( 9 ): 9,4\260C");
    // What Latin-1 cannot hold becomes "?"; NUL stays.
    EXPECT_EQ(ToLatin1(Bytes("\xE2\x82\xAC a\0b", 7)), Bytes("? a\0b", 5));
}

TEST(FileAppend, CreatesThenAppendsRawBytes) {
    TempDir dir;
    const std::string path = dir / "fehler.log";
    const Bytes first("\r\nBCD: \x00\x0F\r\n", 12);
    const Bytes second("\xB0\xDF\r\n");
    AppendToFile(path, first);
    EXPECT_EQ(ReadFile(path), first);
    AppendToFile(path, second);
    AppendToFile(path, "");
    EXPECT_EQ(ReadFile(path), first + second);
    AppendToFileQuietly(path, Bytes("a\0", 2));
    EXPECT_EQ(ReadFile(path), first + second + Bytes("a\0", 2));
}

TEST(FileAppend, FailuresRaiseTheRuntimesFileErrors) {
    TempDir dir;
    AppendToFile(dir / "plain", "x");
    const struct {
        std::string Path;
        std::int32_t Error;
    } cases[] = {
        {dir / "missing/fehler.log", kPathNotFound},
        {dir / "plain/fehler.log", kPathNotFound},  // a file used as a folder
        {"", kBadFileName},
        {dir / std::string("a\0b", 3), kBadFileName},
    };
    for (const auto& c : cases) {
        std::int32_t error = 0;
        try {
            AppendToFile(c.Path, "record\r\n");
        } catch (const RuntimeError& e) {
            error = e.Number;
            EXPECT_EQ(e.Description, ErrorDescription(e.Number));
        }
        EXPECT_EQ(error, c.Error) << c.Path;
        EXPECT_FALSE(AppendToFileQuietly(c.Path, "x")) << c.Path;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

}  // namespace
}  // namespace ombrix::test
