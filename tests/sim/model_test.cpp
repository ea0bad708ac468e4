// The weather model through the program's own decoder: every simulated set is valid and the
// decoded rows carry the model's values within the display's rounding; the weather behaves like
// weather; a seed repeats a run.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <set>

#include "sim_support.h"
#include "tools/sim/weather_model.h"

namespace ombrix::sim {
namespace {

using test::Decode;
using test::Decoded;
using test::Number;

constexpr double kEps = 1e-4;

std::string Clock(const CivilTime& t) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", t.Hour, t.Minute, t.Second);
    return buffer;
}

std::string Date(const CivilTime& t) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d.%02d", t.Day, t.Month);
    return buffer;
}

double AngleApart(double a, double b) {
    const double d = std::fmod(std::fabs(a - b), 360.0);
    return std::min(d, 360.0 - d);
}

struct SimRun {
    const char* Name;
    std::uint64_t Seed;
    double Step;  // simulated seconds from set to set
    CivilTime Start;
};

void PrintTo(const SimRun& c, std::ostream* os) {
    *os << c.Name;
}

class SimulatedSets : public ::testing::TestWithParam<SimRun> {};

// 1,000 sets: a day and a bit at 10 s per set, a week at 10 min, a winter fortnight at 20 min.
const SimRun kRuns[] = {
    {"DayInOctober", 42, 10.0, {2024, 10, 7, 8, 0, 0}},
    {"WeekInJuly", 7, 600.0, {2024, 7, 1, 0, 0, 0}},
    {"FortnightInJanuary", 2025, 1200.0, {2025, 1, 2, 12, 0, 0}},
};

