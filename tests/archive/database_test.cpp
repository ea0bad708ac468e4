// The archive's file: what is refused and left alone, merging, another program holding the file,
// the clock set back and forward; and the records ombrix-decode writes into it across runs.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "database/archive_database.h"
#include "support.h"

namespace ombrix {
namespace {

// Runs the statements on the file; the rows they give as text, numbers to ten digits (two runs
// add the sets' values in another order than one), a line a row.
std::string Sql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    std::string rows;
    const auto row = [](void* out, int n, char** values, char**) {
        for (int i = 0; i < n; ++i) {
            char value[32] = "NULL,";
            if (values[i])
                std::snprintf(value, sizeof value, "%.10g,", std::strtod(values[i], nullptr));
            *static_cast<std::string*>(out) += value;
        }
        *static_cast<std::string*>(out) += "\n";
        return 0;
    };
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), row, &rows, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
    return rows;
}

// ombrix-decode on the files, the first at `minute` past ten on 1 June 2026, two minutes apart.
test::ToolRun Decode(const test::TempDir& dir, const std::string& archive, int minute,
                     std::vector<std::string> files) {
    const std::string clock = "2026-06-01T10:" + std::to_string(100 + minute).substr(1) + ":00";
    files.insert(files.begin(), {"--archive", archive, "--clock", clock, "--step", "120"});
    return test::RunTool(dir.Path, OMBRIX_DECODE_PATH, files);
}

TEST(ArchivePrograms, DecodeLeavesWhatIsNoArchiveOfItsOwnAlone) {
    test::TempDir dir;
    const std::string path = dir / "file";
    for (const auto& [name, text, sql] : std::vector<std::array<std::string, 3>>{
             {"text", "dateTime,outTemp\n1,2\n", ""},
             {"weewx", "", "CREATE TABLE archive (dateTime INTEGER PRIMARY KEY, usUnits INTEGER);"},
             {"other's", "", "CREATE TABLE archive (x); PRAGMA user_version = 1;"},
             {"newer", "", "CREATE TABLE t (x); PRAGMA user_version = 2;"}}) {
        test::WriteFile(path, text);
        if (!sql.empty()) Sql(path, sql);
        const std::string before = test::ReadFile(path);
        const test::ToolRun run = Decode(dir, path, 0, {"--test-set"});
        EXPECT_EQ(run.Status, 2) << name;
        EXPECT_NE(run.Err.find(path), std::string::npos) << name << ": " << run.Err;
        EXPECT_EQ(test::ReadFile(path), before) << name;
    }
    test::WriteFile(path, "");  // an empty file is an empty database: it gets the schema
    EXPECT_EQ(Decode(dir, path, 0, {"--test-set"}).Status, 0);
    EXPECT_EQ(Sql(path, "PRAGMA user_version"), "1,\n");
}

// Set i of a station: every third outdoor temperature is out of range, so that a mean weighted
// by setCount would differ from the exact one.
StationReading Reading(int i) {
    StationReading r;
    r.OutdoorTemperature = {i * 0.1, i % 3 ? QuantityState::Valid : QuantityState::OutOfRange};
    r.MeanSpeed = {i * 0.3, QuantityState::Valid};
    r.MeanDirection = {i * 45.0, QuantityState::Valid};
    r.GustSpeed = {i % 4 * 1.0, QuantityState::Valid};
    r.GustDirection = {i * 10.0, QuantityState::Valid};
    r.RainSinceReset = {10 + i * 0.3, QuantityState::Valid};
    return r;
}

