// The weather model as the simulator's users rely on it: in every season each value fits its
// field and the set decodes cleanly, showers bring rain, and a seed repeats a run.
#include <gtest/gtest.h>

#include "decode_support.h"
#include "tools/sim/weather_model.h"

namespace ombrix::sim {
namespace {

// A week in July and a fortnight in January (frost, wind chill, the dew point at its floor), a
// set every ten minutes. EncodeTelegramSet refuses any value its field cannot hold.
TEST(WeatherModel, EveryValueFitsItsFieldAndShowersBringRain) {
    for (const LocalTime start :
         {LocalTime{2024, 7, 1, 0, 0, 0}, LocalTime{2025, 1, 2, 12, 0, 0}}) {
        WeatherModel model(7, ToConsoleTime(start));
        const int rainBefore = model.Station().Rain.SinceReset;
        int showers = 0;
        for (int i = 0; i < 2016 && !HasFailure(); ++i, model.Advance(600)) {
            const test::Decoded d = test::Decode(EncodeTelegramSet(model.Station()));
            ASSERT_EQ(d.Outcome, SetOutcome::Valid) << start.Month << ", set " << i;
            ASSERT_TRUE(d.Errors.empty()) << d.Errors.front();
            showers += model.Now().RainRate > 0;
        }
        EXPECT_GT(showers, 0) << start.Month;
        EXPECT_GT(model.Station().Rain.SinceReset, rainBefore) << start.Month;
    }
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

}  // namespace
}  // namespace ombrix::sim
