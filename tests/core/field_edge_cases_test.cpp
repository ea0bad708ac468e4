// Field edge cases of every group: the built-in set with some nibbles replaced (checksums fixed),
// decoded under both separators. Each case lists the cells and readings it changes; every other
// cell must keep its text from the unchanged set.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "decode_support.h"

namespace ombrix::test {
namespace {

struct FieldCase {
    const char* Name;
    const char* Edits;  // nibble edits as TestSetWith takes them
    std::vector<std::tuple<int, int, const char*>> Cells = {};  // row, column, "_" for separator
    std::vector<std::pair<int, float>> Slots = {};              // reading slot, value
};

// Row numbers: 1 Zeit, 2 Datum, 3/4 Luftfeuchte, 5/6 Temperatur, 7 Luftdruck, 8 Luftdruck NN,
// 9/10 Taupunkt, 11 Regenmenge/Std., 12 Regen heute, 13 Regen seit Reset, 14 Wind Spitzen,
// 15 Wind Mittel, 16 gefühlte Temp., 17 Stromversorgung, 18 Batterie, 19 Anzeige,
// 20 Unteranzeige, 21 Anzeigewert. A case with no cells changes nothing.
// clang-format off
const FieldCase kCases[] = {
    // The lead bytes of the five groups (0x8F to 0xCF) are not tested: 0x01 changes nothing.
    {"LeadBytesAreNotTested", "1=10 71=10 139=10 201=10 229=10", {}},

    // Clock
    {"ByteSix2CMonthTwelveMonthFirst12Hour", "11=C2",
     {{1, 9, "12-Stunden"}, {2, 1, "07.12"}, {2, 9, "Monat.Tag)"}}},
    {"ByteSix3C24HourMonthFirst", "11=C3", {{2, 1, "07.12"}, {2, 9, "Monat.Tag)"}}},
    {"AktuellIgnores12HourDisplay", "3=000371 12=0", {{1, 1, "17:30:00"}, {1, 9, "12-Stunden"}}},
    {"ClockAlarmArmed", "13=5402 67=8", {{1, 6, "20:45"}, {1, 8, "Ein"}}},
    {"ClockAlarmOnlyFromBitThree", "16=8 67=7", {{1, 6, "80:00"}}},
    {"ClockNoValidTimeOrDate", "3=99075200D", {{1, 1, "25:70:99"}, {2, 1, "00.13"}}},
    {"ClockNibblesAboveNine", "7=FFA1", {{1, 1, "165:00:46"}, {2, 1, "20.10"}}},

    // Humidity
    {"HumidityFiveWithoutLeadingZero", "17=50", {{3, 1, "5%"}}},
    {"HumidityNibblesAboveNine", "17=A1 41=FF", {{3, 1, "20%"}, {4, 1, "165%"}}, {{4, 165.0F}}},
    {"HumidityStraddlingMinimum", "52=36", {{4, 4, "63%"}}},
    {"HumidityIndoorOneAlarmFlag", "68=4", {}},
    {"HumidityIndoorBothAlarmFlags", "68=C", {{3, 8, "Ein"}}},
    {"HumidityOutdoorOneAlarmFlag", "68=1", {}},
    {"HumidityOutdoorBothAlarmFlags", "68=3", {{4, 8, "Ein"}}},
    {"HumidityByte33Is48", "65=84",
     {{3, 10, "Max Out Of Range: 1; Out Of Range: 0"},
      {4, 10, "Max Out Of Range: 1; Out Of Range: 0"}}},
    {"HumiditySecondRangeFlags", "66=9",
     {{3, 10, "Max Out Of Range: 0; Out Of Range: 1"},
      {4, 10, "Max Out Of Range: 0; Out Of Range: 1"}}},

    // Temperature
    {"TemperatureIndoorNegative", "73=35A35A 86=35A",
     {{5, 1, "-25_3°C"}, {5, 2, "-25_3°C"}, {5, 4, "-25_3°C"}}},
    {"TemperatureOutdoorNegative", "103=35A35A 116=35A",
     {{6, 1, "-25_3°C"}, {6, 2, "-25_3°C"}, {6, 4, "-25_3°C"}}, {{6, -25.3F}}},
    {"TemperatureOnesEightStaysPositive", "103=180", {{6, 1, "8_1°C"}}, {{6, 8.1F}}},
    {"TemperatureTensSevenPositive", "73=997", {{5, 1, "79_9°C"}}},
    {"TemperatureTensFifteenNegative", "73=99F", {{5, 1, "-79_9°C"}}},
    {"TemperatureNibblesAboveNine", "103=FC0", {{6, 1, "13_5°C"}}, {{6, 13.5F}}},
    {"TemperatureMinusZeroHasNoSign", "103=008", {{6, 1, "0_0°C"}}, {{6, 0.0F}}},
    {"TemperatureFahrenheitDisplay", "102=7", {{5, 9, "°F"}}},
    {"TemperatureOutdoorUpperLimitSigned", "126=048 131=0", {{6, 6, "-40_0°F"}, {6, 7, "40_0°F"}}},
    {"TemperatureOutdoorLimitHundredsAndSign", "128=9", {{6, 6, "-140_0°F"}}},
    {"TemperatureIndoorLimitsIgnoreSignBit", "96=048 101=9", {{5, 6, "40°F"}, {5, 7, "132°F"}}},
    {"TemperatureIndoorAlarmFlags", "136=C", {{5, 8, "Ein"}}},
    {"TemperatureOutdoorAlarmFlags", "136=3", {{6, 8, "Ein"}}},
    {"TemperatureOneAlarmFlagEach", "136=5", {}},

    // Barometer
    {"PressureLocal95", "141=5900", {{7, 1, "095mb"}}},
    {"PressureLocalNibblesAboveNine", "141=FFFF", {{7, 1, "16665mb"}}},
    {"PressureUnitInches", "150=0", {{7, 9, "inches"}}},
    {"PressureUnitMm", "150=1", {{7, 9, "mm"}}},
    {"PressureUnitMb", "150=2", {{7, 9, "mb"}}},
    {"PressureUnitFourUnset", "150=4", {{7, 9, ""}}},
    {"PressureUnitFifteenUnset", "150=F", {{7, 9, ""}}},
    {"TrendRising", "152=1", {{7, 10, "Trend: steigend"}}},
    {"TrendFalling", "152=4", {{7, 10, "Trend: fallend"}}},
    {"TrendZeroUnset", "152=0", {{7, 10, ""}}},
    {"TrendThreeUnset", "152=3", {{7, 10, ""}}},
    {"TrendEightUnset", "152=8", {{7, 10, ""}}},
    {"TrendFifteenUnset", "152=F", {{7, 10, ""}}},
    {"ForecastCloudy", "151=2", {{8, 10, "Aussichten: bewölkt"}}},
    {"ForecastChangeable", "151=4", {{8, 10, "Aussichten: wechselhaft"}}},
    {"ForecastRain", "151=8", {{8, 10, "Aussichten: Regen"}}},
    {"ForecastZeroUnset", "151=0", {{8, 10, ""}}},
    {"ForecastThreeUnset", "151=3", {{8, 10, ""}}},
    {"ForecastFifteenUnset", "151=F", {{8, 10, ""}}},
    {"PressureThresholdFifteen", "197=F", {{7, 7, " 16mb"}}},
    {"PressureAlarmOnly", "198=8", {{7, 8, "Ein"}}},
    {"SeaLevelPressure32767", "145=76723", {{8, 1, "3276_7mb"}}, {{8, 3276.7F}}},
    {"SeaLevelPressureSmall", "145=50000", {{8, 1, "000_5mb"}}, {{8, 0.5F}}},

    // Dew point
    {"DewPointFiveAndThresholdFifteen", "153=50 173=FF",
     {{9, 1, "5°C"}, {9, 7, "16°C:"}, {10, 7, "16°C:"}}},
    {"DewPointOutdoorIntoSlot", "175=99 186=30", {{10, 1, "99°C"}, {10, 4, "3°C"}}, {{10, 99.0F}}},
    {"DewPointAlarmBothRows", "198=6", {{9, 8, "Ein"}, {10, 8, "Ein"}}},
    {"DewPointOneAlarmFlag", "198=2", {}},
    {"DewPointNibble195Is8", "195=8", {{9, 10, "Min Out Of Range: 1; Out Of Range: 0"}}},
    {"DewPointNibble195Is7", "195=7",
     {{9, 10, "Min Out Of Range: 0; Out Of Range: 1"},
      {10, 10, "Min Out Of Range: 1; Out Of Range: 1"}}},

    // Rain
    {"RainInchesDisplayOnly", "222=2", {{11, 9, "inches"}}},
    {"RainLargestAmounts", "203=999 207=99999999",
     {{11, 1, "999mm"}, {12, 1, "9999mm"}, {13, 1, "9999mm"}}, {{11, 999.0F}, {12, 9999.0F}}},
    {"RainAlarmAndOutOfRange", "226=9", {{11, 8, "Ein"}, {11, 10, "Out Of Range: 1"}}},
    {"RainAlarmLimitNibblesAboveNine", "223=FFF", {{11, 6, "1665in"}}},
    {"RainResetNoValidStamp", "215=075200D", {{13, 10, "Reset: 25:70 / 00.13"}}},

    // Wind and wind chill
    {"WindPeak126", "231=621", {{14, 1, "45_4km/h 194°"}}, {{14, 45.36F}}},
    {"WindPeakZero", "231=000", {{14, 1, "0_0km/h 194°"}}, {{14, 0.0F}}},
    {"WindMeanAndDirection", "237=050063", {{15, 1, "18_0km/h 360°"}}, {{16, 18.0F}, {17, 360.0F}}},
    {"WindNibblesAboveNine", "243=FFFFFF", {{14, 2, "599_4km/h1665°"}}},
    {"WindUnitKmh", "260=C", {{14, 9, "km/h"}}},
    {"WindUnitMph", "260=0", {{14, 9, "mph"}}},
    {"WindUnitMs", "260=8", {{14, 9, "m/s"}}},
    {"WindUnitIgnoresLowBits", "260=3", {{14, 9, "mph"}}},
    {"WindAlarm140", "256=041", {{14, 6, "140mph"}}},
    {"WindAlarmArmed", "279=4", {{14, 8, "Ein"}}},
    {"WindChillAlarmArmed", "279=2", {{16, 8, "Ein"}}},
    {"WindMaxOutOfRange", "280=2", {{14, 10, "Max Out Of Range: 1; Out Of Range: 0"}}},
    {"WindMeanOutOfRange", "280=4", {{15, 10, "Out Of Range: 1"}}},
    {"WindPeakOutOfRange", "280=8", {{14, 10, "Max Out Of Range: 0; Out Of Range: 1"}}},
    {"WindChillNegative", "261=50 272=2", {{16, 1, "-5°C"}}, {{18, -5.0F}}},
    {"WindChillPositive", "261=50", {{16, 1, "5°C"}}, {{18, 5.0F}}},
    {"WindChillMinimumNegative", "272=1", {{16, 4, "-3°C"}}, {{18, 7.0F}}},
    {"WindChillMinusZero", "261=00 272=2", {{16, 1, "0°C"}}, {{18, 0.0F}}},
    {"WindChillLargest", "261=FF 272=2", {{16, 1, "-165°C"}}, {{18, -165.0F}}},
    {"WindChillAlarmMinus125", "273=5281", {{16, 7, "-125°F"}}},
    {"WindChillAlarmSignOnlyBitThree", "275=7", {{16, 7, "121°F"}}},

    // Power supply and display state
    {"BatteryPoweredAndLow", "276=D", {{17, 1, "Batt.(DC)"}, {18, 1, "leer"}}},
    {"BatteryPoweredOnly", "276=5", {{17, 1, "Batt.(DC)"}}},
    {"MainsBatteryLow", "276=9", {{18, 1, "leer"}}},
    {"DisplayTime", "278=0", {{19, 1, "Zeit"}}},
    {"DisplayTemperature", "278=1", {{19, 1, "Temp."}}},
    {"DisplayHumidity", "278=2", {{19, 1, "Luftfeuchte"}}},
    {"DisplayDewPoint", "278=3", {{19, 1, "Taupunkt"}}},
    {"DisplayPressure", "278=4", {{19, 1, "Luftdruck"}}},
    {"DisplayWindChill", "278=6", {{19, 1, "gefühlte Temp."}}},
    {"DisplayRain", "278=7", {{19, 1, "Regen"}}},
    {"DisplayFourthBitIgnored", "278=D", {}},
    {"DisplayEightIsTime", "278=8", {{19, 1, "Zeit"}}},
    {"DisplayFifteenIsRain", "278=F", {{19, 1, "Regen"}}},
    {"SubDisplayTwoStoredValue", "277=6", {{20, 1, "2"}, {21, 1, "Speicherwert"}}},
    {"SubDisplayOneIndoorAlarm", "277=9", {{20, 1, "1"}, {21, 1, "Alarmwert innen"}}},
    {"SubDisplayThreeOutdoorAlarm", "277=F", {{20, 1, "3"}, {21, 1, "Alarmwert außen"}}},
};
// clang-format on

TEST(FieldEdgeCase, ChangesOnlyWhatItShould) {
    for (const std::string separator : {".", ","}) {
        DecodeHarness reference(separator);
        reference.Decode(TestTelegramSet());
        for (const FieldCase& c : kCases) {
            SCOPED_TRACE(std::string(c.Name) + " \"" + separator + "\"");
            DecodeHarness h(separator);
            ASSERT_EQ(h.Decode(TestSetWith(c.Edits)), SetOutcome::Valid);
            ASSERT_EQ(h.Table().RowCount(), 21);
            EXPECT_TRUE(h.records.empty()) << h.records.size() << " error records";
            for (int row = 1; row <= 21; ++row) {
                for (int column = 0; column < kColumnCount; ++column) {
                    std::string expected = reference.Cell(row, column);
                    for (const auto& [r, col, text] : c.Cells)
                        if (r == row && col == column) expected = WithSeparator(text, separator);
                    EXPECT_EQ(h.Cell(row, column), expected)
                        << "row " << row << ", column " << column;
                }
            }
            for (const auto& [slot, value] : c.Slots)
                EXPECT_EQ(h.readings[slot].Value, value) << "slot " << slot;
        }
    }
}

}  // namespace
}  // namespace ombrix::test
