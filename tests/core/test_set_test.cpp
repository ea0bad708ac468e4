// The built-in "Testwerte" set: every cell of rows 1 to 21 under both decimal separators, its
// checksums and its reading (the slots it hands on show in the report tests' status line); and the
// sets the decoder rejects (wrong length, failed checksums) or must accept although they look odd,
// alone and in sequence.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <sstream>
#include <string>

#include "decode_support.h"

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

TEST(TestSet, EveryCellUnderBothSeparators) {
    for (const std::string separator : {".", ","}) {
        DecodeHarness h(separator);
        ASSERT_EQ(h.Decode(TestTelegramSet()), SetOutcome::Valid);
        ASSERT_EQ(h.Table().RowCount(), 21);
        for (int row = 1; row <= 21; ++row) {
            const ExpectedRow& expected = kTestSetTable[static_cast<std::size_t>(row - 1)];
            for (std::size_t column = 0; column < expected.size(); ++column) {
                EXPECT_EQ(h.Cell(row, int(column)), WithSeparator(expected[column], separator))
                    << "\"" << separator << "\", row " << row << " " << expected[0] << ", column "
                    << column;
            }
        }
        EXPECT_TRUE(h.records.empty());
    }
}

// The built-in set has nearly every flag off, so its golden cells cannot prove where the flags
// lie. Here each flag is set by its raw nibble and bit, not through the layout's names; exactly
// the cells named change ("row:column=text", "|" between cells).
TEST(TestSet, FlagsByTheirRawNibble) {
    const std::pair<Edit, const char*> cases[] = {
        // clang-format off
        {{12, "0"}, "1:9=12-Stunden"}, {{12, "3"}, "2:9=Monat.Tag)"}, {{67, "8"}, "1:8=Ein"},
        {{68, "C"}, "3:8=Ein"}, {{68, "3"}, "4:8=Ein"}, {{68, "4"}, ""},
        {{66, "4"}, "3:10=Max Out Of Range: 1; Out Of Range: 0"},
        {{66, "8"}, "3:10=Max Out Of Range: 0; Out Of Range: 1"},
        {{65, "8"}, "4:10=Max Out Of Range: 1; Out Of Range: 0"},
        {{66, "1"}, "4:10=Max Out Of Range: 0; Out Of Range: 1"},
        {{75, "A"}, "5:1=-25.7°C"}, {{105, "8"}, "6:1=-9.4°C"}, {{102, "7"}, "5:9=°F"},
        {{136, "C"}, "5:8=Ein"}, {{136, "3"}, "6:8=Ein"}, {{198, "8"}, "7:8=Ein"},
        {{198, "6"}, "9:8=Ein|10:8=Ein"},
        {{195, "8"}, "9:10=Min Out Of Range: 1; Out Of Range: 0"},
        {{195, "2"}, "9:10=Min Out Of Range: 0; Out Of Range: 1"},
        {{195, "1"}, "10:10=Min Out Of Range: 1; Out Of Range: 0"},
        {{195, "4"}, "10:10=Min Out Of Range: 0; Out Of Range: 1"},
        {{222, "3"}, "11:9=inches"}, {{226, "1"}, "11:8=Ein"},
        {{226, "8"}, "11:10=Out Of Range: 1"},
        {{260, "8"}, "14:9=m/s"}, {{260, "C"}, "14:9=km/h"}, {{279, "4"}, "14:8=Ein"},
        {{280, "2"}, "14:10=Max Out Of Range: 1; Out Of Range: 0"},
        {{280, "8"}, "14:10=Max Out Of Range: 0; Out Of Range: 1"},
        {{280, "4"}, "15:10=Out Of Range: 1"}, {{279, "2"}, "16:8=Ein"}, {{272, "2"}, "16:1=-7°C"},
        {{272, "1"}, "16:4=-3°C"}, {{275, "1"}, "16:7=121°F"}, {{276, "0"}, "16:7=-21°F"},
        {{276, "5"}, "17:1=Batt.(DC)"}, {{276, "9"}, "18:1=leer"}, {{277, "2"}, "20:1=2"},
        {{277, "8"}, "21:1=Alarmwert innen"},
        // clang-format on
    };
    const Decoded reference = Decode(TestTelegramSet());
    for (const auto& [edit, cells] : cases) {
        MeasurementTable expected = reference.Table;
        std::istringstream in(cells);
        int row = 0, column = 0;
        char colon = 0, equals = 0;
        std::string text;
        while (in >> row >> colon >> column >> equals && std::getline(in, text, '|'))
            expected.SetSubItem(row, Column{column}, text);
        EXPECT_EQ(Decode(TestSetWith({edit})).Table.Rows(), expected.Rows())
            << edit.Position << "=" << edit.Hex;
    }
}

