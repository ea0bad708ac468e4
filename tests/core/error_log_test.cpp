// The "fehler.log" record: composed for the sea-level pressure overflow during decoding and
// compared byte for byte with a record composed by hand; records without a current row; raw bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logs/error_log.h"
#include "station/errors.h"
#include "test_support.h"

namespace ombrix::test {
namespace {

std::vector<Bytes> Lines(const Bytes& record) {
    std::vector<Bytes> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = record.find("\r\n", start)) != Bytes::npos; start = end + 2)
        lines.push_back(record.substr(start, end - start));
    EXPECT_EQ(start, record.size()) << "record does not end in CR LF";
    return lines;
}

// Nibble 149, the ten-thousands of the sea-level pressure, raised from 1 to 4: 40150 does not fit.
Bytes OverflowingSet() {
    return TestSetWith({{149, 4}});
}

TEST(ErrorLog, SeaLevelOverflowWritesExactlyTheComposedRecord) {
    // overflow_record.bin was composed by hand: an empty line; "05-12-2026", four blanks to the
    // next print zone, "14:05:09"; "Err.Number:  6 "; "Err.Description: Overflow";
    // "Err.Source: Ombrix"; "BCD: " and the 282 nibbles (byte 75 is 0x34, checksum byte 100 0xE2);
    // "NewItem.Index:  8 " padded to column 29 and "Luftdruck NN"; ten sub-item lines of row 8,
    // all empty because the failure comes before its first cell. Every line ends in CR LF.
    DecodeHarness h;
    ASSERT_EQ(h.Decode(OverflowingSet()), SetOutcome::Valid);
    ASSERT_EQ(h.records.size(), 1u);
    const Bytes golden = ReadTestData("overflow_record.bin");
    ASSERT_EQ(golden.size(), 842u);
    EXPECT_EQ(h.records[0], golden);

    const std::vector<Bytes> lines = Lines(h.records[0]);
    ASSERT_EQ(lines.size(), 17u);
    EXPECT_EQ(lines[5].size(), 5u + 282u);
    EXPECT_EQ(lines[6].find("Luftdruck NN"), 28u);
}

TEST(ErrorLog, DecodingResumesAfterTheOverflow) {
    for (const char* separator : {".", ","}) {
        DecodeHarness h(separator);
        DecodeHarness reference(separator);
        ASSERT_EQ(h.Decode(OverflowingSet()), SetOutcome::Valid);
        reference.Decode(TestTelegramSet());
        ASSERT_EQ(h.Table().RowCount(), 21);
        EXPECT_EQ(h.records.size(), 1u);
        EXPECT_EQ(h.Cell(8, 0), "Luftdruck NN");
        EXPECT_EQ(h.Cell(8, 1), WithSeparator("000_0mb", separator));
        EXPECT_EQ(h.Cell(8, 10), "Aussichten: sonnig");
        EXPECT_EQ(h.slots[8].Name, "Luftdruck");
        EXPECT_EQ(h.slots[8].Value, 0.0F);
        EXPECT_EQ(h.slots[8].Unit, "mb");
        for (int row = 1; row <= 21; ++row) {
            if (row == 8) continue;
            EXPECT_EQ(h.Table().Row(row), reference.Table().Row(row)) << "row " << row;
        }
        EXPECT_EQ(h.slots[10].Value, 8.0F);
        EXPECT_EQ(h.slots[14].Value, 10.08F);
    }
}

TEST(ErrorLog, EveryOverflowingSeaLevelPressureLeavesOneRecord) {
    const std::vector<std::vector<NibbleEdit>> overflowing = {
        {{145, 8}, {146, 6}, {147, 7}, {148, 2}, {149, 3}},  // 32768
        {{149, 9}},
        {{149, 15}},
        {{145, 15}, {146, 15}, {147, 15}, {148, 15}, {149, 3}},
    };
    for (const auto& edits : overflowing) {
        DecodeHarness h;
        ASSERT_EQ(h.Decode(TestSetWith(edits)), SetOutcome::Valid);
        ASSERT_EQ(h.records.size(), 1u);
        EXPECT_NE(h.records[0].find("Err.Number:  6 \r\nErr.Description: Overflow\r\n"),
                  Bytes::npos);
        EXPECT_EQ(h.Cell(8, 1), "000.0mb");
    }
}

TEST(ErrorLog, RecordsAreCollectedPerFailureAndDecoderKeepsItsTable) {
    DecodeHarness h;
    h.Decode(OverflowingSet());
    h.Decode(TestTelegramSet());
    h.Decode(OverflowingSet());
    EXPECT_EQ(h.records.size(), 2u);
    EXPECT_EQ(h.records[0], h.records[1]);
}

TEST(ErrorLog, AFailingWriterDropsTheRecordAndDecodingGoesOn) {
    int calls = 0;
    Decoder decoder(".", FixedTime, [&](const Bytes&) {
        ++calls;
        Raise(kPathNotFound);
    });
    ASSERT_EQ(decoder.DecodeTelegramSet(OverflowingSet()), SetOutcome::Valid);
    EXPECT_EQ(calls, 1);
    ASSERT_EQ(decoder.Table().RowCount(), 21);
    EXPECT_EQ(decoder.Table().Row(8)[1], "000.0mb");
    EXPECT_EQ(decoder.Table().Row(21)[1], "Hauptwert");

    Decoder silent(".", FixedTime, nullptr);
    ASSERT_EQ(silent.DecodeTelegramSet(OverflowingSet()), SetOutcome::Valid);
    EXPECT_EQ(silent.Table().RowCount(), 21);
}

