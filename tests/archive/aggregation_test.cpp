// The archive's arithmetic through its public functions: what the station's sets make of the
// records, where intervals end, how two parts of one interval merge, and the local days.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <string>
#include <tuple>
#include <vector>

#include "archive/archive.h"
#include "archive/days.h"

// The rows name only the columns they expect; GCC 12 warns about every member that a designated
// initializer leaves at its default, which is the point here.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace ombrix {
namespace {

using S = StationReading;
using R = ArchiveRecord;
constexpr QuantityState kOutOfRange = QuantityState::OutOfRange;
constexpr QuantityState kNotDecoded = QuantityState::NotDecoded;

struct Value {
    Quantity S::*Field;
    double Number;
    QuantityState State = QuantityState::Valid;
};

// A station set with the given quantities; every other one is NotDecoded.
S Set(std::initializer_list<Value> values, SetSource source = SetSource::Station) {
    S reading;
    reading.Source = source;
    for (const Value& v : values) reading.*v.Field = {v.Number, v.State};
    return reading;
}
S Wind(double speed, double direction) {
    return Set({{&S::MeanSpeed, speed}, {&S::MeanDirection, direction}});
}
S Gust(double speed, double direction, QuantityState directionState = QuantityState::Valid) {
    return Set({{&S::GustSpeed, speed}, {&S::GustDirection, direction, directionState}});
}
S Rain(double counter, QuantityState state = QuantityState::Valid) {
    return Set({{&S::RainSinceReset, counter, state}});
}

constexpr std::int64_t kStart = 1'800'000'000;  // a multiple of every interval length
constexpr std::int64_t kEnd = kStart + 300;

TEST(IntervalEnd, IsTheCeilingOfTheIntervalLength) {
    const std::int64_t rows[][2] = {
        {kEnd, kEnd}, {kEnd - 299, kEnd}, {kEnd + 1, kEnd + 300}, {0, 0}, {-1, 0},
        {-300, -300}, {-301, -300}};
    for (const auto& [t, end] : rows) EXPECT_EQ(IntervalEnd(t, 300), end) << t;
}

// Each mean column from its own quantity, and only from valid values.
TEST(ArchiveAggregator, MeansOfTheValidValues) {
    const std::pair<Quantity S::*, std::optional<double> R::*> columns[] = {
        {&S::OutdoorTemperature, &R::OutTemp},  {&S::IndoorTemperature, &R::InTemp},
        {&S::OutdoorHumidity, &R::OutHumidity}, {&S::IndoorHumidity, &R::InHumidity},
        {&S::OutdoorDewPoint, &R::Dewpoint},    {&S::IndoorDewPoint, &R::InDewpoint},
        {&S::SeaLevelPressure, &R::Barometer},  {&S::Pressure, &R::Pressure},
        {&S::WindChill, &R::Windchill},         {&S::MeanSpeed, &R::WindSpeed}};
    for (const auto& [quantity, column] : columns) {
        ArchiveAggregator aggregator(300);
        for (const Value& v : {Value{quantity, 10}, Value{quantity, 20, kOutOfRange},
                               Value{quantity, 30, kNotDecoded}, Value{quantity, 14}})
            aggregator.Add(Set({v}), kStart + 1);
        EXPECT_EQ(RecordOf(*aggregator.Close()).*column, 12);
    }
}

// Sets of one interval, at kStart + 1, + 2, ...: the record they make.
using Sets = std::vector<S>;
struct OneInterval {
    std::string name;
    Sets sets;
    R expected;  // without DateTime and SetCount
    std::optional<double> lastRainTotal;
};
const std::vector<OneInterval> kOneInterval = {
    {"mean across north", Sets{Wind(2, 350), Wind(2, 10)}, R{.WindSpeed = 2, .WindDir = 0}},
    {"opposite winds: no direction", Sets{Wind(3, 90), Wind(3, 270)}, R{.WindSpeed = 3}},
    {"direction only with a valid speed",
     Sets{Set({{&S::MeanSpeed, 9, kOutOfRange}, {&S::MeanDirection, 90}}), Wind(2, 180)},
     R{.WindSpeed = 2, .WindDir = 180}},
    {"gust tie: the later set", Sets{Gust(5, 90), Gust(7, 180), Gust(7, 270), Gust(6, 0)},
     R{.WindGust = 7, .WindGustDir = 270}},
    {"gust tie: later direction unknown", Sets{Gust(7, 180), Gust(7, 0, kNotDecoded)},
     R{.WindGust = 7}},
    {"restart, no binary noise", Sets{Rain(12.7), Rain(12.9)}, R{.Rain = 0.7, .RainTotal = 12.9},
     12.2},
    {"counter reset adds nothing", Sets{Rain(10.5), Rain(2.0), Rain(2.3)},
     R{.Rain = 0.8, .RainTotal = 2.3}, 10},
    {"reset at once: no rain, not unknown", Sets{Rain(3)}, R{.Rain = 0, .RainTotal = 3}, 10},
    {"first counter ever, then an invalid one", Sets{Rain(5), Rain(9, kOutOfRange)},
     R{.RainTotal = 5}},
};

TEST(ArchiveAggregator, RecordOfOneInterval) {
    for (const OneInterval& row : kOneInterval) {
        ArchiveAggregator aggregator(300, row.lastRainTotal);
        for (std::size_t i = 0; i < row.sets.size(); ++i)
            EXPECT_FALSE(aggregator.Add(row.sets[i], kStart + 1 + i)) << row.name;
        EXPECT_EQ(aggregator.OpenEnd(), kEnd) << row.name;
        R record = RecordOf(*aggregator.Close()), expected = row.expected;
        EXPECT_FALSE(aggregator.OpenEnd()) << row.name;
        // The last bits of atan2 and of the conversion to degrees are no direction.
        if (record.WindDir) record.WindDir = std::round(*record.WindDir * 1e9) / 1e9;
        expected.DateTime = kEnd;
        expected.SetCount = static_cast<int>(row.sets.size());
        EXPECT_EQ(record, expected) << row.name;
    }
}

// The interval closed after each of its sets (at shutdown, or the clock went back into it) and
// opened again: the two parts merge into what one pass gives.
TEST(Merge, TwoPartsEqualOnePass) {
    for (const OneInterval& row : kOneInterval) {
        for (std::size_t split = 1; split < row.sets.size(); ++split) {
            ArchiveAggregator onePass(300, row.lastRainTotal), parts(300, row.lastRainTotal);
            std::optional<IntervalSums> earlier;
            for (std::size_t i = 0; i < row.sets.size(); ++i) {
                if (i == split) earlier = parts.Close();
                onePass.Add(row.sets[i], kStart + 1 + i);
                parts.Add(row.sets[i], kStart + 1 + i);
            }
            EXPECT_EQ(Merge(*earlier, *parts.Close()), *onePass.Close()) << row.name << split;
        }
    }
}

// Sets at kStart + offset across intervals: what Add and then Close finish, in that order.
TEST(ArchiveAggregator, FinishesAnIntervalWhenASetBelongsToAnother) {
    using Timeline = std::vector<std::pair<std::int64_t, S>>;
    // The interval's end after kStart, its sets, Rain and RainTotal.
    using Ends =
        std::vector<std::tuple<std::int64_t, int, std::optional<double>, std::optional<double>>>;
    const S test = Set({{&S::RainSinceReset, 50}}, SetSource::TestButton);
    const std::tuple<std::string, Timeline, Ends> rows[] = {
        {"E stays in E, E + 1 opens the next, the clock goes back",
         Timeline{{1, {}}, {300, {}}, {301, {}}, {300, {}}},
         Ends{{300, 2, {}, {}}, {600, 1, {}, {}}, {300, 1, {}, {}}}},
        {"test sets change nothing", Timeline{{1, Rain(1.0)}, {1200, test}, {2, Rain(1.2)}},
         Ends{{300, 2, 0.2, 1.2}}},
        {"rain over a gap counts once, after it", Timeline{{1, Rain(1.0)}, {3300, Rain(1.6)}},
         Ends{{300, 1, {}, 1.0}, {3300, 1, 0.6, 1.6}}},
    };
    for (const auto& [name, sets, expected] : rows) {
        ArchiveAggregator aggregator(300);
        Ends finished;
        const auto keep = [&](const std::optional<IntervalSums>& s) {
            if (s) finished.push_back({s->DateTime - kStart, s->SetCount, s->Rain, s->RainTotal});
        };
        for (const auto& [offset, set] : sets) keep(aggregator.Add(set, kStart + offset));
        keep(aggregator.Close());
        EXPECT_EQ(finished, expected) << name;
    }
}

// A zone of three days: 24 hours, then 23 (clocks forward), then 25 (clocks back).
constexpr std::int64_t kMidnights[] = {0, 86'400, 169'200, 259'200};
LocalDay ThreeDays(std::int64_t t) {
    int i = 0;
    while (i < 2 && t >= kMidnights[i + 1]) ++i;
    return {2026, 3, 28 + i, kMidnights[i], kMidnights[i + 1]};
}

TEST(SummariseDays, ExtremesSumsAndCountsOfEachLocalDay) {
    std::vector<R> records(
        kMidnights[3] / 300,
        R{.OutTemp = 10, .Barometer = 1000, .WindGust = 3, .WindGustDir = 90, .Rain = 0.1});
    for (std::size_t i = 0; i < records.size(); ++i)
        records[i].DateTime = 300 * std::int64_t(i + 1);
    const auto at = [&](std::int64_t t) -> R& { return records[t / 300 - 1]; };
    at(86'400) = {.DateTime = 86'400, .OutTemp = -4, .WindGust = 9, .WindGustDir = 45};
    at(86'700).OutTemp = at(90'000).OutTemp = 20;
    at(99'900).OutTemp = at(120'000).OutTemp = -2;
    at(99'900).Barometer = 990;
    at(150'000) = {.DateTime = 150'000, .Barometer = 1020, .WindGust = 12, .WindGustDir = 270};
    records.erase(records.begin() + 9);  // a gap in the first day
    const auto day = [](int i) { return ThreeDays(kMidnights[i]); };
    using T = TimedValue;
    const std::vector<DaySummary> expected = {
        {day(0), T{-4, 86'400}, T{10, 300}, 2856.0 / 287, T{9, 86'400}, 45, 28.6, 1000, 1000, 287,
         288},
        {day(1), T{-2, 99'900}, T{20, 86'700}, 2746.0 / 275, T{12, 150'000}, 270, 27.5, 990, 1020,
         276, 276},
        {day(2), T{10, 169'500}, T{10, 169'500}, 10, T{3, 169'500}, 90, 30, 1000, 1000, 300, 300},
    };
    EXPECT_EQ(SummariseDays(records, 300, ThreeDays), expected);
}

}  // namespace
}  // namespace ombrix
