// The encoder writes every field where the decoder reads it: the console's reference set comes out
// as the same table, changed values show in their cells and nowhere else, and values a field
// cannot hold are refused.
#include <gtest/gtest.h>

#include <functional>

#include "decode_support.h"
#include "tools/sim/station_values.h"

namespace ombrix::sim {
namespace {

using V = StationValues;

// The values that the built-in "Testwerte" set carries.
V TestSetValues() {
    V v;
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
    const test::Decoded encoded = test::Decode(EncodeTelegramSet(TestSetValues()));
    ASSERT_EQ(encoded.Outcome, SetOutcome::Valid);
    EXPECT_TRUE(encoded.Errors.empty());
    EXPECT_EQ(encoded.Table.Rows(), test::Decode(TestTelegramSet()).Table.Rows());
}

struct CellText {
    const char* Row;
    std::size_t Column;
    const char* Text;
};

// Each case changes a few fields of the reference values (signs, top digits, flags, codes) and
// names every cell that must change with them; every other cell must stay as in the reference.
// Values within a case differ, so that two fields swapped on the wire would show.
struct FieldCase {
    const char* Name;
    std::function<void(V&)> Change;
    std::vector<CellText> Cells;
};

// clang-format off
const FieldCase kFieldCases[] = {
    {"outdoor temperature below zero, top of the fields",
     [](V& v) { v.OutdoorTemperature.Current = -253, v.OutdoorTemperature.Max = 799,
                v.OutdoorTemperature.AlarmHighF = 199, v.OutdoorTemperature.AlarmLowF = -199; },
     {{"Temperatur außen", 1, "-25.3°C"}, {"Temperatur außen", 2, "79.9°C"},
      {"Temperatur außen", 6, "199.0°F"}, {"Temperatur außen", 7, "-199.0°F"}}},
    {"minima below zero while the current values are above",
     [](V& v) { v.OutdoorTemperature.Min = -799, v.IndoorTemperature.Min = -12,
                v.IndoorTemperature.AlarmHighF = 100; },
     {{"Temperatur außen", 4, "-79.9°C"}, {"Temperatur innen", 4, "-1.2°C"},
      {"Temperatur innen", 6, "100°F"}}},
    {"just below zero, shown in °F",
     [](V& v) { v.OutdoorTemperature.Current = -5, v.DisplayFahrenheit = true; },
     {{"Temperatur außen", 1, "-0.5°C"}, {"Temperatur innen", 9, "°F"}}},
    {"wind chill below zero, its minimum above",
     [](V& v) { v.WindChill = {-99, 2, {9, 24, 4, 10}, -40}; },
     {{"gefühlte Temp.", 1, "-99°C"}, {"gefühlte Temp.", 4, "2°C"},
      {"gefühlte Temp.", 7, "-40°F"}}},
    {"wind chill above zero, its minimum below",
     [](V& v) { v.WindChill = {5, -12, {9, 24, 4, 10}, -121}; },
     {{"gefühlte Temp.", 1, "5°C"}, {"gefühlte Temp.", 4, "-12°C"}}},
    {"directions next to north, top speed",
     [](V& v) { v.Wind.MeanDirection = 359, v.Wind.GustDirection = 1, v.Wind.GustTenths = 126,
                v.Wind.MaxTenths = 999, v.Wind.MaxDirection = 0, v.Wind.AlarmMph = 140; },
     {{"Wind Mittel", 1, "9.4km/h 359°"}, {"Wind Spitzen", 1, "45.4km/h 1°"},
      {"Wind Spitzen", 2, "359.6km/h0°"}, {"Wind Spitzen", 6, "140mph"}}},
    {"wind unit and flags",
     [](V& v) { v.Wind.UnitCode = 2, v.Wind.MaxOutOfRange = v.Wind.MeanOutOfRange = true,
                v.Wind.AlarmOn = true; },
     {{"Wind Spitzen", 9, "m/s"}, {"Wind Spitzen", 8, "Ein"},
      {"Wind Spitzen", 10, "Max Out Of Range: 1; Out Of Range: 0"},
      {"Wind Mittel", 10, "Out Of Range: 1"}}},
    {"rain at the top of its fields, reset stamp",
     [](V& v) { v.Rain = {999, 9999, 9998, {14, 5, 28, 2}, false, 393}; },
     {{"Regenmenge/Std.", 1, "999mm"}, {"Regen heute", 1, "9999mm"},
      {"Regen seit Reset", 1, "9998mm"}, {"Regen seit Reset", 10, "Reset: 14:05 / 28.02"}}},
    {"rain unit and flags",
     [](V& v) { v.Rain.DisplayInches = v.Rain.OutOfRange = v.Rain.AlarmOn = true; },
     {{"Regenmenge/Std.", 9, "inches"}, {"Regenmenge/Std.", 10, "Out Of Range: 1"},
      {"Regenmenge/Std.", 8, "Ein"}}},
    {"clock at the end of the year, alarm armed",
     [](V& v) { v.Clock = {23, 59, 59, 31, 12, true, false, 6, 30, true}; },
     {{"Zeit", 1, "23:59:59"}, {"Datum", 1, "31.12"}, {"Zeit", 6, "06:30"}, {"Zeit", 8, "Ein"}}},
    {"12-hour clock, month first",
     [](V& v) { v.Clock.Display24Hours = false, v.Clock.DisplayMonthFirst = true; },
     {{"Zeit", 9, "12-Stunden"}, {"Datum", 9, "Monat.Tag)"}}},
    {"humidity low, flags",
     [](V& v) { v.OutdoorHumidity.Current = 5, v.IndoorHumidity.OutOfRange = true,
                v.OutdoorHumidity.MaxOutOfRange = v.OutdoorHumidity.AlarmOn = true; },
     {{"Luftfeuchte außen", 1, "5%"}, {"Luftfeuchte außen", 8, "Ein"},
      {"Luftfeuchte außen", 10, "Max Out Of Range: 1; Out Of Range: 0"},
      {"Luftfeuchte innen", 10, "Max Out Of Range: 0; Out Of Range: 1"}}},
    {"pressure, trend, forecast and alarm",
     [](V& v) { v.Barometer = {95, 10999, 3, 8, 4, 15, true}; },
     {{"Luftdruck", 1, "095mb"}, {"Luftdruck NN", 1, "1099.9mb"}, {"Luftdruck", 7, " 16mb"},
      {"Luftdruck", 8, "Ein"}, {"Luftdruck", 10, "Trend: fallend"},
      {"Luftdruck NN", 10, "Aussichten: Regen"}}},
    {"dew point flags and alarm",
     [](V& v) { v.OutdoorDewPoint.OutOfRange = v.IndoorDewPoint.MinOutOfRange = true,
                v.DewPointAlarmOn = true, v.OutdoorDewPoint.AlarmThresholdCode = 15; },
     {{"Taupunkt außen", 10, "Min Out Of Range: 0; Out Of Range: 1"},
      {"Taupunkt innen", 10, "Min Out Of Range: 1; Out Of Range: 0"},
      {"Taupunkt innen", 8, "Ein"}, {"Taupunkt außen", 8, "Ein"}, {"Taupunkt außen", 7, "16°C:"}}},
    {"power and display",
     [](V& v) { v.Console = {true, true, 7, 2, 1}; },
     {{"Stromversorgung", 1, "Batt.(DC)"}, {"Batterie", 1, "leer"}, {"Anzeige", 1, "Regen"},
      {"Unteranzeige", 1, "2"}, {"Anzeigewert", 1, "Speicherwert"}}},
};
// clang-format on

TEST(Encoder, ChangedFieldsShowInTheirCellsOnly) {
    const std::vector<TableRow> reference = test::Decode(TestTelegramSet()).Table.Rows();
    for (const FieldCase& c : kFieldCases) {
        V v = TestSetValues();
        c.Change(v);
        const test::Decoded d = test::Decode(EncodeTelegramSet(v));
        ASSERT_EQ(d.Outcome, SetOutcome::Valid) << c.Name;
        EXPECT_TRUE(d.Errors.empty()) << c.Name;
        std::vector<TableRow> expected = reference;
        for (const CellText& cell : c.Cells)
            for (TableRow& row : expected)
                if (row[0] == cell.Row) row[cell.Column] = cell.Text;
        ASSERT_EQ(d.Table.Rows().size(), expected.size()) << c.Name;
        for (std::size_t r = 0; r < expected.size(); ++r)
            EXPECT_EQ(d.Table.Rows()[r], expected[r]) << c.Name;
    }
}

TEST(Encoder, TakesEveryValueItsFieldHoldsAndRefusesTheRest) {
    // Values that fit but make no sense as a time are sent as they are.
    V top = TestSetValues();
    top.Clock = {99, 99, 99, 99, 15, true, true, 99, 99, true};
    top.Rain = {999, 9999, 9999, {99, 99, 99, 15}, true, 999, true, true};
    top.Barometer = {9999, 32767, 15, 15, 15, 15, true};
    EXPECT_EQ(test::Decode(EncodeTelegramSet(top)).Outcome, SetOutcome::Valid);

    const std::pair<const char*, std::function<void(V&)>> refused[] = {
        {"temperature too hot", [](V& v) { v.OutdoorTemperature.Current = 800; }},
        {"temperature too cold", [](V& v) { v.IndoorTemperature.Min = -800; }},
        {"humidity 100", [](V& v) { v.OutdoorHumidity.Current = 100; }},
        {"humidity negative", [](V& v) { v.IndoorHumidity.Max = -1; }},
        {"rain of the hour", [](V& v) { v.Rain.LastHour = 1000; }},
        {"rain of the day", [](V& v) { v.Rain.Today = 10000; }},
        {"month", [](V& v) { v.Clock.Month = 16; }},
        {"stamp hour", [](V& v) { v.Wind.MaxAt.Hour = 100; }},
        {"direction", [](V& v) { v.Wind.MeanDirection = 1000; }},
        {"speed", [](V& v) { v.Wind.GustTenths = 1000; }},
        {"wind chill", [](V& v) { v.WindChill.Current = -100; }},
        {"wind chill alarm", [](V& v) { v.WindChill.AlarmF = 200; }},
        {"indoor limit sign", [](V& v) { v.IndoorTemperature.AlarmLowF = -1; }},
        {"sea level overflow", [](V& v) { v.Barometer.SeaLevelTenths = 32768; }},
        {"display code", [](V& v) { v.Console.DisplayCode = 8; }},
        {"wind unit", [](V& v) { v.Wind.UnitCode = 4; }},
    };
    for (const auto& [name, change] : refused) {
        V v = TestSetValues();
        change(v);
        EXPECT_THROW(EncodeTelegramSet(v), FieldRangeError) << name;
    }
}

TEST(Summary, NamesTemperatureWindAndRain) {
    EXPECT_EQ(Summary(TestTelegramSet()),
              "9.4°C, wind 9.4km/h gusts 10.1km/h from 205°, rain 0/1/2mm");
    V v = TestSetValues();
    v.OutdoorTemperature.Current = -253;
    EXPECT_EQ(Summary(EncodeTelegramSet(v)).rfind("-25.3°C, wind", 0), 0U);
}

}  // namespace
}  // namespace ombrix::sim
