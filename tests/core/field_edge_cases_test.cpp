// Field edge cases of every group: the built-in set with some fields replaced (checksums fixed),
// decoded under both separators. Each case lists the cells it changes; every other cell must keep
// its text from the unchanged set. A case that names the change of the station reading has the
// rest of the reading checked as well.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "decode_support.h"

namespace ombrix::test {
namespace {

using R = StationReading;
constexpr QuantityState kOutOfRange = QuantityState::OutOfRange;

struct FieldCase {
    const char* Name;
    std::vector<Edit> Edits;
    std::vector<std::tuple<int, int, const char*>> Cells = {};  // row, column, "_" for separator
    std::function<void(R&)> Reading = nullptr;
    std::size_t Errors = 0;
};

// Row numbers: 1 Zeit, 2 Datum, 3/4 Luftfeuchte, 5/6 Temperatur, 7 Luftdruck, 8 Luftdruck NN,
// 9/10 Taupunkt, 11 Regenmenge/Std., 12 Regen heute, 13 Regen seit Reset, 14 Wind Spitzen,
// 15 Wind Mittel, 16 gefühlte Temp., 17 Stromversorgung, 18 Batterie, 19 Anzeige,
// 20 Unteranzeige, 21 Anzeigewert. A case with no cells changes nothing.
const field::TemperatureBlock& In = kIndoorTemperature;
const field::TemperatureBlock& Out = kOutdoorTemperature;
// "Extras" with one of its two range flags set.
const char* const kMaxOnly = "Max Out Of Range: 1; Out Of Range: 0";
const char* const kNotMax = "Max Out Of Range: 0; Out Of Range: 1";
const char* const kMinOnly = "Min Out Of Range: 1; Out Of Range: 0";
const char* const kNotMin = "Min Out Of Range: 0; Out Of Range: 1";
// clang-format off
const FieldCase kCases[] = {
    // Clock
    {"AktuellIgnores12HourDisplayAlarmArmedMonthTwelveMonthFirst",
     {{kClockSecond, "00"}, {kClockMinute, "03"}, {kClockHour, "71"}, {kClockAlarmMinute, "54"},
      {kClockAlarmHour, "02"}, {kClockAlarmOn}, {kClockMonth, "C"}, {kClock24Hours, false},
      {kClockMonthFirst}},
     {{1, 1, "17:30:00"}, {1, 6, "20:45"}, {1, 8, "Ein"}, {1, 9, "12-Stunden"}, {2, 1, "07.12"},
      {2, 9, "Monat.Tag)"}}},
    {"ClockNoValidTimeOrDate", {{kClockSecond, "99"}, {kClockMinute, "07"}, {kClockHour, "52"},
     {kClockDay, "00"}, {kClockMonth, "D"}}, {{1, 1, "25:70:99"}, {2, 1, "00.13"}}},
    {"ClockNibblesAboveNineAlarmOnlyFromBitThree",
     {{kClockHour, "FF"}, {kClockDay, "A1"}, {kClockAlarmHour, "08"}, {kClockAlarmOn, "7"}},
     {{1, 1, "165:00:46"}, {2, 1, "20.10"}, {1, 6, "80:00"}}},

    // Humidity
    {"HumidityFiveWithoutLeadingZeroStraddlingMinimum",
     {{kIndoorHumidity.Current, "50"}, {kOutdoorHumidity.Min, "36"}},
     {{3, 1, "5%"}, {4, 4, "63%"}}},
    {"HumidityNibblesAboveNine",
     {{kIndoorHumidity.Current, "A1"}, {kOutdoorHumidity.Current, "FF"}},
     {{3, 1, "20%"}, {4, 1, "165%"}}},

    // Temperature
    {"TemperatureIndoorNegativeFahrenheitDisplayOutdoorMinusZeroHasNoSign",
     {{In.Current.Tenths, "35A"}, {In.Max.Tenths, "35A"}, {In.Min.Tenths, "35A"},
      {kDisplayFahrenheit}, {Out.Current.Tenths, "008"}},
     {{5, 1, "-25_3°C"}, {5, 2, "-25_3°C"}, {5, 4, "-25_3°C"}, {5, 9, "°F"}, {6, 1, "0_0°C"}}},
    {"TemperatureOnesEightStaysPositiveTensFifteenNegative",
     {{Out.Current.Tenths, "180"}, {In.Current.Tenths, "99F"}},
     {{6, 1, "8_1°C"}, {5, 1, "-79_9°C"}}},
    {"TemperatureNibblesAboveNineTensSevenPositive",
     {{Out.Current.Tenths, "FC0"}, {In.Current.Tenths, "997"}},
     {{6, 1, "13_5°C"}, {5, 1, "79_9°C"}}},
    {"TemperatureOutdoorUpperLimitSigned",
     {{Out.AlarmHigh.Value.TensAndOnes, "048"}, {Out.AlarmLow.Negative, false}},
     {{6, 6, "-40_0°F"}, {6, 7, "40_0°F"}}},
    {"TemperatureIndoorLimitsIgnoreSignBitOutdoorLimitHundredsAndSign",
     {{In.AlarmHigh.Value.TensAndOnes, "048"}, {In.AlarmLow.Value.Hundreds}, {In.AlarmLow.Negative},
      {Out.AlarmHigh.Negative}},
     {{5, 6, "40°F"}, {5, 7, "132°F"}, {6, 6, "-140_0°F"}}},

    // Barometer
    {"Pressure95And32767", {{kLocalPressure, "5900"}, {kSeaLevelPressure, "76723"}},
     {{7, 1, "095mb"}, {8, 1, "3276_7mb"}}},
    {"PressureNibblesAboveNineAndSmall", {{kLocalPressure, "FFFF"}, {kSeaLevelPressure, "50000"}},
     {{7, 1, "16665mb"}, {8, 1, "000_5mb"}}},
    {"SeaLevelPressureOverflow", {{kSeaLevelPressure, "00004"}}, {{8, 1, "000_0mb"}},
     [](R& r) { r.SeaLevelPressure = {}; }, 1},
    {"CodesMmRisingCloudy", {{kPressureUnit, "1"}, {kPressureTrend, "1"}, {kForecast, "2"}},
     {{7, 9, "mm"}, {7, 10, "Trend: steigend"}, {8, 10, "Aussichten: bewölkt"}}},
    {"CodesMbFallingChangeable", {{kPressureUnit, "2"}, {kPressureTrend, "4"}, {kForecast, "4"}},
     {{7, 9, "mb"}, {7, 10, "Trend: fallend"}, {8, 10, "Aussichten: wechselhaft"}}},
    {"CodesUnknownAndRain", {{kPressureUnit, "F"}, {kPressureTrend, "8"}, {kForecast, "8"}},
     {{7, 9, ""}, {7, 10, ""}, {8, 10, "Aussichten: Regen"}}},
    {"PressureThresholdFifteenAlarmOnly", {{kPressureThreshold, "F"}, {kPressureAlarmOn}},
     {{7, 7, " 16mb"}, {7, 8, "Ein"}}},

    // Dew point
    {"DewPointFiveAndThresholdFifteen",
     {{kIndoorDewPoint.Current, "50"}, {kIndoorDewPointThreshold, "F"},
      {kOutdoorDewPointThreshold, "7"}},
     {{9, 1, "5°C"}, {9, 7, "16°C:"}, {10, 7, "8°C:"}}},
    {"DewPointOutdoorIntoSlot", {{kOutdoorDewPoint.Current, "99"}, {kOutdoorDewPoint.Min, "30"}},
     {{10, 1, "99°C"}, {10, 4, "3°C"}}},

    // Rain
    {"RainLargestAmountsInchesDisplayOnly",
     {{kRainHour, "999"}, {kRainToday, "9999"}, {kRainSinceReset, "9999"}, {kRainInches}},
     {{11, 1, "999mm"}, {12, 1, "9999mm"}, {13, 1, "9999mm"}, {11, 9, "inches"}}},
    {"RainNibblesAboveNineNoValidStamp",
     {{kRainAlarmLimit, "FFF"}, {kRainResetAt.Minute, "075200D"}},
     {{11, 6, "1665in"}, {13, 10, "Reset: 25:70 / 00.13"}}},

    // Wind and wind chill; the reading keeps the speeds in m/s
    {"WindPeak126MaxNibblesAboveNine",
     {{kGustSpeed, "621"}, {kMaxSpeed, "FFF"}, {kMaxSpeedDirection, "FFF"}},
     {{14, 1, "45_4km/h 194°"}, {14, 2, "599_4km/h1665°"}}, [](R& r) { r.GustSpeed.Value = 12.6; }},
    {"WindMeanAndDirection", {{kMeanSpeed, "050"}, {kMeanDirection, "063"}},
     {{15, 1, "18_0km/h 360°"}}, [](R& r) { r.MeanSpeed.Value = 5, r.MeanDirection.Value = 360; }},
    {"WindUnitIgnoresLowBits", {{kSpeedUnit.Low, "3"}}, {{14, 9, "mph"}}},
    {"WindAlarm140Armed", {{kWindAlarm.TensAndOnes, "041"}, {kWindAlarmOn}},
     {{14, 6, "140mph"}, {14, 8, "Ein"}}},
    {"WindChillNegativeAlarmMinus125Armed",
     {{kWindChill.Value, "50"}, {kWindChill.Negative}, {kWindChillAlarm.Value.TensAndOnes, "52"},
      {kWindChillAlarmOn}},
     {{16, 1, "-5°C"}, {16, 7, "-125°F"}, {16, 8, "Ein"}}},
    {"WindChillPositiveMinimumNegative", {{kWindChill.Value, "50"}, {kWindChillMin.Negative}},
     {{16, 1, "5°C"}, {16, 4, "-3°C"}}},
    {"WindChillLargestAlarmSignOnlyBitThree",
     {{kWindChill.Value, "FF"}, {kWindChill.Negative}, {kWindChillAlarm.Negative, "7"}},
     {{16, 1, "-165°C"}, {16, 7, "121°F"}}},

    // Flags: where each lies and what it shows alone is the raw-nibble flag table's. Here the
    // out-of-range flags mark their quantity in the reading, the max and min flags do not, and an
    // alarm with two bits is not armed by one of them.
    {"OutOfRangeFlagsInTheReading",
     {{kIndoorHumidityOutOfRange}, {kOutdoorHumidityOutOfRange}, {kIndoorDewPointOutOfRange},
      {kOutdoorDewPointOutOfRange}, {kRainHourOutOfRange}, {kGustSpeedOutOfRange},
      {kMeanSpeedOutOfRange}},
     {{3, 10, kNotMax}, {4, 10, kNotMax}, {9, 10, kNotMin}, {10, 10, kNotMin},
      {11, 10, "Out Of Range: 1"}, {14, 10, kNotMax}, {15, 10, "Out Of Range: 1"}},
     [](R& r) {
         for (auto* q : {&r.IndoorHumidity, &r.OutdoorHumidity, &r.IndoorDewPoint,
                         &r.OutdoorDewPoint, &r.RainHour, &r.GustSpeed, &r.MeanSpeed})
             q->State = kOutOfRange;
     }},
    {"MaxAndMinFlagsNotInTheReading",
     {{kIndoorHumidityMaxOutOfRange}, {kOutdoorHumidityMaxOutOfRange},
      {kIndoorDewPointMinOutOfRange}, {kOutdoorDewPointMinOutOfRange}, {kMaxSpeedOutOfRange}},
     {{3, 10, kMaxOnly}, {4, 10, kMaxOnly}, {9, 10, kMinOnly}, {10, 10, kMinOnly},
      {14, 10, kMaxOnly}},
     [](R&) {}},
    {"AlarmsWithOneOfTheirTwoBits",
     {{kIndoorHumidityAlarm, 1}, {kOutdoorHumidityAlarm, 2}, {kIndoorTemperatureAlarm, 2},
      {kOutdoorTemperatureAlarm, 1}, {kDewPointAlarm, 2}}},

    // Power supply and display state
    {"BatteryPoweredDisplayEightIsTimeSubDisplayTwoStoredValue",
     {{kOnBattery}, {kDisplay, "8"}, {kSubDisplay, 2}, {kDisplayValue, 1}},
     {{17, 1, "Batt.(DC)"}, {19, 1, "Zeit"}, {20, 1, "2"}, {21, 1, "Speicherwert"}}},
    {"MainsBatteryLowDisplayFifteenIsRainSubDisplayOneIndoorAlarm",
     {{kBatteryLow}, {kDisplay, "F"}, {kSubDisplay, 1}, {kDisplayValue, 2}},
     {{18, 1, "leer"}, {19, 1, "Regen"}, {20, 1, "1"}, {21, 1, "Alarmwert innen"}}},
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
            EXPECT_EQ(h.records.size(), c.Errors);
            for (int row = 1; row <= 21; ++row) {
                for (int column = 0; column < kColumnCount; ++column) {
                    std::string expected = reference.Cell(row, column);
                    for (const auto& [r, col, text] : c.Cells)
                        if (r == row && col == column) expected = WithSeparator(text, separator);
                    EXPECT_EQ(h.Cell(row, column), expected)
                        << "row " << row << ", column " << column;
                }
            }
            if (!c.Reading) continue;
            StationReading expected = reference.reading;
            c.Reading(expected);
            EXPECT_EQ(h.reading, expected);
        }
    }
}

}  // namespace
}  // namespace ombrix::test