TEST(TestSet, LeadBytesAndGroupChecksums) {
    const Bytes& set = TestTelegramSet();
    ASSERT_EQ(set.size(), 141u);
    const unsigned lead[] = {0x8F, 0x9F, 0xAF, 0xBF, 0xCF};
    const unsigned checksum[] = {149, 28, 223, 106, 52};
    for (std::size_t g = 0; g < kGroups.size(); ++g) {
        const GroupChecksum sum = CheckGroup(Mid(set, kGroups[g].First, kGroups[g].Length));
        EXPECT_EQ(Code(set[kGroups[g].First - 1]), lead[g]) << "group " << g + 1;
        EXPECT_EQ(sum.Computed, checksum[g]) << "group " << g + 1;
    }
    // The nibble string takes the low nibble of each byte first.
    EXPECT_EQ(BuildNibbleString(Bytes("\x00\xA5", 2)), Bytes("\x00\x00\x05\x0A", 4));
}

// The logger hands on the reading of each valid set with where the set came from, none for a
// rejected one.
TEST(TestSet, ReadingThroughTheLogger) {
    constexpr QuantityState V = QuantityState::Valid;
    // clang-format off
    StationReading expected{
        .Source = SetSource::TestButton,
        .IndoorTemperature = {25.7, V}, .OutdoorTemperature = {9.4, V}, .IndoorHumidity = {32, V},
        .OutdoorHumidity = {91, V}, .IndoorDewPoint = {8, V}, .OutdoorDewPoint = {8, V},
        .Pressure = {979, V}, .SeaLevelPressure = {1015, V}, .WindChill = {7, V},
        .GustSpeed = {2.8, V}, .GustDirection = {194, V}, .MeanSpeed = {2.6, V},
        .MeanDirection = {205, V}, .RainHour = {0, V}, .RainToday = {1, V},
        .RainSinceReset = {2, V}, .OnBattery = {false, V}, .BatteryLow = {false, V}};
    // clang-format on
    LoggerHarness h;
    h.logger.DecodeTelegramSet(TestTelegramSet(), SetSource::TestButton);
    EXPECT_EQ(h.logger.LastCall().Reading, expected);
    h.Decode(TestTelegramSet());
    expected.Source = SetSource::Station;
    EXPECT_EQ(h.logger.LastCall().Reading, expected);
    h.Decode(TestTelegramSet().substr(1));
    EXPECT_FALSE(h.logger.LastCall().Reading);
}

