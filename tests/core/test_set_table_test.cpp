// The built-in "Testwerte" set decoded into the table: every cell of rows 1 to 21 under both
// decimal separators, its checksums and the readings that the report stage receives.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>

#include "test_support.h"

namespace ombrix::test {
namespace {

// "_" stands for the decimal separator. Columns: Messgroesse, then sub-items 1 to 10.
using ExpectedRow = std::array<const char*, kColumnCount>;
// clang-format off
constexpr std::array<ExpectedRow, 21> kTestSetTable{{
    {"Zeit", "08:00:46", "", "", "", "", "00:00", "", "Aus", "24-Stunden", ""},
    {"Datum", "07.10", "", "", "", "", "", "", "", "Tag.Monat", ""},
    {"Luftfeuchte innen", "32%", "67%", "08:23 / 04.10", "32%", "08:00 / 07.10", "97%", "10%", "Aus",
     "", "Max Out Of Range: 0; Out Of Range: 0"},
    {"Luftfeuchte außen", "91%", "92%", "05:41 / 07.10", "40%", "13:52 / 05.10", "97%", "10%", "Aus",
     "", "Max Out Of Range: 0; Out Of Range: 0"},
    {"Temperatur innen", "25_7°C", "29_8°C", "16:19 / 06.10", "17_5°C", "00:00 / 01.01", "122°F",
     "32°F", "Aus", "°C", ""},
    {"Temperatur außen", "9_4°C", "26_3°C", "13:45 / 05.10", "9_4°C", "08:00 / 07.10", "140_0°F",
     "-40_0°F", "Aus", "", ""},
    {"Luftdruck", "979mb", "", "", "", "", "", " 1mb", "Aus", "hPa", "Trend: unverändert"},
    {"Luftdruck NN", "1015_0mb", "", "", "", "", "", "", "", "", "Aussichten: sonnig"},
    {"Taupunkt innen", "8°C", "15°C", "18:22 / 05.10", "8°C", "08:00 / 07.10", "", "1°C:", "Aus", "",
     "Min Out Of Range: 0; Out Of Range: 0"},
    {"Taupunkt außen", "8°C", "15°C", "12:12 / 05.10", "7°C", "07:55 / 07.10", "", "1°C:", "Aus", "",
     "Min Out Of Range: 0; Out Of Range: 0"},
    {"Regenmenge/Std.", "0mm", "", "", "", "", "393in", "", "Aus", "mm", "Out Of Range: 0"},
    {"Regen heute", "1mm", "", "", "", "", "", "", "", "", ""},
    {"Regen seit Reset", "2mm", "", "", "", "", "", "", "", "", "Reset: 00:00 / 01.01"},
    {"Wind Spitzen", "10_1km/h 194°", "36_0km/h226°", "12:39 / 05.10", "", "", "125mph", "", "Aus",
     "Knoten", "Max Out Of Range: 0; Out Of Range: 0"},
    {"Wind Mittel", "9_4km/h 205°", "", "", "", "", "", "", "", "", "Out Of Range: 0"},
    {"gefühlte Temp.", "7°C", "", "", "3°C", "09:24 / 04.10", "", "-121°F", "Aus", "", ""},
    {"Stromversorgung", "Netz (AC)", "", "", "", "", "", "", "", "", ""},
    {"Batterie", "voll", "", "", "", "", "", "", "", "", ""},
    {"Anzeige", "Wind", "", "", "", "", "", "", "", "", ""},
    {"Unteranzeige", "0", "", "", "", "", "", "", "", "", ""},
    {"Anzeigewert", "Hauptwert", "", "", "", "", "", "", "", "", ""},
}};
// clang-format on

class TestSetRow : public ::testing::TestWithParam<std::tuple<int, std::string>> {};

TEST_P(TestSetRow, EveryCellAsShown) {
    const auto [row, separator] = GetParam();
    DecodeHarness h(separator);
    ASSERT_EQ(h.Decode(TestTelegramSet()), SetOutcome::Valid);
    ASSERT_EQ(h.Table().RowCount(), 21);
    const ExpectedRow& expected = kTestSetTable[static_cast<std::size_t>(row)];
    for (int column = 0; column < kColumnCount; ++column) {
        EXPECT_EQ(h.Cell(row + 1, column),
                  WithSeparator(expected[static_cast<std::size_t>(column)], separator))
            << "row " << row + 1 << " \"" << expected[0] << "\", column " << column;
    }
    EXPECT_TRUE(h.records.empty());
}

INSTANTIATE_TEST_SUITE_P(BothSeparators, TestSetRow,
                         ::testing::Combine(::testing::Range(0, 21),
                                            ::testing::Values(std::string("."), std::string(","))),
                         [](const auto& info) {
                             return "Row" + std::to_string(std::get<0>(info.param) + 1) +
                                    (std::get<1>(info.param)[0] == ',' ? "Comma" : "Point");
                         });

TEST(TestSet, HasItsBytesLeadBytesAndTwentyTwoZeros) {
    const Bytes& set = TestTelegramSet();
    ASSERT_EQ(set.size(), 141u);
    const unsigned lead[] = {0x8F, 0x9F, 0xAF, 0xBF, 0xCF};
    for (std::size_t g = 0; g < kGroups.size(); ++g)
        EXPECT_EQ(Code(set[kGroups[g].First - 1]), lead[g]);
    int zeros = 0;
    for (char c : set) zeros += c == '\0' ? 1 : 0;
    EXPECT_EQ(zeros, 22);
    EXPECT_EQ(Code(set[1]), 0x46u);
    EXPECT_EQ(Code(set[73]), 0x01u);
    EXPECT_EQ(Code(set[140]), 0x34u);
}

TEST(TestSet, GroupChecksumsAre149_28_223_106_52) {
    const unsigned expected[] = {149, 28, 223, 106, 52};
    const Bytes& set = TestTelegramSet();
    for (std::size_t g = 0; g < kGroups.size(); ++g) {
        const GroupChecksum sum = CheckGroup(Mid(set, kGroups[g].First, kGroups[g].Length));
        EXPECT_EQ(sum.Computed, expected[g]) << "group " << g + 1;
        EXPECT_EQ(sum.Received, expected[g]) << "group " << g + 1;
        EXPECT_TRUE(sum.Ok());
    }
}

TEST(TestSet, NibbleStringTakesTheLowNibbleFirst) {
    const Bytes nibbles = BuildNibbleString(TestTelegramSet());
    ASSERT_EQ(nibbles.size(), 282u);
    EXPECT_EQ(Code(nibbles[2]), 6u);  // byte 2 is 0x46
    EXPECT_EQ(Code(nibbles[3]), 4u);
    for (char c : nibbles) EXPECT_LT(Code(c), 16u);
    const Bytes a5 = BuildNibbleString(Bytes("\x00\xA5", 2));
    EXPECT_EQ(a5, Bytes("\x00\x00\x05\x0A", 4));
}

struct ExpectedSlot {
    int Slot;
    const char* Name;
    float Value;
    const char* Unit;
};

TEST(TestSet, FillsTheReadingsOfTheReport) {
    DecodeHarness h;
    ASSERT_EQ(h.Decode(TestTelegramSet()), SetOutcome::Valid);
    const ExpectedSlot slots[] = {
        {4, "Luftfeuchte", 91.0F, "%"},
        {6, "Temperatur", 9.4F, "°C"},
        {8, "Luftdruck", 1015.0F, "mb"},
        {10, "Taupunkt", 8.0F, "°C"},
        {11, "Niederschlag in der letzten Stunde", 0.0F, "mm"},
        {12, "Niederschlag heute (seit 00:00 Uhr)", 1.0F, "mm"},
        {14, "Windgeschwindigkeit Spitzenwert", 10.08F, "km/h "},
        {15, "Windrichtung des Spitzenwertes", 194.0F, "°"},
        {16, "Windgeschwindigkeit Mittelwert", 9.36F, "km/h "},
        {17, "Windrichtung des Mittelwertes", 205.0F, "°"},
        {18, "gefühlte Temperatur", 7.0F, "°C"},
    };
    for (const ExpectedSlot& s : slots) {
        EXPECT_EQ(h.slots[s.Slot].Name, s.Name) << "slot " << s.Slot;
        EXPECT_EQ(h.slots[s.Slot].Value, s.Value) << "slot " << s.Slot;
        EXPECT_EQ(h.slots[s.Slot].Unit, s.Unit) << "slot " << s.Slot;
    }
    for (int unused : {0, 1, 2, 3, 5, 7, 9, 13, 19, 20}) {
        EXPECT_EQ(h.slots[unused].Name, "") << "slot " << unused;
        EXPECT_EQ(h.slots[unused].Value, 0.0F) << "slot " << unused;
        EXPECT_EQ(h.slots[unused].Unit, "") << "slot " << unused;
    }
}

}  // namespace
}  // namespace ombrix::test
