// Field edge cases of every group: the built-in set with some nibbles replaced (checksums fixed),
// decoded under both separators. Each case lists the cells and readings it changes.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "test_support.h"

namespace ombrix::test {
namespace {

struct CellExpect {
    int Row;
    int Column;        // 0 the row's text, 1..10 its sub-items
    const char* Text;  // "_" for the decimal separator
};

struct SlotExpect {
    int Slot;
    float Value;
};

struct FieldCase {
    const char* Name;
    std::vector<NibbleEdit> Edits;
    std::vector<CellExpect> Cells;
    std::vector<SlotExpect> Slots = {};
};

// Row numbers: 1 Zeit, 2 Datum, 3/4 Luftfeuchte, 5/6 Temperatur, 7 Luftdruck, 8 Luftdruck NN,
// 9/10 Taupunkt, 11 Regenmenge/Std., 12 Regen heute, 13 Regen seit Reset, 14 Wind Spitzen,
// 15 Wind Mittel, 16 gefühlte Temp., 17 Stromversorgung, 18 Batterie, 19 Anzeige,
// 20 Unteranzeige, 21 Anzeigewert.
const std::vector<FieldCase>& Cases() {
    static const std::vector<FieldCase> cases = {
        // Clock
        {"ByteSix2CMonthTwelveMonthFirst12Hour",
         {{11, 12}, {12, 2}},
         {{1, 9, "12-Stunden"}, {2, 1, "07.12"}, {2, 9, "Monat.Tag)"}, {1, 1, "08:00:46"}}},
        {"ByteSix3C24HourMonthFirst",
         {{11, 12}, {12, 3}},
         {{1, 9, "24-Stunden"}, {2, 1, "07.12"}, {2, 9, "Monat.Tag)"}}},
        {"AktuellIgnores12HourDisplay",
         {{3, 0}, {4, 0}, {5, 0}, {6, 3}, {7, 7}, {8, 1}, {12, 0}},
         {{1, 1, "17:30:00"}, {1, 9, "12-Stunden"}, {2, 9, "Tag.Monat"}}},
        {"ClockAlarmArmed",
         {{13, 5}, {14, 4}, {15, 0}, {16, 2}, {67, 8}},
         {{1, 6, "20:45"}, {1, 8, "Ein"}, {3, 8, "Aus"}, {4, 8, "Aus"}}},
        {"ClockAlarmOnlyFromBitThree", {{67, 7}, {16, 8}}, {{1, 8, "Aus"}, {1, 6, "80:00"}}},
        {"ClockNoValidTimeOrDate",
         {{3, 9}, {4, 9}, {5, 0}, {6, 7}, {7, 5}, {8, 2}, {9, 0}, {10, 0}, {11, 13}},
         {{1, 1, "25:70:99"}, {2, 1, "00.13"}, {1, 9, "24-Stunden"}}},
        {"ClockNibblesAboveNine",
         {{7, 15}, {8, 15}, {9, 10}, {10, 1}},
         {{1, 1, "165:00:46"}, {2, 1, "20.10"}}},

        // Humidity
        {"HumidityFiveWithoutLeadingZero", {{17, 5}, {18, 0}}, {{3, 1, "5%"}}},
        {"HumidityNibblesAboveNine",
         {{17, 10}, {18, 1}, {41, 15}, {42, 15}},
         {{3, 1, "20%"}, {4, 1, "165%"}},
         {{4, 165.0F}}},
        {"HumidityStraddlingMinimum", {{52, 3}, {53, 6}}, {{4, 4, "63%"}, {4, 1, "91%"}}},
        {"HumidityIndoorOneAlarmFlag", {{68, 4}}, {{3, 8, "Aus"}, {4, 8, "Aus"}}},
        {"HumidityIndoorBothAlarmFlags", {{68, 12}}, {{3, 8, "Ein"}, {4, 8, "Aus"}}},
        {"HumidityOutdoorOneAlarmFlag", {{68, 1}}, {{3, 8, "Aus"}, {4, 8, "Aus"}}},
        {"HumidityOutdoorBothAlarmFlags", {{68, 3}}, {{3, 8, "Aus"}, {4, 8, "Ein"}}},
        {"HumidityByte33Is48",
         {{65, 8}, {66, 4}},
         {{3, 10, "Max Out Of Range: 1; Out Of Range: 0"},
          {4, 10, "Max Out Of Range: 1; Out Of Range: 0"}}},
        {"HumiditySecondRangeFlags",
         {{66, 9}},
         {{3, 10, "Max Out Of Range: 0; Out Of Range: 1"},
          {4, 10, "Max Out Of Range: 0; Out Of Range: 1"}}},

        // Temperature
        {"TemperatureIndoorNegative",
         {{73, 3}, {74, 5}, {75, 10}, {76, 3}, {77, 5}, {78, 10}, {86, 3}, {87, 5}, {88, 10}},
         {{5, 1, "-25_3°C"}, {5, 2, "-25_3°C"}, {5, 4, "-25_3°C"}}},
        {"TemperatureOutdoorNegative",
         {{103, 3},
          {104, 5},
          {105, 10},
          {106, 3},
          {107, 5},
          {108, 10},
          {116, 3},
          {117, 5},
          {118, 10}},
         {{6, 1, "-25_3°C"}, {6, 2, "-25_3°C"}, {6, 4, "-25_3°C"}},
         {{6, -25.3F}}},
        {"TemperatureOnesEightStaysPositive",
         {{103, 1}, {104, 8}, {105, 0}},
         {{6, 1, "8_1°C"}},
         {{6, 8.1F}}},
        {"TemperatureTensSevenPositive", {{73, 9}, {74, 9}, {75, 7}}, {{5, 1, "79_9°C"}}},
        {"TemperatureTensFifteenNegative", {{73, 9}, {74, 9}, {75, 15}}, {{5, 1, "-79_9°C"}}},
        {"TemperatureNibblesAboveNine",
         {{103, 15}, {104, 12}, {105, 0}},
         {{6, 1, "13_5°C"}},
         {{6, 13.5F}}},
        {"TemperatureMinusZeroHasNoSign",
         {{103, 0}, {104, 0}, {105, 8}},
         {{6, 1, "0_0°C"}},
         {{6, 0.0F}}},
        {"TemperatureFahrenheitDisplay",
         {{102, 7}},
         {{5, 9, "°F"}, {5, 1, "25_7°C"}, {6, 1, "9_4°C"}, {5, 7, "32°F"}, {6, 9, ""}}},
        {"TemperatureOutdoorUpperLimitSigned",
         {{126, 0}, {127, 4}, {128, 8}, {131, 0}},
         {{6, 6, "-40_0°F"}, {6, 7, "40_0°F"}}},
        {"TemperatureOutdoorLimitHundredsAndSign", {{128, 9}}, {{6, 6, "-140_0°F"}}},
        {"TemperatureIndoorLimitsIgnoreSignBit",
         {{96, 0}, {97, 4}, {98, 8}, {101, 9}},
         {{5, 6, "40°F"}, {5, 7, "132°F"}}},
        {"TemperatureIndoorAlarmFlags", {{136, 12}}, {{5, 8, "Ein"}, {6, 8, "Aus"}}},
        {"TemperatureOutdoorAlarmFlags", {{136, 3}}, {{5, 8, "Aus"}, {6, 8, "Ein"}}},
        {"TemperatureOneAlarmFlagEach", {{136, 5}}, {{5, 8, "Aus"}, {6, 8, "Aus"}}},

        // Barometer
        {"PressureLocal95", {{141, 5}, {142, 9}, {143, 0}, {144, 0}}, {{7, 1, "095mb"}}},
        {"PressureLocalNibblesAboveNine",
         {{141, 15}, {142, 15}, {143, 15}, {144, 15}},
         {{7, 1, "16665mb"}}},
        {"PressureUnitInches", {{150, 0}}, {{7, 9, "inches"}, {7, 1, "979mb"}}},
        {"PressureUnitMm", {{150, 1}}, {{7, 9, "mm"}, {7, 1, "979mb"}}},
        {"PressureUnitMb", {{150, 2}}, {{7, 9, "mb"}}},
        {"PressureUnitFourUnset", {{150, 4}}, {{7, 9, ""}, {7, 1, "979mb"}}},
        {"PressureUnitFifteenUnset", {{150, 15}}, {{7, 9, ""}}},
        {"TrendRising", {{152, 1}}, {{7, 10, "Trend: steigend"}}},
        {"TrendFalling", {{152, 4}}, {{7, 10, "Trend: fallend"}}},
        {"TrendZeroUnset", {{152, 0}}, {{7, 10, ""}}},
        {"TrendThreeUnset", {{152, 3}}, {{7, 10, ""}, {8, 10, "Aussichten: sonnig"}}},
        {"TrendEightUnset", {{152, 8}}, {{7, 10, ""}}},
        {"TrendFifteenUnset", {{152, 15}}, {{7, 10, ""}}},
        {"ForecastCloudy", {{151, 2}}, {{8, 10, "Aussichten: bewölkt"}}},
        {"ForecastChangeable", {{151, 4}}, {{8, 10, "Aussichten: wechselhaft"}}},
        {"ForecastRain", {{151, 8}}, {{8, 10, "Aussichten: Regen"}}},
        {"ForecastZeroUnset", {{151, 0}}, {{8, 10, ""}}},
        {"ForecastThreeUnset", {{151, 3}}, {{8, 10, ""}, {7, 10, "Trend: unverändert"}}},
        {"ForecastFifteenUnset", {{151, 15}}, {{8, 10, ""}}},
        {"PressureThresholdFifteen", {{197, 15}}, {{7, 7, " 16mb"}}},
        {"PressureAlarmOnly", {{198, 8}}, {{7, 8, "Ein"}, {9, 8, "Aus"}, {10, 8, "Aus"}}},
        {"SeaLevelPressure32767",
         {{145, 7}, {146, 6}, {147, 7}, {148, 2}, {149, 3}},
         {{8, 1, "3276_7mb"}},
         {{8, 3276.7F}}},
        {"SeaLevelPressureSmall",
         {{145, 5}, {146, 0}, {147, 0}, {148, 0}, {149, 0}},
         {{8, 1, "000_5mb"}},
         {{8, 0.5F}}},

        // Dew point
        {"DewPointFiveAndThresholdFifteen",
         {{153, 5}, {154, 0}, {173, 15}, {174, 15}},
         {{9, 1, "5°C"}, {9, 7, "16°C:"}, {10, 7, "16°C:"}}},
        {"DewPointOutdoorIntoSlot",
         {{175, 9}, {176, 9}, {186, 3}, {187, 0}},
         {{10, 1, "99°C"}, {10, 4, "3°C"}},
         {{10, 99.0F}}},
        {"DewPointAlarmBothRows", {{198, 6}}, {{9, 8, "Ein"}, {10, 8, "Ein"}, {7, 8, "Aus"}}},
        {"DewPointOneAlarmFlag", {{198, 2}}, {{9, 8, "Aus"}, {10, 8, "Aus"}}},
        {"DewPointNibble195Is8",
         {{195, 8}},
         {{9, 10, "Min Out Of Range: 1; Out Of Range: 0"},
          {10, 10, "Min Out Of Range: 0; Out Of Range: 0"}}},
        {"DewPointNibble195Is7",
         {{195, 7}},
         {{9, 10, "Min Out Of Range: 0; Out Of Range: 1"},
          {10, 10, "Min Out Of Range: 1; Out Of Range: 1"}}},

        // Rain
        {"RainInchesDisplayOnly",
         {{222, 2}},
         {{11, 9, "inches"}, {11, 1, "0mm"}, {12, 1, "1mm"}, {13, 1, "2mm"}}},
        {"RainLargestAmounts",
         {{203, 9},
          {204, 9},
          {205, 9},
          {207, 9},
          {208, 9},
          {209, 9},
          {210, 9},
          {211, 9},
          {212, 9},
          {213, 9},
          {214, 9}},
         {{11, 1, "999mm"}, {12, 1, "9999mm"}, {13, 1, "9999mm"}},
         {{11, 999.0F}, {12, 9999.0F}}},
        {"RainAlarmAndOutOfRange", {{226, 9}}, {{11, 8, "Ein"}, {11, 10, "Out Of Range: 1"}}},
        {"RainAlarmLimitNibblesAboveNine", {{223, 15}, {224, 15}, {225, 15}}, {{11, 6, "1665in"}}},
        {"RainResetNoValidStamp",
         {{217, 5}, {218, 2}, {215, 0}, {216, 7}, {219, 0}, {220, 0}, {221, 13}},
         {{13, 10, "Reset: 25:70 / 00.13"}}},

        // Wind and wind chill
        {"WindPeak126", {{231, 6}, {232, 2}, {233, 1}}, {{14, 1, "45_4km/h 194°"}}, {{14, 45.36F}}},
        {"WindPeakZero", {{231, 0}, {232, 0}, {233, 0}}, {{14, 1, "0_0km/h 194°"}}, {{14, 0.0F}}},
        {"WindMeanAndDirection",
         {{237, 0}, {238, 5}, {239, 0}, {240, 0}, {241, 6}, {242, 3}},
         {{15, 1, "18_0km/h 360°"}},
         {{16, 18.0F}, {17, 360.0F}}},
        {"WindNibblesAboveNine",
         {{243, 15}, {244, 15}, {245, 15}, {246, 15}, {247, 15}, {248, 15}},
         {{14, 2, "599_4km/h1665°"}}},
        {"WindUnitKmh", {{260, 12}}, {{14, 9, "km/h"}}},
        {"WindUnitMph", {{260, 0}}, {{14, 9, "mph"}}},
        {"WindUnitMs", {{260, 8}}, {{14, 9, "m/s"}}},
        {"WindUnitIgnoresLowBits", {{260, 3}}, {{14, 9, "mph"}}},
        {"WindAlarm140", {{256, 0}, {257, 4}, {258, 1}}, {{14, 6, "140mph"}}},
        {"WindAlarmArmed", {{279, 4}}, {{14, 8, "Ein"}, {16, 8, "Aus"}}},
        {"WindChillAlarmArmed", {{279, 2}}, {{14, 8, "Aus"}, {16, 8, "Ein"}}},
        {"WindMaxOutOfRange",
         {{280, 2}},
         {{14, 10, "Max Out Of Range: 1; Out Of Range: 0"}, {15, 10, "Out Of Range: 0"}}},
        {"WindMeanOutOfRange",
         {{280, 4}},
         {{14, 10, "Max Out Of Range: 0; Out Of Range: 0"}, {15, 10, "Out Of Range: 1"}}},
        {"WindPeakOutOfRange", {{280, 8}}, {{14, 10, "Max Out Of Range: 0; Out Of Range: 1"}}},
        {"WindChillNegative",
         {{261, 5}, {262, 0}, {272, 2}},
         {{16, 1, "-5°C"}, {16, 4, "3°C"}},
         {{18, -5.0F}}},
        {"WindChillPositive", {{261, 5}, {262, 0}}, {{16, 1, "5°C"}}, {{18, 5.0F}}},
        {"WindChillMinimumNegative", {{272, 1}}, {{16, 1, "7°C"}, {16, 4, "-3°C"}}, {{18, 7.0F}}},
        {"WindChillMinusZero", {{261, 0}, {262, 0}, {272, 2}}, {{16, 1, "0°C"}}, {{18, 0.0F}}},
        {"WindChillLargest",
         {{261, 15}, {262, 15}, {272, 2}},
         {{16, 1, "-165°C"}},
         {{18, -165.0F}}},
        {"WindChillAlarmMinus125",
         {{273, 5}, {274, 2}, {276, 1}, {275, 8}},
         {{16, 7, "-125°F"}, {17, 1, "Netz (AC)"}}},
        {"WindChillAlarmSignOnlyBitThree", {{275, 7}}, {{16, 7, "121°F"}}},

        // Power supply and display state
        {"BatteryPoweredAndLow",
         {{276, 13}},
         {{17, 1, "Batt.(DC)"}, {18, 1, "leer"}, {16, 7, "-121°F"}}},
        {"BatteryPoweredOnly", {{276, 5}}, {{17, 1, "Batt.(DC)"}, {18, 1, "voll"}}},
        {"MainsBatteryLow", {{276, 9}}, {{17, 1, "Netz (AC)"}, {18, 1, "leer"}}},
        {"DisplayTime", {{278, 0}}, {{19, 1, "Zeit"}}},
        {"DisplayTemperature", {{278, 1}}, {{19, 1, "Temp."}}},
        {"DisplayHumidity", {{278, 2}}, {{19, 1, "Luftfeuchte"}}},
        {"DisplayDewPoint", {{278, 3}}, {{19, 1, "Taupunkt"}}},
        {"DisplayPressure", {{278, 4}}, {{19, 1, "Luftdruck"}}},
        {"DisplayWindChill", {{278, 6}}, {{19, 1, "gefühlte Temp."}}},
        {"DisplayRain", {{278, 7}}, {{19, 1, "Regen"}}},
        {"DisplayFourthBitIgnored", {{278, 13}}, {{19, 1, "Wind"}}},
        {"DisplayEightIsTime", {{278, 8}}, {{19, 1, "Zeit"}}},
        {"DisplayFifteenIsRain", {{278, 15}}, {{19, 1, "Regen"}}},
        {"SubDisplayTwoStoredValue", {{277, 6}}, {{20, 1, "2"}, {21, 1, "Speicherwert"}}},
        {"SubDisplayOneIndoorAlarm", {{277, 9}}, {{20, 1, "1"}, {21, 1, "Alarmwert innen"}}},
        {"SubDisplayThreeOutdoorAlarm", {{277, 15}}, {{20, 1, "3"}, {21, 1, "Alarmwert außen"}}},
    };
    return cases;
}

class FieldEdgeCase : public ::testing::TestWithParam<std::tuple<std::size_t, std::string>> {};

TEST_P(FieldEdgeCase, ChangesOnlyWhatItShould) {
    const auto [index, separator] = GetParam();
    const FieldCase& c = Cases()[index];
    DecodeHarness h(separator);
    ASSERT_EQ(h.Decode(TestSetWith(c.Edits)), SetOutcome::Valid);
    ASSERT_EQ(h.Table().RowCount(), 21);
    for (const CellExpect& e : c.Cells) {
        EXPECT_EQ(h.Cell(e.Row, e.Column), WithSeparator(e.Text, separator))
            << "row " << e.Row << " \"" << h.Cell(e.Row, 0) << "\", column " << e.Column;
    }
    for (const SlotExpect& s : c.Slots)
        EXPECT_EQ(h.slots[s.Slot].Value, s.Value) << "slot " << s.Slot;

    // Every cell the case does not name keeps its text from the unchanged set.
    DecodeHarness reference(separator);
    reference.Decode(TestTelegramSet());
    for (int row = 1; row <= 21; ++row) {
        for (int column = 0; column < kColumnCount; ++column) {
            bool named = false;
            for (const CellExpect& e : c.Cells)
                named = named || (e.Row == row && e.Column == column);
            if (!named) {
                EXPECT_EQ(h.Cell(row, column), reference.Cell(row, column))
                    << "unexpected change in row " << row << ", column " << column;
            }
        }
    }
    EXPECT_TRUE(h.records.empty()) << h.records.size() << " error records";
}

INSTANTIATE_TEST_SUITE_P(Groups, FieldEdgeCase,
                         ::testing::Combine(::testing::Range<std::size_t>(0, Cases().size()),
                                            ::testing::Values(std::string("."), std::string(","))),
                         [](const auto& info) {
                             return std::string(Cases()[std::get<0>(info.param)].Name) +
                                    (std::get<1>(info.param)[0] == ',' ? "Comma" : "Point");
                         });

}  // namespace
}  // namespace ombrix::test
