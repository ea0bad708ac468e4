// What the history window draws: the range and its buckets, lines broken at gaps, the local days
// of the clock changes, the wind's mean across north, rain and its running total, live records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <tuple>
#include <vector>

#include "archive/history.h"

namespace ombrix {
namespace {

constexpr std::int64_t kNoon = 1796644800;  // 2026-12-07 12:00 UTC

// Five-minute records back from `to`, outTemp 1, 2, 3 …, 0.1 mm of rain each, the wind from the
// given directions in turn; those at the listed indexes (0 is the newest) left out.
std::vector<ArchiveRecord> Records(std::int64_t to, int count, std::vector<int> missing = {},
                                   std::vector<double> directions = {90}) {
    std::vector<ArchiveRecord> records;
    for (int i = count - 1; i >= 0; --i) {
        if (std::find(missing.begin(), missing.end(), i) != missing.end()) continue;
        ArchiveRecord r;
        r.DateTime = to - 300 * i;
        r.OutTemp = count - i;
        r.WindSpeed = 2;
        r.WindDir = directions[static_cast<std::size_t>(i) % directions.size()];
        r.Rain = 0.1;
        records.push_back(r);
    }
    return records;
}

HistoryView ViewOf(const std::vector<ArchiveRecord>& records, const HistoryRange& range) {
    std::vector<HistoryBucket> buckets;
    for (const ArchiveRecord& r : records) buckets.push_back(BucketOf(r));
    return BuildHistory(buckets, range, 300);
}

TEST(History, RangesAndBuckets) {
    for (const auto& [span, interval, steps, length, size] :
         std::vector<std::tuple<HistorySpan, int, int, std::int64_t, BucketSize>>{
             {HistorySpan::Day, 300, 0, 86400, BucketSize::Record},
             {HistorySpan::Week, 300, -1, 7 * 86400, BucketSize::Record},
             {HistorySpan::Week, 60, 0, 7 * 86400, BucketSize::Hour},
             {HistorySpan::Month, 300, 2, 30 * 86400, BucketSize::Hour},
             {HistorySpan::Year, 3600, 0, 365 * 86400, BucketSize::Day}}) {
        const HistoryRange r = RangeOf(span, kNoon, interval, steps);
        EXPECT_EQ(r.To, kNoon + steps * length);
        EXPECT_EQ(r.To - r.From, length);
        EXPECT_EQ(r.Size, size);
    }
}

TEST(History, LinesBreakWhereRecordsAreMissing) {
    const HistoryRange day = RangeOf(HistorySpan::Day, kNoon, 300);
    EXPECT_EQ(ViewOf(Records(kNoon, 288), day).OutTemp.size(), 1U);
    const HistoryView gap = ViewOf(Records(kNoon, 288, {100}), day);
    ASSERT_EQ(gap.OutTemp.size(), 2U);
    EXPECT_EQ(gap.OutTemp[1].front().Time - gap.OutTemp[0].back().Time, 600);
    EXPECT_EQ(gap.WindSpeed[0][0].Value, 7.2);  // km/h, as the table
    EXPECT_TRUE(gap.OutTempMin.empty());        // the band only for hours and days
    EXPECT_TRUE(ViewOf({}, day).Empty);
}

// Europe/Berlin: 29 March 2026 has 23 hours, 25 October 25; a month's rain bars are local days.
TEST(History, LocalDaysOfTheClockChanges) {
    setenv("TZ", "Europe/Berlin", 1);
    const std::int64_t march29 = 1774738800, october25 = 1792879200;  // local midnights, UTC
    EXPECT_EQ(BucketBounds(march29 + 3600, BucketSize::Day),
              std::make_pair(march29, march29 + 23 * 3600));
    ArchiveRecord hour;
    hour.Interval = 60;
    hour.Rain = 0.5;
    std::vector<HistoryBucket> hours;
    for (hour.DateTime = october25 + 3600; hours.size() < 26; hour.DateTime += 3600)
        hours.push_back(BucketOf(hour));
    const HistoryView v = BuildHistory(hours, RangeOf(HistorySpan::Month, hour.DateTime, 300), 300);
    ASSERT_EQ(v.Rain.size(), 2U);
    EXPECT_EQ(v.Rain[0], (RainBar{october25, october25 + 25 * 3600, 12.5}));
    unsetenv("TZ");
}

TEST(History, RainPerHourAndItsRunningTotal) {
    const HistoryView v = ViewOf(Records(kNoon, 24), RangeOf(HistorySpan::Day, kNoon, 300));
    ASSERT_EQ(v.Rain.size(), 2U);  // 10:05 … 11:00 and 11:05 … 12:00
    EXPECT_EQ(v.Rain[0].Start, kNoon - 7200);
    EXPECT_NEAR(v.Rain[0].Millimetres, 1.2, 1e-9);
    EXPECT_NEAR(v.RainTotal.back().back().Value, 2.4, 1e-9);
}

// A record joins the hour it falls in; the mean wind from 350° and 10° is north, not south.
TEST(History, AppendedRecordsJoinTheirHourAndMoveTheRange) {
    HistoryView v = ViewOf({}, RangeOf(HistorySpan::Month, kNoon, 300));
    for (const ArchiveRecord& r : Records(kNoon + 600, 2, {}, {350, 10}))
        AppendToHistory(v, r, 300);
    ASSERT_EQ(v.Buckets.size(), 1U);
    EXPECT_EQ(v.Buckets[0].Records, 2);
    EXPECT_EQ(v.OutTempMax[0][0], (ChartPoint{kNoon + 1800, 2}));  // the hour's middle
    EXPECT_NEAR(std::fmod(*v.Buckets[0].WindDir + 180, 360), 180, 1e-6);
    const ArchiveRecord late = Records(kNoon + 31 * 86400, 1)[0];
    AppendToHistory(v, late, 300);
    ASSERT_EQ(v.Buckets.size(), 1U);  // the first hour has left the range
    EXPECT_EQ(v.Buckets[0].End, kNoon + 31 * 86400);
    HistoryView day = ViewOf(Records(kNoon, 2), RangeOf(HistorySpan::Day, kNoon, 300));
    AppendToHistory(day, Records(kNoon, 1)[0], 300);  // the newest record again, merged
    EXPECT_EQ(day.Buckets.size(), 2U);
}

}  // namespace
}  // namespace ombrix
