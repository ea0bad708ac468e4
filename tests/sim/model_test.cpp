// The weather model through the program's own decoder: every simulated set is valid and the
// decoded rows carry the model's values within the display's rounding; the weather behaves like
// weather; a seed repeats a run.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <set>

#include "decode_support.h"
#include "tools/sim/weather_model.h"

namespace ombrix::sim {
namespace {

constexpr double kEps = 1e-4;

double Number(const std::string& cell) {
    return std::strtod(cell.c_str(), nullptr);
}

double AngleApart(double a, double b) {
    const double d = std::fmod(std::fabs(a - b), 360.0);
    return std::min(d, 360.0 - d);
}

// 1,000 sets each: two hours at 7 s per set (every second of the minute), a week at 10 min
// (looked at as a whole as well), a winter fortnight (frost, wind chill, the dew point field at
// its floor) at 20 min.
TEST(SimulatedSets, DecodeToTheModelsValuesAndBehaveLikeWeather) {
    struct Run {
        const char* Name;
        std::uint64_t Seed;
        double Step;
        LocalTime Start;
        bool Week;
    };
    const Run runs[] = {
        {"morning in October", 42, 7.0, {2024, 10, 7, 8, 0, 0}, false},
        {"week in July", 7, 600.0, {2024, 7, 1, 0, 0, 0}, true},
        {"fortnight in January", 2025, 1200.0, {2025, 1, 2, 12, 0, 0}, false},
    };
    for (const Run& run : runs) {
        WeatherModel model(run.Seed, ToConsoleTime(run.Start));
        double afternoon[3] = {}, night[3] = {};  // temperature, humidity, count
        int crossings = 0;
        bool rained = false;
        std::set<int> trends;
        Weather before = model.Now();
        for (int i = 0; i < 1000 && !HasFailure(); ++i) {
            if (i > 0) model.Advance(run.Step);
            SCOPED_TRACE(std::string(run.Name) + ", set " + std::to_string(i + 1));
            const Weather& w = model.Now();
            const StationValues& s = model.Station();
            const Bytes set = EncodeTelegramSet(s);
            ASSERT_TRUE(test::AllGroupsPass(set));
            const test::Decoded d = test::Decode(set);
            ASSERT_EQ(d.Outcome, SetOutcome::Valid);
            ASSERT_TRUE(d.Errors.empty()) << d.Errors.front();
            const auto cell = [&](const char* row) { return Number(d.Cell(row, 1)); };

            const LocalTime t = ToCivil(w.Time);
            char clock[32];
            std::snprintf(clock, sizeof clock, "%02d:%02d:%02d %02d.%02d", t.Hour, t.Minute,
                          t.Second, t.Day, t.Month);
            EXPECT_EQ(d.Cell("Zeit", 1) + " " + d.Cell("Datum", 1), clock);

            EXPECT_NEAR(d.Slots[6].Value, w.OutdoorTemperature, 0.05 + kEps);
            EXPECT_NEAR(cell("Temperatur innen"), w.IndoorTemperature, 0.05 + kEps);
            EXPECT_NEAR(d.Slots[4].Value, w.OutdoorHumidity, 0.5 + kEps);
            EXPECT_NEAR(cell("Luftfeuchte innen"), w.IndoorHumidity, 0.5 + kEps);
            EXPECT_NEAR(d.Slots[8].Value, w.SeaLevelPressure, 0.05 + kEps);
            EXPECT_NEAR(cell("Luftdruck"), w.LocalPressure, 0.5 + kEps);
            // The field has no sign: frost points are sent as 0 with the "Out Of Range" flag.
            EXPECT_NEAR(d.Slots[10].Value, std::max(0.0, w.OutdoorDewPoint), 0.5 + kEps);
            // Tenths of m/s on the wire, km/h in the table.
            EXPECT_NEAR(d.Slots[14].Value, w.Gust * 3.6, 0.05 * 3.6 + kEps);
            EXPECT_NEAR(d.Slots[16].Value, w.MeanWind * 3.6, 0.05 * 3.6 + kEps);
            EXPECT_LE(AngleApart(d.Slots[15].Value, w.GustDirection), 0.5 + kEps);
            EXPECT_LE(AngleApart(d.Slots[17].Value, w.MeanDirection), 0.5 + kEps);
            EXPECT_NEAR(d.Slots[18].Value, w.WindChill, 0.5 + kEps);
            // The gauge counts whole millimetres.
            EXPECT_EQ(d.Slots[11].Value, std::floor(w.RainLastHour + 1e-9));
            EXPECT_EQ(d.Slots[12].Value, std::floor(w.RainToday + 1e-9));
            EXPECT_EQ(cell("Regen seit Reset"), std::floor(w.RainSinceReset + 1e-9));

            // Extremes as the console keeps them enclose the current values.
            for (const char* row : {"Temperatur außen", "Temperatur innen", "Luftfeuchte außen",
                                    "Luftfeuchte innen", "Taupunkt außen", "Taupunkt innen"}) {
                EXPECT_LE(Number(d.Cell(row, 4)), cell(row)) << row;
                EXPECT_GE(Number(d.Cell(row, 2)), cell(row)) << row;
            }
            EXPECT_GE(Number(d.Cell("Wind Spitzen", 2)), d.Slots[14].Value - 0.05 - kEps);
            EXPECT_LE(Number(d.Cell("gefühlte Temp.", 4)), d.Slots[18].Value + kEps);

            // Showers feed the totals; the day's total starts again at midnight.
            rained = rained || w.RainRate > 0;
            EXPECT_GE(w.RainSinceReset, before.RainSinceReset);
            EXPECT_LE(w.RainLastHour, w.RainSinceReset);
            if (t.Day == ToCivil(before.Time).Day)
                EXPECT_GE(w.RainToday, before.RainToday);
            else
                EXPECT_LE(w.RainToday, w.RainLastHour + kEps);  // one step of the new day at most
            // Gusts top the mean wind; its direction now and then crosses north.
            EXPECT_GE(w.Gust, w.MeanWind);
            EXPECT_GE(s.Wind.GustTenths, s.Wind.MeanTenths);
            const double a = before.MeanDirection, b = w.MeanDirection;
            if ((a > 270 && b < 90) || (a < 90 && b > 270)) ++crossings;
            // Trend and forecast follow the pressure's change over three hours.
            const double change = w.PressureChange3h;
            const int forecast = s.Barometer.ForecastCode;
            trends.insert(s.Barometer.TrendCode);
            const int trend = s.Barometer.TrendCode;  // 1 rising, 2 steady, 4 falling
            EXPECT_TRUE(trend == 2 ? std::fabs(change) < 2 : (trend == 1) == (change > 0))
                << change;
            EXPECT_TRUE(forecast == 1 || forecast == 2 || forecast == 4 || forecast == 8);
            EXPECT_TRUE(change > -2.5 || forecast == 8) << change;  // rain after a fall
            double* sums = t.Hour >= 13 && t.Hour < 17 ? afternoon
                           : t.Hour >= 2 && t.Hour < 6 ? night
                                                       : nullptr;
            if (sums) sums[0] += w.OutdoorTemperature, sums[1] += w.OutdoorHumidity, ++sums[2];
            before = w;
        }
        if (!run.Week) continue;
        // Afternoons are warmer and drier than nights.
        ASSERT_GT(afternoon[2], 100);
        ASSERT_GT(night[2], 100);
        EXPECT_GT(afternoon[0] / afternoon[2], night[0] / night[2] + 3.0);
        EXPECT_LT(afternoon[1] / afternoon[2], night[1] / night[2] - 10.0);
        EXPECT_TRUE(rained);
        EXPECT_GT(crossings, 0);
        EXPECT_EQ(trends, (std::set<int>{1, 2, 4}));
    }
}

TEST(WeatherModel, ExtremesCarryTheTimeTheyWereFirstReached) {
    // Steps of a minute: the console samples exactly at every set.
    WeatherModel model(11, ToConsoleTime({2024, 4, 20, 0, 0, 0}));
    const StationValues& s = model.Station();
    const auto now = [&] {
        return Stamp{s.Clock.Hour, s.Clock.Minute, s.Clock.Day, s.Clock.Month};
    };
    int max = s.OutdoorTemperature.Current, min = max, gust = s.Wind.GustTenths;
    Stamp maxAt = now(), minAt = maxAt, gustAt = maxAt;
    for (int i = 0; i < 1440; ++i) {
        model.Advance(60);
        if (s.OutdoorTemperature.Current > max) max = s.OutdoorTemperature.Current, maxAt = now();
        if (s.OutdoorTemperature.Current < min) min = s.OutdoorTemperature.Current, minAt = now();
        if (s.Wind.GustTenths > gust) gust = s.Wind.GustTenths, gustAt = now();
    }
    EXPECT_EQ(s.OutdoorTemperature.Max, max);
    EXPECT_EQ(s.OutdoorTemperature.MaxAt, maxAt);
    EXPECT_EQ(s.OutdoorTemperature.Min, min);
    EXPECT_EQ(s.OutdoorTemperature.MinAt, minAt);
    EXPECT_EQ(s.Wind.MaxTenths, gust);
    EXPECT_EQ(s.Wind.MaxAt, gustAt);
    EXPECT_NE(maxAt, minAt);
}

TEST(WeatherModel, SameSeedRepeatsDifferentSeedDoesNot) {
    const ConsoleTime start = ToConsoleTime({2024, 3, 10, 6, 0, 0});
    WeatherModel a(99, start), b(99, start), c(100, start);
    bool differs = false;
    for (int i = 0; i < 200; ++i) {
        const Bytes setA = EncodeTelegramSet(a.Station());
        ASSERT_EQ(setA, EncodeTelegramSet(b.Station())) << i;
        differs = differs || setA != EncodeTelegramSet(c.Station());
        a.Advance(300), b.Advance(300), c.Advance(300);
    }
    EXPECT_TRUE(differs);
}

TEST(WeatherModel, ConsoleClockTicksIntoTheNewYear) {
    WeatherModel model(1, ToConsoleTime({2024, 12, 31, 23, 59, 50}));
    model.Advance(15);
    const ClockValues& c = model.Station().Clock;
    EXPECT_EQ(std::vector<int>({c.Hour, c.Minute, c.Second, c.Day, c.Month}),
              std::vector<int>({0, 0, 5, 1, 1}));
}

TEST(WeatherModel, FormulasGiveKnownValues) {
    // Magnus: 20 °C at 50 % gives a dew point of about 9.3 °C; saturated air its own temperature.
    EXPECT_NEAR(DewPoint(20.0, 50.0), 9.26, 0.05);
    EXPECT_NEAR(DewPoint(-5.0, 100.0), -5.0, 1e-9);
    // Wind chill: -10 °C in 30 km/h feels like about -19.5 °C; calm or warm air changes nothing.
    EXPECT_NEAR(WindChill(-10.0, 30.0), -19.5, 0.1);
    EXPECT_EQ(WindChill(-10.0, 3.0), -10.0);
    EXPECT_EQ(WindChill(15.0, 30.0), 15.0);
}

}  // namespace
}  // namespace ombrix::sim