TEST_P(SimulatedSets, DecodeToTheModelsValues) {
    const SimRun& run = GetParam();
    WeatherModel model(run.Seed, ToConsoleTime(run.Start));
    for (int i = 0; i < 1000; ++i) {
        if (i > 0) model.Advance(run.Step);
        SCOPED_TRACE("set " + std::to_string(i + 1));
        const Weather& w = model.Now();
        const Bytes set = EncodeTelegramSet(model.Station());
        ASSERT_TRUE(test::AllGroupsPass(set));
        const Decoded d = Decode(set);
        ASSERT_EQ(d.Outcome, SetOutcome::Valid);
        ASSERT_TRUE(d.Errors.empty()) << d.Errors.front();

        const CivilTime t = ToCivil(w.Time);
        EXPECT_EQ(d.Cell("Zeit", 1), Clock(t));
        EXPECT_EQ(d.Cell("Datum", 1), Date(t));

        EXPECT_NEAR(d.Slots[6].Value, w.OutdoorTemperature, 0.05 + kEps);
        EXPECT_NEAR(Number(d.Cell("Temperatur innen", 1)), w.IndoorTemperature, 0.05 + kEps);
        EXPECT_NEAR(d.Slots[4].Value, w.OutdoorHumidity, 0.5 + kEps);
        EXPECT_NEAR(Number(d.Cell("Luftfeuchte innen", 1)), w.IndoorHumidity, 0.5 + kEps);
        EXPECT_NEAR(d.Slots[8].Value, w.SeaLevelPressure, 0.05 + kEps);
        EXPECT_NEAR(Number(d.Cell("Luftdruck", 1)), w.LocalPressure, 0.5 + kEps);
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
        EXPECT_EQ(Number(d.Cell("Regen seit Reset", 1)), std::floor(w.RainSinceReset + 1e-9));

        // Extremes as the console keeps them enclose the current values.
        for (const char* row : {"Temperatur außen", "Temperatur innen", "Luftfeuchte außen",
                                "Luftfeuchte innen", "Taupunkt außen", "Taupunkt innen"}) {
            const double now = Number(d.Cell(row, 1));
            EXPECT_LE(Number(d.Cell(row, 4)), now) << row;
            EXPECT_GE(Number(d.Cell(row, 2)), now) << row;
        }
        // The stored highest speed is shown to a tenth of a km/h.
        EXPECT_GE(Number(d.Cell("Wind Spitzen", 2)), d.Slots[14].Value - 0.05 - kEps);
        EXPECT_LE(Number(d.Cell("gefühlte Temp.", 4)), d.Slots[18].Value + kEps);
        if (::testing::Test::HasFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, SimulatedSets, ::testing::ValuesIn(kRuns),
                         [](const auto& info) { return std::string(info.param.Name); });

// A week in ten-minute steps, looked at as a whole.
class SimulatedWeek : public ::testing::Test {
  protected:
    void SetUp() override {
        WeatherModel model(7, ToConsoleTime({2024, 7, 1, 0, 0, 0}));
        for (int i = 0; i < 1008; ++i) {
            if (i > 0) model.Advance(600.0);
            weather.push_back(model.Now());
            station.push_back(model.Station());
        }
    }
    std::vector<Weather> weather;
    std::vector<StationValues> station;
};

TEST_F(SimulatedWeek, AfternoonsAreWarmerAndDrierThanNights) {
    double warm = 0, cold = 0, dryAfternoon = 0, humidNight = 0;
    int afternoons = 0, nights = 0;
    for (const Weather& w : weather) {
        const int hour = ToCivil(w.Time).Hour;
        if (hour >= 13 && hour < 17) {
            warm += w.OutdoorTemperature;
            dryAfternoon += w.OutdoorHumidity;
            ++afternoons;
        } else if (hour >= 2 && hour < 6) {
            cold += w.OutdoorTemperature;
            humidNight += w.OutdoorHumidity;
            ++nights;
        }
    }
    ASSERT_GT(afternoons, 100);
    ASSERT_GT(nights, 100);
    EXPECT_GT(warm / afternoons, cold / nights + 3.0);
    EXPECT_LT(dryAfternoon / afternoons, humidNight / nights - 10.0);
}

TEST_F(SimulatedWeek, ShowersFallAndTheDayTotalStartsAtMidnight) {
    bool rained = false;
    for (std::size_t i = 1; i < weather.size(); ++i) {
        const Weather& before = weather[i - 1];
        const Weather& now = weather[i];
        rained = rained || now.RainRate > 0;
        EXPECT_GE(now.RainSinceReset, before.RainSinceReset);
        if (ToCivil(now.Time).Day == ToCivil(before.Time).Day) {
            EXPECT_GE(now.RainToday, before.RainToday);
        } else {
            // The first ten minutes of the new day at most.
            EXPECT_LE(now.RainToday, now.RainLastHour + kEps);
        }
        EXPECT_LE(now.RainLastHour, now.RainSinceReset);
    }
    EXPECT_TRUE(rained);
}

TEST_F(SimulatedWeek, GustsTopTheMeanAndTheDirectionCrossesNorth) {
    int crossings = 0;
    for (std::size_t i = 0; i < weather.size(); ++i) {
        EXPECT_GE(weather[i].Gust, weather[i].MeanWind);
        EXPECT_GE(station[i].Wind.GustTenths, station[i].Wind.MeanTenths);
        if (i > 0) {
            const double a = weather[i - 1].MeanDirection;
            const double b = weather[i].MeanDirection;
            if ((a > 270 && b < 90) || (a < 90 && b > 270)) ++crossings;
        }
    }
    EXPECT_GT(crossings, 0);
}

TEST_F(SimulatedWeek, TrendAndForecastFollowThePressure) {
    std::set<int> trends;
    for (std::size_t i = 0; i < weather.size(); ++i) {
        const double change = weather[i].PressureChange3h;
        const int trend = station[i].Barometer.TrendCode;
        trends.insert(trend);
        EXPECT_EQ(trend, change >= 1.0 ? 1 : change <= -1.0 ? 4 : 2);
        const int forecast = station[i].Barometer.ForecastCode;
        EXPECT_TRUE(forecast == 1 || forecast == 2 || forecast == 4 || forecast == 8);
        if (change <= -2.5) {
            EXPECT_EQ(forecast, 8);
        }
    }
    EXPECT_GE(trends.size(), 2U);
}

TEST(WeatherModel, ExtremesCarryTheTimeTheyWereFirstReached) {
    // Steps of a minute: the console samples exactly at every set.
    WeatherModel model(11, ToConsoleTime({2024, 4, 20, 0, 0, 0}));
    auto stampOf = [&] {
        const ClockValues& c = model.Station().Clock;
        return Stamp{c.Hour, c.Minute, c.Day, c.Month};
    };
    int max = model.Station().OutdoorTemperature.Current;
    int min = max;
    int gust = model.Station().Wind.GustTenths;
    Stamp maxAt = stampOf(), minAt = maxAt, gustAt = maxAt;
    for (int i = 0; i < 1440; ++i) {
        model.Advance(60);
        const StationValues& s = model.Station();
        if (s.OutdoorTemperature.Current > max) {
            max = s.OutdoorTemperature.Current;
            maxAt = stampOf();
        }
        if (s.OutdoorTemperature.Current < min) {
            min = s.OutdoorTemperature.Current;
            minAt = stampOf();
        }
        if (s.Wind.GustTenths > gust) {
            gust = s.Wind.GustTenths;
            gustAt = stampOf();
        }
    }
    const StationValues& s = model.Station();
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
        if (i > 0) {
            a.Advance(300);
            b.Advance(300);
            c.Advance(300);
        }
        const Bytes setA = EncodeTelegramSet(a.Station());
        ASSERT_EQ(setA, EncodeTelegramSet(b.Station())) << i;
        differs = differs || setA != EncodeTelegramSet(c.Station());
    }
    EXPECT_TRUE(differs);
}

TEST(WeatherModel, ConsoleClockTicksWithSimulatedTime) {
    WeatherModel model(1, ToConsoleTime({2024, 12, 31, 23, 59, 50}));
    model.Advance(15);
    const ClockValues& c = model.Station().Clock;
    EXPECT_EQ(c.Hour, 0);
    EXPECT_EQ(c.Minute, 0);
    EXPECT_EQ(c.Second, 5);
    EXPECT_EQ(c.Day, 1);
    EXPECT_EQ(c.Month, 1);
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
