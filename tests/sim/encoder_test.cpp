// The encoder writes every field where the decoder reads it: the console's reference set comes out
// as the same table, edge values come back as they went in, and values a field cannot hold are
// refused.
#include <gtest/gtest.h>

#include <functional>

#include "sim_support.h"
#include "tools/sim/station_values.h"

namespace ombrix::sim {
namespace {

using test::Decode;
using test::Decoded;

// The values that the built-in "Testwerte" set carries.
StationValues TestSetValues() {
    StationValues v;
    v.Clock = {8, 0, 46, 7, 10, true, false, 0, 0, false};
    v.IndoorHumidity = {32, 67, {8, 23, 4, 10}, 32, {8, 0, 7, 10}, 97, 10, false, false, false};
    v.OutdoorHumidity = {91, 92, {5, 41, 7, 10}, 40, {13, 52, 5, 10}, 97, 10, false, false, false};
    v.IndoorTemperature = {257, 298, {16, 19, 6, 10}, 175, {0, 0, 1, 1}, 122, 32, false};
    v.OutdoorTemperature = {94, 263, {13, 45, 5, 10}, 94, {8, 0, 7, 10}, 140, -40, false};
    v.Barometer = {979, 10150, 3, 1, 2, 0, false};
    v.IndoorDewPoint = {8, 15, {18, 22, 5, 10}, 8, {8, 0, 7, 10}, 0, false, false};
    v.OutdoorDewPoint = {8, 15, {12, 12, 5, 10}, 7, {7, 55, 7, 10}, 0, false, false};
    v.Rain = {0, 1, 2, {0, 0, 1, 1}, false, 393, false, false};
    v.Wind = {28, 194, 26, 205, 100, 226, {12, 39, 5, 10}, 125, false, 1, false, false, false};
    v.WindChill = {7, 3, {9, 24, 4, 10}, -121, false};
    v.Console = {false, false, 5, 0, 0};
    return v;
}

TEST(Encoder, ReferenceValuesGiveTheTableOfTheBuiltInSet) {
    const Bytes set = EncodeTelegramSet(TestSetValues());
    ASSERT_EQ(set.size(), kTelegramSetLength);
    const Decoded encoded = Decode(set);
    const Decoded reference = Decode(TestTelegramSet());
    ASSERT_EQ(encoded.Outcome, SetOutcome::Valid);
    EXPECT_TRUE(encoded.Errors.empty());
    EXPECT_EQ(encoded.Table.Rows(), reference.Table.Rows());
    for (const GroupBounds& g : kGroups)
        EXPECT_EQ(Code(set[g.First - 1]), Code(TestTelegramSet()[g.First - 1])) << g.First;
}

TEST(Encoder, EveryGroupChecksumHoldsForExtremeFieldValues) {
    StationValues all9 = TestSetValues();
    all9.Clock = {99, 99, 99, 99, 15, true, true, 99, 99, true};
    all9.OutdoorTemperature.Current = -799;
    all9.Rain = {999, 9999, 9999, {99, 99, 99, 15}, true, 999, true, true};
    all9.Wind.GustTenths = all9.Wind.MeanTenths = all9.Wind.MaxTenths = 999;
    all9.Barometer = {9999, 32767, 15, 15, 15, 15, true};
    for (const StationValues& v : {StationValues{}, TestSetValues(), all9}) {
        const Bytes set = EncodeTelegramSet(v);
        EXPECT_TRUE(test::AllGroupsPass(set));
        for (std::size_t g = 0; g < kGroups.size(); ++g)
            EXPECT_EQ(Code(set[kGroups[g].First - 1]), kLeadBytes[g]);
        EXPECT_EQ(Decode(set).Outcome, SetOutcome::Valid);
    }
}

struct RoundTrip {
    const char* Name;
    std::function<void(StationValues&)> Change;
    const char* Row;
    int Column;
    const char* Expected;
};

void PrintTo(const RoundTrip& c, std::ostream* os) {
    *os << c.Name;
}

class EncoderRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(EncoderRoundTrip, DecodedCellShowsTheValue) {
    const RoundTrip& c = GetParam();
    StationValues v = TestSetValues();
    c.Change(v);
    const Decoded d = Decode(EncodeTelegramSet(v));
    ASSERT_EQ(d.Outcome, SetOutcome::Valid);
    EXPECT_TRUE(d.Errors.empty());
    EXPECT_EQ(d.Cell(c.Row, c.Column), c.Expected);
}

const RoundTrip kRoundTrips[] = {
    // Temperatures below zero, tens above 3 and the sign bit of every temperature field.
    {"OutdoorBelowZero", [](StationValues& v) { v.OutdoorTemperature.Current = -253; },
     "Temperatur außen", 1, "-25.3°C"},
    {"OutdoorJustBelowZero", [](StationValues& v) { v.OutdoorTemperature.Current = -5; },
     "Temperatur außen", 1, "-0.5°C"},
    {"OutdoorHottest", [](StationValues& v) { v.OutdoorTemperature.Max = 799; }, "Temperatur außen",
     2, "79.9°C"},
    {"OutdoorColdest", [](StationValues& v) { v.OutdoorTemperature.Min = -799; },
     "Temperatur außen", 4, "-79.9°C"},
    {"IndoorBelowZero", [](StationValues& v) { v.IndoorTemperature.Min = -12; }, "Temperatur innen",
     4, "-1.2°C"},
    {"OutdoorLimitLow", [](StationValues& v) { v.OutdoorTemperature.AlarmLowF = -199; },
     "Temperatur außen", 7, "-199.0°F"},
    {"OutdoorLimitHigh", [](StationValues& v) { v.OutdoorTemperature.AlarmHighF = 199; },
     "Temperatur außen", 6, "199.0°F"},
    {"IndoorLimitHundreds", [](StationValues& v) { v.IndoorTemperature.AlarmHighF = 150; },
     "Temperatur innen", 6, "150°F"},
    {"Fahrenheit", [](StationValues& v) { v.DisplayFahrenheit = true; }, "Temperatur innen", 9,
     "°F"},
    // Wind chill with its two sign bits and its alarm limit.
    {"ChillNegative", [](StationValues& v) { v.WindChill.Current = -5; }, "gefühlte Temp.", 1,
     "-5°C"},
    {"ChillPositive", [](StationValues& v) { v.WindChill.Current = 5; }, "gefühlte Temp.", 1,
     "5°C"},
    {"ChillColdest", [](StationValues& v) { v.WindChill.Current = -99; }, "gefühlte Temp.", 1,
     "-99°C"},
    {"ChillMinNegative", [](StationValues& v) { v.WindChill.Min = -12; }, "gefühlte Temp.", 4,
     "-12°C"},
    {"ChillMinPositiveWhileCurrentNegative",
     [](StationValues& v) {
         v.WindChill.Current = -3;
         v.WindChill.Min = 2;
     },
     "gefühlte Temp.", 4, "2°C"},
    {"ChillAlarm", [](StationValues& v) { v.WindChill.AlarmF = -125; }, "gefühlte Temp.", 7,
     "-125°F"},
    // Directions on both sides of north, speeds at the top of their field.
    {"MeanNorthWest", [](StationValues& v) { v.Wind.MeanDirection = 359; }, "Wind Mittel", 1,
     "9.4km/h 359°"},
    {"MeanNorth", [](StationValues& v) { v.Wind.MeanDirection = 0; }, "Wind Mittel", 1,
     "9.4km/h 0°"},
    {"GustNorthEast",
     [](StationValues& v) {
         v.Wind.GustDirection = 1;
         v.Wind.GustTenths = 126;
     },
     "Wind Spitzen", 1, "45.4km/h 1°"},
    {"MaxAtNorth",
     [](StationValues& v) {
         v.Wind.MaxTenths = 999;
         v.Wind.MaxDirection = 0;
     },
     "Wind Spitzen", 2, "359.6km/h0°"},
    {"WindAlarm", [](StationValues& v) { v.Wind.AlarmMph = 140; }, "Wind Spitzen", 6, "140mph"},
    {"WindUnit", [](StationValues& v) { v.Wind.UnitCode = 2; }, "Wind Spitzen", 9, "m/s"},
    {"WindFlags",
     [](StationValues& v) {
         v.Wind.MaxOutOfRange = true;
         v.Wind.AlarmOn = true;
     },
     "Wind Spitzen", 10, "Max Out Of Range: 1; Out Of Range: 0"},
    {"MeanFlag", [](StationValues& v) { v.Wind.MeanOutOfRange = true; }, "Wind Mittel", 10,
     "Out Of Range: 1"},
    // The largest rain amounts, the reset stamp and the gauge's flags.
    {"RainHourMax", [](StationValues& v) { v.Rain.LastHour = 999; }, "Regenmenge/Std.", 1, "999mm"},
    {"RainTodayMax", [](StationValues& v) { v.Rain.Today = 9999; }, "Regen heute", 1, "9999mm"},
    {"RainTotalMax", [](StationValues& v) { v.Rain.SinceReset = 9999; }, "Regen seit Reset", 1,
     "9999mm"},
    {"RainReset",
     [](StationValues& v) {
         v.Rain.ResetAt = {14, 5, 28, 2};
     },
     "Regen seit Reset", 10, "Reset: 14:05 / 28.02"},
    {"RainInches", [](StationValues& v) { v.Rain.DisplayInches = true; }, "Regenmenge/Std.", 9,
     "inches"},
    {"RainFlag", [](StationValues& v) { v.Rain.OutOfRange = true; }, "Regenmenge/Std.", 10,
     "Out Of Range: 1"},
    {"RainAlarm", [](StationValues& v) { v.Rain.AlarmOn = true; }, "Regenmenge/Std.", 8, "Ein"},
    // Clock, date and display settings.
    {"ClockLate",
     [](StationValues& v) {
         v.Clock = {23, 59, 59, 31, 12};
     },
     "Zeit", 1, "23:59:59"},
    {"ClockDate",
     [](StationValues& v) {
         v.Clock = {23, 59, 59, 31, 12};
     },
     "Datum", 1, "31.12"},
    {"Clock12Hours", [](StationValues& v) { v.Clock.Display24Hours = false; }, "Zeit", 9,
     "12-Stunden"},
    {"MonthFirst", [](StationValues& v) { v.Clock.DisplayMonthFirst = true; }, "Datum", 9,
     "Monat.Tag)"},
    {"ClockAlarm",
     [](StationValues& v) {
         v.Clock.AlarmHour = 6;
         v.Clock.AlarmMinute = 30;
     },
     "Zeit", 6, "06:30"},
    {"ClockAlarmArmed", [](StationValues& v) { v.Clock.AlarmArmed = true; }, "Zeit", 8, "Ein"},
    // Humidity, pressure and dew point fields with their flags.
    {"HumidityLow", [](StationValues& v) { v.OutdoorHumidity.Current = 5; }, "Luftfeuchte außen", 1,
     "5%"},
    {"HumidityOutdoorFlags", [](StationValues& v) { v.OutdoorHumidity.MaxOutOfRange = true; },
     "Luftfeuchte außen", 10, "Max Out Of Range: 1; Out Of Range: 0"},
    {"HumidityIndoorFlags", [](StationValues& v) { v.IndoorHumidity.OutOfRange = true; },
     "Luftfeuchte innen", 10, "Max Out Of Range: 0; Out Of Range: 1"},
    {"HumidityAlarm", [](StationValues& v) { v.OutdoorHumidity.AlarmOn = true; },
     "Luftfeuchte außen", 8, "Ein"},
    {"PressureLocalLow", [](StationValues& v) { v.Barometer.LocalMb = 95; }, "Luftdruck", 1,
     "095mb"},
    {"PressureSeaLevel", [](StationValues& v) { v.Barometer.SeaLevelTenths = 10999; },
     "Luftdruck NN", 1, "1099.9mb"},
    {"TrendFalling", [](StationValues& v) { v.Barometer.TrendCode = 4; }, "Luftdruck", 10,
     "Trend: fallend"},
    {"ForecastRain", [](StationValues& v) { v.Barometer.ForecastCode = 8; }, "Luftdruck NN", 10,
     "Aussichten: Regen"},
    {"PressureAlarm",
     [](StationValues& v) {
         v.Barometer.AlarmThresholdCode = 15;
         v.Barometer.AlarmOn = true;
     },
     "Luftdruck", 7, " 16mb"},
    {"DewPointOutdoorFlag", [](StationValues& v) { v.OutdoorDewPoint.OutOfRange = true; },
     "Taupunkt außen", 10, "Min Out Of Range: 0; Out Of Range: 1"},
    {"DewPointIndoorFlag", [](StationValues& v) { v.IndoorDewPoint.MinOutOfRange = true; },
     "Taupunkt innen", 10, "Min Out Of Range: 1; Out Of Range: 0"},
    {"DewPointAlarm", [](StationValues& v) { v.DewPointAlarmOn = true; }, "Taupunkt innen", 8,
     "Ein"},
    {"DewPointThreshold", [](StationValues& v) { v.OutdoorDewPoint.AlarmThresholdCode = 15; },
     "Taupunkt außen", 7, "16°C:"},
    // Power and display state.
    {"OnBattery", [](StationValues& v) { v.Console.OnBattery = true; }, "Stromversorgung", 1,
     "Batt.(DC)"},
    {"BatteryLow", [](StationValues& v) { v.Console.BatteryLow = true; }, "Batterie", 1, "leer"},
    {"DisplayRain", [](StationValues& v) { v.Console.DisplayCode = 7; }, "Anzeige", 1, "Regen"},
    {"SubDisplay", [](StationValues& v) { v.Console.SubDisplayCode = 3; }, "Unteranzeige", 1, "3"},
    {"DisplayValue", [](StationValues& v) { v.Console.DisplayValueCode = 3; }, "Anzeigewert", 1,
     "Alarmwert außen"},
};

INSTANTIATE_TEST_SUITE_P(Fields, EncoderRoundTrip, ::testing::ValuesIn(kRoundTrips),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(Encoder, ReadingsCarryTheSignedValues) {
    StationValues v = TestSetValues();
    v.OutdoorTemperature.Current = -253;
    v.WindChill.Current = -31;
    v.Wind.GustTenths = 126;
    v.Rain.LastHour = 999;
    v.Rain.Today = 9999;
    const Decoded d = Decode(EncodeTelegramSet(v));
    EXPECT_FLOAT_EQ(d.Slots[6].Value, -25.3F);
    EXPECT_FLOAT_EQ(d.Slots[18].Value, -31.0F);
    EXPECT_FLOAT_EQ(d.Slots[14].Value, 45.36F);
    EXPECT_FLOAT_EQ(d.Slots[11].Value, 999.0F);
    EXPECT_FLOAT_EQ(d.Slots[12].Value, 9999.0F);
}

struct OutOfField {
    const char* Name;
    std::function<void(StationValues&)> Change;
};

void PrintTo(const OutOfField& c, std::ostream* os) {
    *os << c.Name;
}

class EncoderRefuses : public ::testing::TestWithParam<OutOfField> {};

TEST_P(EncoderRefuses, ValueTheFieldCannotHold) {
    StationValues v = TestSetValues();
    GetParam().Change(v);
    EXPECT_THROW(EncodeTelegramSet(v), FieldRangeError);
}

const OutOfField kOutOfField[] = {
    {"TemperatureTooHot", [](StationValues& v) { v.OutdoorTemperature.Current = 800; }},
    {"TemperatureTooCold", [](StationValues& v) { v.IndoorTemperature.Min = -800; }},
    {"HumidityHundred", [](StationValues& v) { v.OutdoorHumidity.Current = 100; }},
    {"HumidityNegative", [](StationValues& v) { v.IndoorHumidity.Max = -1; }},
    {"RainHour", [](StationValues& v) { v.Rain.LastHour = 1000; }},
    {"RainToday", [](StationValues& v) { v.Rain.Today = 10000; }},
    {"Month", [](StationValues& v) { v.Clock.Month = 16; }},
    {"StampHour", [](StationValues& v) { v.Wind.MaxAt.Hour = 100; }},
    {"Direction", [](StationValues& v) { v.Wind.MeanDirection = 1000; }},
    {"Speed", [](StationValues& v) { v.Wind.GustTenths = 1000; }},
    {"WindChill", [](StationValues& v) { v.WindChill.Current = -100; }},
    {"ChillAlarm", [](StationValues& v) { v.WindChill.AlarmF = 200; }},
    {"IndoorLimitSign", [](StationValues& v) { v.IndoorTemperature.AlarmLowF = -1; }},
    {"SeaLevelOverflow", [](StationValues& v) { v.Barometer.SeaLevelTenths = 32768; }},
    {"DisplayCode", [](StationValues& v) { v.Console.DisplayCode = 8; }},
    {"WindUnit", [](StationValues& v) { v.Wind.UnitCode = 4; }},
};

INSTANTIATE_TEST_SUITE_P(Fields, EncoderRefuses, ::testing::ValuesIn(kOutOfField),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(Summary, NamesTemperatureWindAndRain) {
    EXPECT_EQ(Summary(TestTelegramSet()),
              "9.4°C, wind 9.4km/h gusts 10.1km/h from 205°, rain 0/1/2mm");
    StationValues v = TestSetValues();
    v.OutdoorTemperature.Current = -253;
    EXPECT_EQ(Summary(EncodeTelegramSet(v)).rfind("-25.3°C, wind", 0), 0U);
}

}  // namespace
}  // namespace ombrix::sim
