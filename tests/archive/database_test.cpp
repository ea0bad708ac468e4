// The archive's file and the programs around it: what is refused and left alone, merging, another
// program holding the file, and the records of ombrix-decode across runs and the zone's clock
// changes as ombrix-archive reads them.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "database/archive_database.h"
#include "decode_support.h"
#include "support.h"

namespace ombrix {
namespace {

using test::RunTool;
using test::TempDir;

void Sql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
}

TEST(ArchiveDatabase, LeavesWhatIsNoArchiveOfItsOwnAlone) {
    TempDir dir;
    const std::string path = dir / "file";
    for (const auto& [name, make] : std::vector<std::pair<std::string, std::string>>{
             {"text", ""},
             {"weewx", "CREATE TABLE archive (dateTime INTEGER PRIMARY KEY, usUnits INTEGER);"},
             {"newer", "CREATE TABLE t (x); PRAGMA user_version = 2;"}}) {
        std::remove(path.c_str());
        if (make.empty())
            test::WriteFile(path, "dateTime,outTemp\n1,2\n");
        else
            Sql(path, make);
        const std::string before = test::ReadFile(path);
        std::string error;
        EXPECT_EQ(ArchiveDatabase::Open(path, error), nullptr) << name;
        EXPECT_NE(error.find(path), std::string::npos) << name << ": " << error;
        EXPECT_EQ(test::ReadFile(path), before) << name;
    }
    test::WriteFile(path, "");  // an empty file is an empty database: it gets the schema
    std::string error;
    EXPECT_NE(ArchiveDatabase::Open(path, error), nullptr) << error;
}

// Sets from..to-1 of one interval; every third outdoor temperature is out of range, so that a
// mean weighted by setCount would differ from the exact one.
IntervalSums Part(int from, int to, double lastRainTotal) {
    ArchiveAggregator aggregator(300, lastRainTotal);
    for (int i = from; i < to; ++i) {
        StationReading r;
        r.OutdoorTemperature = {i * 0.1, i % 3 ? QuantityState::Valid : QuantityState::OutOfRange};
        r.MeanSpeed = {i * 0.3, QuantityState::Valid};
        r.MeanDirection = {i * 45.0, QuantityState::Valid};
        r.GustSpeed = {i % 4 * 1.0, QuantityState::Valid};
        r.GustDirection = {i * 10.0, QuantityState::Valid};
        r.RainSinceReset = {10 + i * 0.3, QuantityState::Valid};
        aggregator.Add(r, 1'800'000'000 - 10 * i);
    }
    return *aggregator.Close();
}

TEST(ArchiveDatabase, MergesTwoPartsOfAnIntervalExactly) {
    TempDir dir;
    std::string error;
    auto db = ArchiveDatabase::Open(dir / "a.sqlite", error);
    ASSERT_NE(db, nullptr) << error;
    const IntervalSums first = Part(0, 5, 10), second = Part(5, 9, first.RainTotal.value());
    ASSERT_EQ(db->Write(first).State, ArchiveDatabase::Status::Ok);
    ASSERT_EQ(db->Write(second).State, ArchiveDatabase::Status::Ok);
    const std::vector<ArchiveRecord> records = db->Read(0, 2'000'000'000);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0], RecordOf(Merge(first, second)));
    EXPECT_EQ(db->LastRainTotal(), 12.4);
}

TEST(ArchiveDatabase, AnotherWriterMakesItBusyNotHang) {
    TempDir dir;
    std::string error;
    auto db = ArchiveDatabase::Open(dir / "a.sqlite", error, true, 50);
    ASSERT_NE(db, nullptr) << error;
    sqlite3* other = nullptr;
    sqlite3_open((dir / "a.sqlite").c_str(), &other);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(db->Write(Part(0, 3, 10)).State, ArchiveDatabase::Status::Busy);
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(db->Write(Part(0, 3, 10)).State, ArchiveDatabase::Status::Ok);
    EXPECT_EQ(db->RecordCount(), 1);
}

// The system clock set back an hour and then forward a day while the program runs: the hour's
// records take the new sets, the day between stays a gap.
TEST(ArchiveDatabase, ClockSetBackMergesClockSetForwardLeavesAGap) {
    TempDir dir;
    std::string error;
    auto db = ArchiveDatabase::Open(dir / "a.sqlite", error);
    ASSERT_NE(db, nullptr) << error;
    struct Sink : ArchiveSink {
        ArchiveDatabase* db;
        void WriteInterval(const IntervalSums& s) override {
            EXPECT_EQ(db->Write(s).State, ArchiveDatabase::Status::Ok);
        }
    } sink;
    sink.db = db.get();
    test::LoggerHarness h;
    std::int64_t now = 1'800'000'001;
    h.logger.StartArchive(
        &sink, [&] { return now; }, 300, std::nullopt);
    const auto minutes = [&](int n) {
        for (int i = 0; i < n; ++i, now += 60) h.Decode(TestTelegramSet());
    };
    minutes(60);
    now -= 3600;
    minutes(60);
    now += 86400;
    minutes(10);
    h.logger.CloseArchiveInterval();
    const std::vector<ArchiveRecord> records = db->Read(0, 2'000'000'000);
    ASSERT_EQ(records.size(), 12u + 2u);
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].DateTime, 1'800'000'300 + 300 * (i < 12 ? i : i + 288)) << i;
        EXPECT_EQ(records[i].SetCount, i < 12 ? 10 : 5) << i;
    }
}

// Bursts of the simulator, one every `step` seconds from local time `start`, as files in dir.
std::vector<std::string> Bursts(const TempDir& dir, const std::string& start, int count, int step,
                                int seed = 5) {
    const test::ToolRun sim =
        RunTool(dir.Path, OMBRIX_SIM_PATH,
                {"--out", dir.Path, "--count", std::to_string(count), "--interval",
                 std::to_string(step), "--start", start, "--seed", std::to_string(seed)});
    EXPECT_EQ(sim.Status, 0) << sim.Err;
    std::vector<std::string> files;
    for (int n = 1; n <= count; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "%06d.bin", n % 1000000);
        files.push_back(dir / name);
    }
    return files;
}

test::ToolRun Decode(const TempDir& dir, const std::string& archive, const std::string& clock,
                     int step, std::vector<std::string> files) {
    files.insert(files.begin(),
                 {"--archive", archive, "--clock", clock, "--step", std::to_string(step)});
    return RunTool(dir.Path, OMBRIX_DECODE_PATH, files);
}

test::ToolRun Archive(const TempDir& dir, std::vector<std::string> args) {
    return RunTool(dir.Path, OMBRIX_ARCHIVE_PATH, args);
}

TEST(ArchivePrograms, TwoRunsContinuingEachOtherMakeTheArchiveOfOne) {
    TempDir dir;
    // Two minutes apart, two or three sets an interval; seed 22 rains at 10:16 and 10:22. Each
    // split puts the second run's first set into the first run's last interval or right after it.
    const std::vector<std::string> files = Bursts(dir, "2026-06-01T10:00:00", 12, 120, 22);
    EXPECT_EQ(Decode(dir, "one", "2026-06-01T10:00:00", 120, files).Status, 0);
    const std::string one = Archive(dir, {"export", "one"}).Out;
    EXPECT_EQ(std::count(one.begin(), one.end(), '\n'), 1 + 6) << one;
    for (int split = 1; split < 12; ++split) {
        const std::string two = "two" + std::to_string(split);
        char clock[24];
        std::snprintf(clock, sizeof clock, "2026-06-01T10:%02d:00", 2 * split);
        Decode(dir, two, "2026-06-01T10:00:00", 120, {files.begin(), files.begin() + split});
        EXPECT_EQ(Decode(dir, two, clock, 120, {files.begin() + split, files.end()}).Status, 0);
        EXPECT_EQ(Archive(dir, {"export", two}).Out, one) << "split before burst " << split;
    }
}

TEST(ArchivePrograms, DaysOfTheClockChangesHave23And25Hours) {
    setenv("TZ", "Europe/Berlin", 1);
    for (const auto& [start, day, records] :
         std::vector<std::tuple<std::string, std::string, std::string>>{
             {"2026-03-28T23:00:00", "2026-03-29", "276,276"},
             {"2026-10-24T23:00:00", "2026-10-25", "300,300"}}) {
        TempDir dir;
        EXPECT_EQ(Decode(dir, "a", start, 300, Bursts(dir, start, 27 * 12, 300)).Status, 0);
        const std::string check = Archive(dir, {"check", "a"}).Out;
        EXPECT_EQ(check.find("gap"), std::string::npos) << check;
        const std::string days = Archive(dir, {"days", "--from", day, "--to", day, "a"}).Out;
        EXPECT_NE(days.find("\n" + day + ","), std::string::npos) << days;
        EXPECT_NE(days.find("," + records + "\n"), std::string::npos) << days;
        // The day's rain is what its records add up to, in the day's local hours.
        double rain = 0;
        std::istringstream csv(Archive(dir, {"export", "--from", day, "--to", day, "a"}).Out);
        std::string line, field;
        for (std::getline(csv, line); std::getline(csv, line);) {
            std::istringstream fields(line);
            for (int i = 0; i <= 17; ++i) std::getline(fields, field, ',');
            rain += field.empty() ? 0 : std::stod(field);
        }
        std::istringstream summary(days.substr(days.find('\n') + 1));
        for (int i = 0; i <= 9; ++i) std::getline(summary, field, ',');
        EXPECT_NEAR(std::stod(field), rain, 1e-9) << days;
    }
}

TEST(ArchivePrograms, WrongUseAndFilesThatAreNoArchiveEndWithStatus2) {
    TempDir dir;
    dir.Write("text", "no database\n");
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"days", "--from", "2026-02-30", "text"},
                                               {"export", "--since", "2026-02-01", "text"},
                                               {"report", "text"},
                                               {"check", "missing"},
                                               {"check", "text"}})
        EXPECT_EQ(Archive(dir, args).Status, 2) << args[0] << " " << args[1];
    EXPECT_EQ(Decode(dir, "text", "2026-06-01T10:00:00", 300, {"x"}).Status, 2);
}

}  // namespace
}  // namespace ombrix