// A failed checksum shows five rows, one per group: computed sum, then the received one.
TEST(Rejection, FailedChecksumsShowEveryGroupsPair) {
    const struct {
        const char* Name;
        std::function<void(Bytes&)> Change;
        const char* Pairs;  // the cells of the five rows
    } cases[] = {
        {"OneByteOfGroupFour", [](Bytes& s) { s[101] = '\x05'; },
         " 149, 149, 28, 28, 223, 223, 111, 106, 52, 52"},
        {"EveryChecksumByte",
         [](Bytes& s) {
             for (const GroupBounds& g : kGroups) s[g.First + g.Length - 2] = '\0';
         },
         " 149, 0, 28, 0, 223, 0, 106, 0, 52, 0"},
        {"SumWrapsAt256",  // 34 × 255 = 8670, low byte 222
         [](Bytes& s) {
             for (std::size_t i = 0; i < 34; ++i) s[i] = '\xFF';
             s[34] = '\0';
         },
         " 222, 0, 28, 28, 223, 223, 106, 106, 52, 52"},
    };
    for (const auto& c : cases) {
        Bytes set = TestTelegramSet();
        c.Change(set);
        DecodeHarness h;
        EXPECT_EQ(h.Decode(set), SetOutcome::ChecksumFailed) << c.Name;
        std::string pairs;
        for (const TableRow& row : h.Table().Rows()) {
            pairs += (pairs.empty() ? "" : ",") + row[0] + "," + row[1];
            for (std::size_t i = 2; i < row.size(); ++i) EXPECT_EQ(row[i], "") << c.Name;
        }
        EXPECT_EQ(pairs, c.Pairs) << c.Name;
        EXPECT_TRUE(h.records.empty()) << c.Name;
    }
}

TEST(Rejection, AllZeroSetIsValid) {
    DecodeHarness h(",");
    ASSERT_EQ(h.Decode(Bytes(141, '\0')), SetOutcome::Valid);
    ASSERT_EQ(h.Table().RowCount(), 21);
    EXPECT_TRUE(h.records.empty());
    const struct {
        int Row, Column;
        const char* Text;
    } cells[] = {
        // clang-format off
        {1, 1, "00:00:00"}, {1, 9, "12-Stunden"}, {2, 1, "00.00"}, {2, 9, "Tag.Monat"},
        {3, 1, "0%"}, {5, 1, "0,0°C"}, {6, 6, "0,0°F"}, {7, 1, "000mb"}, {7, 7, " 1mb"},
        {7, 9, "inches"}, {7, 10, ""}, {8, 1, "000,0mb"}, {8, 10, ""}, {9, 7, "1°C:"},
        {13, 10, "Reset: 00:00 / 00.00"}, {14, 2, "0,0km/h0°"}, {14, 9, "mph"}, {16, 7, "0°F"},
        {19, 1, "Zeit"}, {21, 1, "Hauptwert"},
        // clang-format on
    };
    for (const auto& c : cells)
        EXPECT_EQ(h.Cell(c.Row, c.Column), c.Text) << c.Row << "/" << c.Column;
    EXPECT_EQ(h.readings[8].Value, 0.0F);
    EXPECT_EQ(h.readings[8].Name, "Luftdruck");
}

// Each set stands alone: a wrong length empties the table, a failed checksum shows five rows, and
// the next valid set shows its table again. The last wrong length is a set with the next burst
// appended to it; the lead bytes are not tested.
TEST(Rejection, ValidBadValidSequences) {
    const Bytes& good = TestTelegramSet();
    Bytes bad = good, leads = good;
    bad[60] = '\x09';
    for (const GroupBounds& g : kGroups) leads[g.First - 1] = '\x01';
    FixChecksums(leads);
    DecodeHarness h, reference;
    reference.Decode(good);
    const struct {
        Bytes Set;
        SetOutcome Outcome;
        int Rows;
    } steps[] = {
        {good, SetOutcome::Valid, 21},
        {good.substr(0, 140), SetOutcome::WrongLength, 0},
        {bad, SetOutcome::ChecksumFailed, 5},
        {good, SetOutcome::Valid, 21},
        {good + '\0', SetOutcome::WrongLength, 0},
        {Bytes(), SetOutcome::WrongLength, 0},
        {good + good, SetOutcome::WrongLength, 0},
        {leads, SetOutcome::Valid, 21},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        EXPECT_EQ(h.Decode(steps[i].Set), steps[i].Outcome) << "step " << i + 1;
        EXPECT_EQ(h.Table().RowCount(), steps[i].Rows) << "step " << i + 1;
        EXPECT_TRUE(steps[i].Rows < 21 || h.Table().Rows() == reference.Table().Rows()) << i + 1;
    }
    EXPECT_TRUE(h.records.empty());
}

}  // namespace
}  // namespace ombrix::test