// Sets from..to-1, ten seconds apart, all in one interval.
IntervalSums Part(int from, int to, double lastRainTotal) {
    ArchiveAggregator aggregator(300, lastRainTotal);
    for (int i = from; i < to; ++i) aggregator.Add(Reading(i), 1'800'000'000 - 10 * i);
    return *aggregator.Close();
}

// A fresh archive that waits 50 ms for other programs, as the window's does.
class ArchiveDatabaseTest : public testing::Test {
  protected:
    test::TempDir dir;
    std::string error;
    std::unique_ptr<ArchiveDatabase> db = ArchiveDatabase::Open(dir / "a.sqlite", error, true, 50);
    void SetUp() override { ASSERT_NE(db, nullptr) << error; }
};

TEST_F(ArchiveDatabaseTest, MergesTwoPartsOfAnIntervalExactly) {
    const IntervalSums first = Part(0, 5, 10), second = Part(5, 9, first.RainTotal.value());
    ASSERT_EQ(db->Write(first).State, ArchiveDatabase::Status::Ok);
    ASSERT_EQ(db->Write(second).State, ArchiveDatabase::Status::Ok);
    EXPECT_EQ(db->Read(0, 2'000'000'000), std::vector{RecordOf(Merge(first, second))});
    EXPECT_EQ(db->LastRainTotal(), 12.4);
}

TEST_F(ArchiveDatabaseTest, AnotherWriterMakesItBusyNotHang) {
    sqlite3* other = nullptr;
    sqlite3_open((dir / "a.sqlite").c_str(), &other);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(db->Write(Part(0, 3, 10)).State, ArchiveDatabase::Status::Busy);
    sqlite3_close(other);  // ends its transaction
    EXPECT_EQ(db->Write(Part(0, 3, 10)).State, ArchiveDatabase::Status::Ok);
    EXPECT_EQ(db->RecordCount(), 1);
}

// The system clock set back an hour and then forward a day while the program runs: the hour's
// records take the new sets, the day between stays a gap.
TEST_F(ArchiveDatabaseTest, ClockSetBackMergesClockSetForwardLeavesAGap) {
    ArchiveAggregator aggregator(300);
    std::int64_t t = 1'800'000'001;
    for (int i = 0; i < 130; ++i, t += 60) {  // a set a minute
        if (i == 60) t -= 3600;
        if (i == 120) t += 86400;
        if (auto done = aggregator.Add(Reading(i), t)) db->Write(*done);
    }
    db->Write(*aggregator.Close());
    const std::vector<ArchiveRecord> records = db->Read(0, 2'000'000'000);
    ASSERT_EQ(records.size(), 12u + 2u);
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].DateTime, 1'800'000'300 + 300 * (i < 12 ? i : i + 288)) << i;
        EXPECT_EQ(records[i].SetCount, i < 12 ? 10 : 5) << i;
    }
}

TEST(ArchivePrograms, TwoRunsContinuingEachOtherMakeTheArchiveOfOne) {
    test::TempDir dir;
    // Two minutes apart, two or three sets an interval; seed 22 rains at 10:16 and 10:22. Each
    // split puts the second run's first set into the first run's last interval or right after it.
    const test::ToolRun sim = test::RunTool(dir.Path, OMBRIX_SIM_PATH,
                                            {"--out", ".", "--count", "12", "--interval", "120",
                                             "--start", "2026-06-01T10:00:00", "--seed", "22"});
    ASSERT_EQ(sim.Status, 0) << sim.Err;
    std::vector<std::string> files;
    for (int n = 1; n <= 12; ++n)
        files.push_back(dir / (std::to_string(1'000'000 + n).substr(1) + ".bin"));
    EXPECT_EQ(Decode(dir, "one", 0, files).Status, 0);
    EXPECT_EQ(Sql(dir / "one", "SELECT count(*) FROM archive"), "6,\n");
    const std::string one = Sql(dir / "one", "SELECT * FROM archive ORDER BY dateTime");
    for (int split = 1; split < 12; ++split) {
        const std::string two = dir / ("two" + std::to_string(split));
        Decode(dir, two, 0, {files.begin(), files.begin() + split});
        EXPECT_EQ(Decode(dir, two, 2 * split, {files.begin() + split, files.end()}).Status, 0);
        EXPECT_EQ(Sql(two, "SELECT * FROM archive ORDER BY dateTime"), one) << "split " << split;
    }
}

// Hours and local days gathered in the query are the buckets the records make one by one; the day
// of the autumn clock change has 25 of the hourly records.
TEST(ArchiveDatabase, HistoryBucketsOfTheQuery) {
    setenv("TZ", "Europe/Berlin", 1);
    test::TempDir dir;
    std::string error;
    std::unique_ptr<ArchiveDatabase> db = ArchiveDatabase::Open(dir / "a.sqlite", error, true, 50);
    ASSERT_TRUE(db) << error;
    const std::int64_t october25 = 1792879200;  // local midnight, UTC
    for (int hour = 1; hour <= 48; ++hour) {
        IntervalSums s;
        s.DateTime = october25 + 3600 * hour;
        s.IntervalSeconds = 3600;
        for (std::size_t i = 0; i < kMeanColumns; ++i) s.Means[i] = {hour % 7 + 10.0 * i, 1};
        s.WindGust = hour;
        s.WindEast = hour % 2 == 0 ? -0.2 : 0.2;  // from 349° and 11°: north
        s.WindNorth = 1;
        s.Rain = 0.25;
        s.SetCount = 1;
        ASSERT_EQ(db->Write(s).State, ArchiveDatabase::Status::Ok);
    }
    const HistoryRange days{october25 - 86400, october25 + 2 * 86400, BucketSize::Day};
    const std::vector<HistoryBucket> d = db->ReadHistory(days);
    ASSERT_EQ(d.size(), 2U);
    EXPECT_EQ(d[0].Records, 25);
    EXPECT_NEAR(d[0].Rain.value_or(0), 6.25, 1e-9);
    EXPECT_NEAR(std::fmod(d[0].WindDir.value_or(180) + 180, 360), 180, 1);  // one more from 11°
    EXPECT_EQ(d[0].OutTempMin, 0);
    EXPECT_EQ(d[0].OutTempMax, 6);
    // Hours: each record alone, as BucketOf makes it.
    const HistoryRange hours{october25, october25 + 86400, BucketSize::Hour};
    const std::vector<ArchiveRecord> records = db->Read(hours.From, hours.To);
    const std::vector<HistoryBucket> h = db->ReadHistory(hours);
    ASSERT_EQ(h.size(), records.size());
    for (std::size_t i = 0; i < h.size(); ++i) {
        HistoryBucket one = BucketOf(records[i]);
        one.WindDir = h[i].WindDir;  // the vector sum's direction, the record's but the last digit
        EXPECT_EQ(h[i], one) << i;
    }
    unsetenv("TZ");
}

}  // namespace
}  // namespace ombrix
