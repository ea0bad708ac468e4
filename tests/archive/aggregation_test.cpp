// The archive's arithmetic through its public functions: what the station's sets of an interval
// make of a record, where intervals end, how two parts of one interval merge, and the local days.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/days.h"

// The rows name only the columns they expect; GCC 12 warns about every member that a designated
// initializer leaves at its default, which is the point here.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace ombrix {
namespace {

constexpr QuantityState kValid = QuantityState::Valid;
constexpr QuantityState kOutOfRange = QuantityState::OutOfRange;
constexpr QuantityState kNotDecoded = QuantityState::NotDecoded;

struct Value {
    Quantity StationReading::*Field;
    double Number;
    QuantityState State = kValid;
};

// A station set with the given quantities; every other one is NotDecoded.
StationReading Set(std::initializer_list<Value> values) {
    StationReading reading;
    for (const Value& v : values) reading.*v.Field = {v.Number, v.State};
    return reading;
}
StationReading Wind(double speed, double direction) {
    return Set({{&StationReading::MeanSpeed, speed}, {&StationReading::MeanDirection, direction}});
}
StationReading Gust(double speed, double direction, QuantityState directionState = kValid) {
    return Set({{&StationReading::GustSpeed, speed},
                {&StationReading::GustDirection, direction, directionState}});
}
StationReading Rain(double counter, QuantityState state = kValid) {
    return Set({{&StationReading::RainSinceReset, counter, state}});
}

constexpr std::int64_t kStart = 1'800'000'000;  // a multiple of every interval length
constexpr std::int64_t kEnd = kStart + 300;

TEST(IntervalEnd, IsTheCeilingOfTheIntervalLength) {
    const std::int64_t rows[][3] = {{kEnd, 300, kEnd},
                                    {kEnd - 299, 300, kEnd},
                                    {kEnd + 1, 300, kEnd + 300},
                                    {0, 60, 0},
                                    {-1, 60, 0},
                                    {-60, 60, -60},
                                    {-61, 60, -60},
                                    {3599, 3600, 3600}};
    for (const auto& [t, interval, end] : rows)
        EXPECT_EQ(IntervalEnd(t, static_cast<int>(interval)), end) << t << " / " << interval;
}

// Each mean column from its own quantity, and only from valid values.
TEST(ArchiveAggregator, MeansOfTheValidValues) {
    using R = ArchiveRecord;
    using S = StationReading;
    const std::pair<Quantity S::*, std::optional<double> R::*> columns[] = {
        {&S::OutdoorTemperature, &R::OutTemp},  {&S::IndoorTemperature, &R::InTemp},
        {&S::OutdoorHumidity, &R::OutHumidity}, {&S::IndoorHumidity, &R::InHumidity},
        {&S::OutdoorDewPoint, &R::Dewpoint},    {&S::IndoorDewPoint, &R::InDewpoint},
        {&S::SeaLevelPressure, &R::Barometer},  {&S::Pressure, &R::Pressure},
        {&S::WindChill, &R::Windchill},         {&S::MeanSpeed, &R::WindSpeed}};
    for (const auto& [quantity, column] : columns) {
        ArchiveAggregator aggregator(300);
        const Value values[] = {{quantity, 10},
                                {quantity, 20, kOutOfRange},
                                {quantity, 30, kNotDecoded},
                                {quantity, 14}};
        for (const Value& v : values) aggregator.Add(Set({v}), kStart + 1);
        const ArchiveRecord record = RecordOf(*aggregator.Close());
        EXPECT_EQ(record.*column, 12);
        int others = 0;
        for (const auto& [unused, other] : columns) others += (record.*other).has_value();
        EXPECT_EQ(others, 1) << "a value in another column";
        EXPECT_EQ(record.SetCount, 4);
    }
}

TEST(ArchiveAggregator, WindGustAndRainOfOneInterval) {
    struct Row {
        std::string name;
        std::optional<double> lastRainTotal;
        std::vector<StationReading> sets;
        ArchiveRecord expected;
    };
    const std::vector<Row> rows = {
        {"vector mean across north",
         {},
         {Wind(2, 350), Wind(2, 10)},
         {.WindSpeed = 2, .WindDir = 0}},
        {"vector mean of west and south",
         {},
         {Wind(1, 270), Wind(1, 180)},
         {.WindSpeed = 1, .WindDir = 225}},
        {"opposite winds have no direction", {}, {Wind(3, 90), Wind(3, 270)}, {.WindSpeed = 3}},
        {"direction only with a valid speed",
         {},
         {Set({{&StationReading::MeanSpeed, 9, kOutOfRange}, {&StationReading::MeanDirection, 90}}),
          Wind(2, 180)},
         {.WindSpeed = 2, .WindDir = 180}},
        {"gust tie goes to the later set",
         {},
         {Gust(5, 90), Gust(7, 180), Gust(7, 270), Gust(6, 0)},
         {.WindGust = 7, .WindGustDir = 270}},
        {"gust tie, the later direction unknown",
         {},
         {Gust(7, 180), Gust(7, 0, kNotDecoded)},
         {.WindGust = 7}},
        {"restart: rain since the last record",
         10,
         {Rain(10.5), Rain(10.8)},
         {.Rain = 0.8, .RainTotal = 10.8}},
        {"counter reset adds nothing",
         10,
         {Rain(10.5), Rain(2.0), Rain(2.3)},
         {.Rain = 0.8, .RainTotal = 2.3}},
        {"counter reset at once: no rain, not unknown", 10, {Rain(3)}, {.Rain = 0, .RainTotal = 3}},
        {"decimal counters without binary noise",
         {},
         {Rain(12.2), Rain(12.7)},
         {.Rain = 0.5, .RainTotal = 12.7}},
        {"first counter ever: rain unknown", {}, {Rain(5)}, {.RainTotal = 5}},
        {"invalid counter keeps the last valid",
         1,
         {Rain(1.5), Rain(9, kOutOfRange)},
         {.Rain = 0.5, .RainTotal = 1.5}},
    };
    for (const Row& row : rows) {
        ArchiveAggregator aggregator(300, row.lastRainTotal);
        for (std::size_t i = 0; i < row.sets.size(); ++i)
            EXPECT_FALSE(aggregator.Add(row.sets[i], kStart + 1 + 50 * i)) << row.name;
        ArchiveRecord record = RecordOf(aggregator.Close().value()), expected = row.expected;
        expected.DateTime = kEnd;
        expected.SetCount = static_cast<int>(row.sets.size());
        ASSERT_EQ(record.WindDir.has_value(), expected.WindDir.has_value()) << row.name;
        if (record.WindDir) {
            EXPECT_NEAR(*record.WindDir, *expected.WindDir, 1e-9) << row.name;
            record.WindDir = expected.WindDir;
        }
        EXPECT_EQ(record, expected) << row.name;
    }
}

TEST(ArchiveAggregator, FinishesAnIntervalWhenASetBelongsToAnother) {
    struct Timed {
        std::int64_t t;
        StationReading set;
    };
    struct Finished {
        std::int64_t end;
        int sets;
        std::optional<double> rain, rainTotal;
        bool operator==(const Finished&) const = default;
    };
    struct Row {
        std::string name;
        std::vector<Timed> sets;
        std::vector<Finished> expected;  // in the order Add and then Close return them
    };
    StationReading test = Rain(50);
    test.Source = SetSource::TestButton;
    const std::vector<Row> rows = {
        {"a later interval",
         {{kStart + 1, {}}, {kEnd, {}}, {kEnd + 1, {}}},
         {{kEnd, 2, {}, {}}, {kEnd + 300, 1, {}, {}}}},
        {"the clock went back to an earlier interval",
         {{kEnd + 1, {}}, {kEnd, {}}},
         {{kEnd + 300, 1, {}, {}}, {kEnd, 1, {}, {}}}},
        {"test sets change nothing",
         {{kStart + 1, Rain(1.0)}, {kEnd + 900, test}, {kStart + 2, Rain(1.2)}},
         {{kEnd, 2, 0.2, 1.2}}},
        {"rain over a gap counts once, after it",
         {{kStart + 1, Rain(1.0)}, {kEnd + 3000, Rain(1.6)}},
         {{kEnd, 1, {}, 1.0}, {kEnd + 3000, 1, 0.6, 1.6}}},
    };
    for (const Row& row : rows) {
        ArchiveAggregator aggregator(300);
        std::vector<Finished> finished;
        const auto keep = [&](const std::optional<IntervalSums>& s) {
            if (s) finished.push_back({s->DateTime, s->SetCount, s->Rain, s->RainTotal});
        };
        for (const Timed& set : row.sets) keep(aggregator.Add(set.set, set.t));
        EXPECT_EQ(aggregator.OpenEnd(), row.expected.back().end) << row.name;
        keep(aggregator.Close());
        EXPECT_FALSE(aggregator.OpenEnd()) << row.name;
        EXPECT_EQ(finished, row.expected) << row.name;
    }
}

// Two parts of one interval (before and after a restart) merge into what one pass gives.
TEST(Merge, TwoPartsEqualOnePass) {
    const StationReading mixed = Set({{&StationReading::OutdoorTemperature, 3.5},
                                      {&StationReading::MeanSpeed, 1.5},
                                      {&StationReading::MeanDirection, 0},
                                      {&StationReading::RainSinceReset, 2.5}});
    struct Row {
        std::string name;
        std::vector<StationReading> earlier, later;
    };
    const std::vector<Row> rows = {
        {"gust tie across the parts", {Gust(7, 90), Rain(1.5)}, {Gust(7, 180), Gust(6, 0)}},
        {"higher gust in the earlier part", {Gust(8, 90), Rain(1.5)}, {Gust(7, 180)}},
        {"counter reset in the later part", {Rain(1.5), mixed}, {Rain(0.5), mixed, Rain(1.0)}},
        {"later part without a counter", {mixed, Rain(2.0)}, {Rain(9, kNotDecoded), Wind(1, 0)}},
        {"means only in the later part", {Rain(1.5)}, {mixed, Wind(0.5, 0)}},
    };
    for (const Row& row : rows) {
        ArchiveAggregator onePass(300, 1.0), first(300, 1.0);
        std::int64_t t = kStart;
        for (const StationReading& set : row.earlier) {
            onePass.Add(set, ++t);
            first.Add(set, t);
        }
        const IntervalSums earlier = *first.Close();
        ArchiveAggregator second(300, earlier.RainTotal);
        for (const StationReading& set : row.later) {
            onePass.Add(set, ++t);
            second.Add(set, t);
        }
        EXPECT_EQ(Merge(earlier, *second.Close()), *onePass.Close()) << row.name;
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
    std::vector<ArchiveRecord> records;
    for (std::int64_t t = 300; t <= kMidnights[3]; t += 300)
        records.push_back({.DateTime = t,
                           .OutTemp = 10,
                           .Barometer = 1000,
                           .WindGust = 3,
                           .WindGustDir = 90,
                           .Rain = 0.1});
    const auto at = [&](std::int64_t t) -> ArchiveRecord& { return records[t / 300 - 1]; };
    at(86'400).OutTemp = -4;  // the first day's last record, ending at its midnight
    at(86'400).WindGust = 9;
    at(86'400).WindGustDir = 45;
    at(86'700).OutTemp = 20;
    at(90'000).OutTemp = 20;
    at(99'900).OutTemp = -2;
    at(120'000).OutTemp = -2;
    at(99'900).Barometer = 990;
    at(150'000).Barometer = 1020;
    at(150'000).WindGust = 12;
    at(150'000).WindGustDir = 270;
    at(169'200).OutTemp.reset();
    at(169'200).Rain.reset();
    struct Expected {
        int records, expected;
        TimedValue low, high;
        double mean, rain, barometerLow, barometerHigh;
        TimedValue gust;
        double gustDir;
    };
    const Expected expected[] = {
        {288, 288, {-4, 86'400}, {10, 300}, 2866.0 / 288, 28.8, 1000, 1000, {9, 86'400}, 45},
        {276, 276, {-2, 99'900}, {20, 86'700}, 2746.0 / 275, 27.5, 990, 1020, {12, 150'000}, 270},
        {300, 300, {10, 169'500}, {10, 169'500}, 10, 30, 1000, 1000, {3, 169'500}, 90},
    };
    const std::vector<DaySummary> days = SummariseDays(records, 300, ThreeDays);
    ASSERT_EQ(days.size(), 3u);
    for (std::size_t i = 0; i < days.size(); ++i) {
        const DaySummary& day = days[i];
        const Expected& e = expected[i];
        EXPECT_EQ(day.Day.Start, kMidnights[i]) << i;
        EXPECT_EQ(day.Records, e.records) << i;
        EXPECT_EQ(day.Expected, e.expected) << i;
        EXPECT_EQ(day.OutTempLow, e.low) << i;
        EXPECT_EQ(day.OutTempHigh, e.high) << i;
        EXPECT_DOUBLE_EQ(day.OutTempMean.value_or(-99), e.mean) << i;
        EXPECT_EQ(day.GustHigh, e.gust) << i;
        EXPECT_EQ(day.GustDir, e.gustDir) << i;
        EXPECT_EQ(day.Rain, e.rain) << i;
        EXPECT_EQ(day.BarometerLow, e.barometerLow) << i;
        EXPECT_EQ(day.BarometerHigh, e.barometerHigh) << i;
    }
}

}  // namespace
}  // namespace ombrix