TEST(ErrorLog, TwoFailingStatementsGiveTwoRecordsInOrder) {
    DecodeHarness h;
    h.decoder.AddStage([](DecodeCall& call) {
        call.Do([] { Raise(kSubscriptOutOfRange); });
        call.Cell(11, [] { return std::string("never"); });  // no sub-item 11
    });
    ASSERT_EQ(h.Decode(OverflowingSet()), SetOutcome::Valid);
    ASSERT_EQ(h.records.size(), 3u);
    EXPECT_NE(h.records[0].find("Err.Number:  6 "), Bytes::npos);
    for (std::size_t i = 1; i < 3; ++i) {
        const std::vector<Bytes> lines = Lines(h.records[i]);
        ASSERT_EQ(lines.size(), 17u);
        EXPECT_EQ(lines[0], "");
        EXPECT_EQ(lines[2], "Err.Number:  9 ");
        EXPECT_EQ(lines[3], "Err.Description: Subscript out of range");
        EXPECT_EQ(lines[6], "NewItem.Index:  21 " + std::string(9, ' ') + "Anzeigewert");
        EXPECT_EQ(lines[7], "ListView1.ListItems( 21 ).SubItems( 1 ): Hauptwert");
        EXPECT_EQ(lines[16], "ListView1.ListItems( 21 ).SubItems( 10 ): ");
    }
    EXPECT_EQ(h.Table().RowCount(), 21);
}

TEST(ErrorLog, WithoutACurrentRowOnlyLinesOneToSix) {
    const MeasurementTable empty;
    const RuntimeError error{kOverflow, "Overflow", "Ombrix"};
    const Bytes record = ErrorLogRecord(error, {2026, 1, 2, 3, 4, 5}, "zuvor", empty, 0);
    EXPECT_EQ(record,
              "\r\n"
              "01-02-2026    03:04:05\r\n"
              "Err.Number:  6 \r\n"
              "Err.Description: Overflow\r\n"
              "Err.Source: Ombrix\r\n"
              "BCD: zuvor\r\n");

    // A row index the table does not hold counts as no current row as well.
    MeasurementTable one;
    one.AppendRow("Zeit");
    EXPECT_EQ(Lines(ErrorLogRecord(error, FixedTime(), "zuvor", one, 2)).size(), 6u);
}

TEST(ErrorLog, NulAndBytesAbove127SurviveAsLatin1) {
    MeasurementTable table;
    for (const char* name : {"Zeit", "Datum", "Luftfeuchte innen", "Luftfeuchte außen"})
        table.AppendRow(name);
    table.SetSubItem(4, 1, "91%");
    table.SetSubItem(4, 9, "9,4°C");
    const Bytes nibbles("\x00\x0F\x0A\x0D\x00", 5);
    const RuntimeError error{-5, "Ungültiger Wert", "Ombrix"};
    const Bytes record = ErrorLogRecord(error, {1999, 12, 31, 23, 59, 58}, nibbles, table, 4);

    const std::vector<Bytes> expected = {
        "",
        "12-31-1999    23:59:58",
        "Err.Number: -5 ",
        "Err.Description: Ung\xFCltiger Wert",
        "Err.Source: Ombrix",
        Bytes("BCD: \x00\x0F\x0A\x0D\x00", 10),
        "NewItem.Index:  4 " + std::string(10, ' ') +
            "Luftfeuchte au\xDF"
            "en",
        "ListView1.ListItems( 4 ).SubItems( 1 ): 91%",
        "ListView1.ListItems( 4 ).SubItems( 2 ): ",
        "ListView1.ListItems( 4 ).SubItems( 3 ): ",
        "ListView1.ListItems( 4 ).SubItems( 4 ): ",
        "ListView1.ListItems( 4 ).SubItems( 5 ): ",
        "ListView1.ListItems( 4 ).SubItems( 6 ): ",
        "ListView1.ListItems( 4 ).SubItems( 7 ): ",
        "ListView1.ListItems( 4 ).SubItems( 8 ): ",
        "ListView1.ListItems( 4 ).SubItems( 9 ): 9,4\xB0"
        "C",
        "ListView1.ListItems( 4 ).SubItems( 10 ): ",
    };
    Bytes joined;
    for (const Bytes& line : expected) joined += line + "\r\n";
    EXPECT_EQ(record, joined);
}

TEST(ErrorLog, ToLatin1KeepsAsciiAndMapsLatin1) {
    EXPECT_EQ(ToLatin1("Taupunkt außen"),
              "Taupunkt au\xDF"
              "en");
    EXPECT_EQ(ToLatin1("gefühlte Temp."), "gef\xFChlte Temp.");
    EXPECT_EQ(ToLatin1("°F"),
              "\xB0"
              "F");
    EXPECT_EQ(ToLatin1(Bytes("a\0b", 3)), Bytes("a\0b", 3));
    EXPECT_EQ(ToLatin1("€"), "?");
}

}  // namespace
}  // namespace ombrix::test
