// The encoder writes every value into the field the decoder reads it from: the console's reference
// values come out as the built-in set's table, changed values show in their cells and nowhere
// else.
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

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

// Each case changes some fields of the reference values (signs, top digits, flags, codes) and
// names every cell that must change with them; every other cell must stay as the built-in set has
// it. Values within a case differ, so that two fields swapped on the wire would show. Rows as in
// the decoder's field edge cases: 1 Zeit, 2 Datum, 3/4 Luftfeuchte, 5/6 Temperatur, 7 Luftdruck,
// 8 Luftdruck NN, 9/10 Taupunkt, 11-13 Regen, 14 Wind Spitzen, 15 Wind Mittel, 16 gefühlte Temp.,
// 17 Stromversorgung, 18 Batterie, 19-21 Anzeige.
struct FieldCase {
    const char* Name;
    std::function<void(V&)> Change;
    std::vector<std::tuple<std::size_t, std::size_t, const char*>> Cells;  // row, column, text
};

// clang-format off
const FieldCase kFieldCases[] = {
    {"the reference values themselves", [](V&) {}, {}},
    {"temperatures below zero and at the top of their fields, shown in °F",
     [](V& v) { v.OutdoorTemperature = {-253, 799, {13, 45, 5, 10}, -799, {8, 0, 7, 10}, 199,
                                        -199};
                v.IndoorTemperature.Min = -12, v.IndoorTemperature.AlarmHighF = 100,
                v.DisplayFahrenheit = true; },
     {{6, 1, "-25.3°C"}, {6, 2, "79.9°C"}, {6, 4, "-79.9°C"}, {6, 6, "199.0°F"}, {6, 7, "-199.0°F"},
      {5, 4, "-1.2°C"}, {5, 6, "100°F"}, {5, 9, "°F"}}},
    {"wind chill below zero, directions next to north, top speed, wind unit and flags",
     [](V& v) { v.WindChill = {-99, 2, {9, 24, 4, 10}, -40};
                v.Wind = {126, 1, 26, 359, 999, 0, {12, 39, 5, 10}, 140, true, 2, true, false,
                          true}; },
     {{16, 1, "-99°C"}, {16, 4, "2°C"}, {16, 7, "-40°F"}, {15, 1, "9.4km/h 359°"},
      {14, 1, "45.4km/h 1°"}, {14, 2, "359.6km/h0°"}, {14, 6, "140mph"}, {14, 9, "m/s"},
      {14, 8, "Ein"}, {14, 10, "Max Out Of Range: 1; Out Of Range: 0"},
      {15, 10, "Out Of Range: 1"}}},
    {"rain and clock at the top of their fields, flags",
     [](V& v) { v.Rain = {999, 9999, 9998, {14, 5, 28, 2}, true, 393, true, true};
                v.Clock = {23, 59, 59, 31, 12, false, true, 6, 30, true}; },
     {{11, 1, "999mm"}, {12, 1, "9999mm"}, {13, 1, "9998mm"}, {13, 10, "Reset: 14:05 / 28.02"},
      {11, 9, "inches"}, {11, 10, "Out Of Range: 1"}, {11, 8, "Ein"}, {1, 1, "23:59:59"},
      {2, 1, "31.12"}, {1, 6, "06:30"}, {1, 8, "Ein"}, {1, 9, "12-Stunden"}, {2, 9, "Monat.Tag)"}}},
    {"humidity, pressure and dew point flags, codes and alarms; power and display",
     [](V& v) { v.OutdoorHumidity.Current = 5, v.IndoorHumidity.OutOfRange = true,
                v.OutdoorHumidity.MaxOutOfRange = v.OutdoorHumidity.AlarmOn = true;
                v.Barometer = {95, 10999, 3, 8, 4, 15, true};
                v.OutdoorDewPoint.OutOfRange = v.IndoorDewPoint.MinOutOfRange = true,
                v.DewPointAlarmOn = true, v.OutdoorDewPoint.AlarmThresholdCode = 15;
                v.Console = {true, true, 7, 2, 1}; },
     {{4, 1, "5%"}, {4, 8, "Ein"}, {4, 10, "Max Out Of Range: 1; Out Of Range: 0"},
      {3, 10, "Max Out Of Range: 0; Out Of Range: 1"}, {7, 1, "095mb"}, {8, 1, "1099.9mb"},
      {7, 7, " 16mb"}, {7, 8, "Ein"}, {7, 10, "Trend: fallend"}, {8, 10, "Aussichten: Regen"},
      {10, 10, "Min Out Of Range: 0; Out Of Range: 1"},
      {9, 10, "Min Out Of Range: 1; Out Of Range: 0"}, {9, 8, "Ein"}, {10, 8, "Ein"},
      {10, 7, "16°C:"}, {17, 1, "Batt.(DC)"}, {18, 1, "leer"}, {19, 1, "Regen"}, {20, 1, "2"},
      {21, 1, "Speicherwert"}}},
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
        for (const auto& [row, column, text] : c.Cells) expected.at(row - 1).at(column) = text;
        EXPECT_EQ(d.Table.Rows(), expected) << c.Name;
    }
}

}  // namespace
}  // namespace ombrix::sim
