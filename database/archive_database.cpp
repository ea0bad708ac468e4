#include "database/archive_database.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>

namespace ombrix {

namespace {

constexpr int kSchemaVersion = 1;

// The averages of table `archive` cannot be merged exactly: a mean over sets with an invalid
// value has fewer values than setCount, and windDir is the direction of a vector whose length is
// not kept. Table ombrix_sums keeps each interval's sums and counts beside it, for the two days in
// which a restart or a clock set back may add sets to a record; older rows are deleted as records
// are written, so that the file stays small (ten years of five-minute records in under 160 MB).
constexpr std::int64_t kSumsKeptSeconds = 2 * 86400;

constexpr const char* kSchema = R"(
CREATE TABLE archive (
    dateTime INTEGER NOT NULL UNIQUE PRIMARY KEY,
    usUnits INTEGER NOT NULL,
    interval INTEGER NOT NULL,
    outTemp REAL, inTemp REAL, outHumidity REAL, inHumidity REAL,
    dewpoint REAL, inDewpoint REAL, barometer REAL, pressure REAL,
    windSpeed REAL, windDir REAL, windGust REAL, windGustDir REAL,
    windchill REAL, rain REAL, rainTotal REAL, setCount INTEGER);
CREATE TABLE ombrix_sums (
    dateTime INTEGER NOT NULL PRIMARY KEY,
    sums BLOB NOT NULL);
PRAGMA user_version = 1;
)";

// The columns of table `archive` in the order of ArchiveRecord, as the statements use them.
constexpr std::array<const char*, 19> kColumns = {
    "dateTime",    "usUnits",    "interval",  "outTemp",   "inTemp",    "outHumidity", "inHumidity",
    "dewpoint",    "inDewpoint", "barometer", "pressure",  "windSpeed", "windDir",     "windGust",
    "windGustDir", "windchill",  "rain",      "rainTotal", "setCount"};

constexpr const char* kSelectRecord =
    "SELECT dateTime, usUnits, interval, outTemp, inTemp, outHumidity, inHumidity, dewpoint, "
    "inDewpoint, barometer, pressure, windSpeed, windDir, windGust, windGustDir, windchill, "
    "rain, rainTotal, setCount FROM archive ";

// A row of ombrix_sums: the sums and counts of the mean columns and the wind vector, as
// little-endian doubles (the Raspberry Pi and the desktop read the same file).
constexpr std::size_t kSumsValues = 2 * kMeanColumns + 2;

void PutDouble(std::string& out, double value) {
    std::uint64_t bits = 0;
    static_assert(sizeof bits == sizeof value);
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((bits >> (8 * i)) & 0xff));
}

double GetDouble(const unsigned char* in) {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | in[i];
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::string EncodeSums(const IntervalSums& s) {
    std::string out;
    for (const RunningSum& m : s.Means) {
        PutDouble(out, m.Sum);
        PutDouble(out, m.Count);
    }
    PutDouble(out, s.WindEast);
    PutDouble(out, s.WindNorth);
    return out;
}

bool DecodeSums(const void* blob, int bytes, IntervalSums& s) {
    if (blob == nullptr || bytes != static_cast<int>(8 * kSumsValues)) return false;
    const auto* p = static_cast<const unsigned char*>(blob);
    for (RunningSum& m : s.Means) {
        m.Sum = GetDouble(p);
        m.Count = static_cast<int>(GetDouble(p + 8));
        p += 16;
    }
    s.WindEast = GetDouble(p);
    s.WindNorth = GetDouble(p + 8);
    return true;
}

// The sums of a record whose exact sums are gone: each mean counted once per set, the mean wind
// as setCount sets of the mean speed from the vector's direction.
IntervalSums SumsOfRecord(const ArchiveRecord& r) {
    IntervalSums s;
    s.DateTime = r.DateTime;
    s.IntervalSeconds = r.Interval * 60;
    const std::array<std::optional<double>, kMeanColumns> means = {
        r.OutTemp,    r.InTemp,    r.OutHumidity, r.InHumidity, r.Dewpoint,
        r.InDewpoint, r.Barometer, r.Pressure,    r.Windchill,  r.WindSpeed};
    for (std::size_t i = 0; i < kMeanColumns; ++i)
        if (means[i]) s.Means[i] = {*means[i] * r.SetCount, r.SetCount};
    if (r.WindSpeed && r.WindDir) {
        const double radians = *r.WindDir * std::numbers::pi / 180;
        s.WindEast = *r.WindSpeed * r.SetCount * std::sin(radians);
        s.WindNorth = *r.WindSpeed * r.SetCount * std::cos(radians);
    }
    s.WindGust = r.WindGust;
    s.WindGustDir = r.WindGustDir;
    s.Rain = r.Rain;
    s.RainTotal = r.RainTotal;
    s.SetCount = r.SetCount;
    return s;
}

struct Finalize {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

std::optional<double> ColumnDouble(sqlite3_stmt* s, int i) {
    if (sqlite3_column_type(s, i) == SQLITE_NULL) return std::nullopt;
    return sqlite3_column_double(s, i);
}

ArchiveRecord RecordOfRow(sqlite3_stmt* s) {
    ArchiveRecord r;
    r.DateTime = sqlite3_column_int64(s, 0);
    r.UsUnits = sqlite3_column_int(s, 1);
    r.Interval = sqlite3_column_int(s, 2);
    std::optional<double>* values[] = {&r.OutTemp,   &r.InTemp,     &r.OutHumidity, &r.InHumidity,
                                       &r.Dewpoint,  &r.InDewpoint, &r.Barometer,   &r.Pressure,
                                       &r.WindSpeed, &r.WindDir,    &r.WindGust,    &r.WindGustDir,
                                       &r.Windchill, &r.Rain,       &r.RainTotal};
    int column = 3;
    for (std::optional<double>* v : values) *v = ColumnDouble(s, column++);
    r.SetCount = sqlite3_column_int(s, column);
    return r;
}

void BindDouble(sqlite3_stmt* s, int i, const std::optional<double>& v) {
    if (v)
        sqlite3_bind_double(s, i, *v);
    else
        sqlite3_bind_null(s, i);
}

// What the history query gathers of a bucket's records, in one call a record: SQLite's own
// aggregates (a call a column and record) and the wind vector's trigonometry in SQL cost four
// times as much over a year of records, and SQLite may be built without its math functions. The
// means are plain means of the records that have the value, as avg() gives them.
constexpr int kGatheredMeans = 8;  // outTemp, dewpoint, windchill, inTemp, outHumidity,
                                   // inHumidity, barometer, windSpeed: the arguments' order
struct Gathered {
    std::int64_t Records;
    std::array<double, kGatheredMeans> Sum;
    std::array<std::int64_t, kGatheredMeans> Count;
    double TempMin, TempMax, GustMax, East, North, Rain;
    bool HasTemp, HasGust, HasRain;
};

// SQLite hands out the aggregate's state zeroed: the empty Gathered.
void GatherStep(sqlite3_context* context, int, sqlite3_value** values) {
    auto* g = static_cast<Gathered*>(sqlite3_aggregate_context(context, sizeof(Gathered)));
    if (g == nullptr) return sqlite3_result_error_nomem(context);
    const auto value = [&](int i) -> std::optional<double> {
        if (sqlite3_value_type(values[i]) == SQLITE_NULL) return std::nullopt;
        return sqlite3_value_double(values[i]);
    };
    ++g->Records;
    for (int i = 0; i < kGatheredMeans; ++i) {
        if (const std::optional<double> v = value(i)) {
            g->Sum[static_cast<std::size_t>(i)] += *v;
            ++g->Count[static_cast<std::size_t>(i)];
        }
    }
    if (const std::optional<double> t = value(0)) {
        g->TempMin = g->HasTemp ? std::min(g->TempMin, *t) : *t;
        g->TempMax = g->HasTemp ? std::max(g->TempMax, *t) : *t;
        g->HasTemp = true;
    }
    const std::optional<double> speed = value(7), direction = value(8), gust = value(9),
                                rain = value(10);
    if (speed && direction) {
        const double radians = *direction * std::numbers::pi / 180;
        g->East += *speed * std::sin(radians);
        g->North += *speed * std::cos(radians);
    }
    if (gust) {
        g->GustMax = g->HasGust ? std::max(g->GustMax, *gust) : *gust;
        g->HasGust = true;
    }
    if (rain) {
        g->Rain += *rain;
        g->HasRain = true;
    }
}

// A bucket without records gives NULL; the state goes back as it is, to the same process.
void GatherFinal(sqlite3_context* context) {
    const auto* g = static_cast<const Gathered*>(sqlite3_aggregate_context(context, 0));
    if (g == nullptr) return sqlite3_result_null(context);
    sqlite3_result_blob(context, g, sizeof *g, SQLITE_TRANSIENT);
}

}  // namespace

struct ArchiveDatabase::Statements {
    Statement SelectRecord, SelectSums, InsertRecord, InsertSums, DeleteOldSums;
};

namespace {

Statement Prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) !=
        SQLITE_OK)
        return nullptr;
    return Statement(s);
}

// Runs a statement that returns at most one row of one integer.
std::optional<std::int64_t> QueryInt(sqlite3* db, const char* sql) {
    Statement s = Prepare(db, sql);
    if (!s || sqlite3_step(s.get()) != SQLITE_ROW) return std::nullopt;
    return sqlite3_column_int64(s.get(), 0);
}

std::vector<std::string> QueryTexts(sqlite3* db, const std::string& sql) {
    std::vector<std::string> lines;
    Statement s = Prepare(db, sql);
    while (s && sqlite3_step(s.get()) == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(s.get(), 0);
        lines.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
    }
    return lines;
}

// What keeps the file from being Ombrix's archive of this schema; empty when it is one.
std::vector<std::string> Problems(sqlite3* db) {
    std::vector<std::string> problems;
    Statement info = Prepare(db, "SELECT name, type FROM pragma_table_info('archive')");
    std::vector<std::pair<std::string, std::string>> columns;
    while (info && sqlite3_step(info.get()) == SQLITE_ROW)
        columns.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 0)),
                             reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 1)));
    if (columns.empty()) return {"no table archive"};
    for (const char* name : kColumns) {
        bool found = false;
        for (const auto& c : columns) found = found || sqlite3_stricmp(c.first.c_str(), name) == 0;
        if (!found) problems.push_back(std::string("table archive has no column ") + name);
    }
    if (QueryInt(db, "SELECT count(*) FROM sqlite_schema WHERE name = 'ombrix_sums'") != 1)
        problems.emplace_back("no table ombrix_sums");
    return problems;
}

}  // namespace

ArchiveDatabase::ArchiveDatabase(sqlite3* db, std::string path)
    : db_(db), path_(std::move(path)), statements_(std::make_unique<Statements>()) {}

ArchiveDatabase::~ArchiveDatabase() {
    statements_.reset();
    sqlite3_close_v2(db_);
}

std::unique_ptr<ArchiveDatabase> ArchiveDatabase::Open(const std::string& path, std::string& error,
                                                       bool create, int busyTimeoutMs) {
    return OpenFile(path, error, create, false, busyTimeoutMs);
}

std::unique_ptr<ArchiveDatabase> ArchiveDatabase::OpenReadOnly(const std::string& path,
                                                               std::string& error,
                                                               int busyTimeoutMs) {
    return OpenFile(path, error, false, true, busyTimeoutMs);
}

std::unique_ptr<ArchiveDatabase> ArchiveDatabase::OpenFile(const std::string& path,
                                                           std::string& error, bool create,
                                                           bool readOnly, int busyTimeoutMs) {
    const auto refuse = [&](const std::string& why) {
        error = "archive " + path + ": " + why;
        return nullptr;
    };
    std::error_code ignored;
    if (create && !readOnly) {
        const std::filesystem::path parent = std::filesystem::path(path).parent_path();
        if (!parent.empty()) std::filesystem::create_directories(parent, ignored);
    } else if (!std::filesystem::exists(path, ignored)) {
        return refuse("no such file");
    }
    const int flags = (readOnly ? SQLITE_OPEN_READONLY
                                : SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0)) |
                      SQLITE_OPEN_NOMUTEX;
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    std::unique_ptr<ArchiveDatabase> db(new ArchiveDatabase(raw, path));
    if (opened != SQLITE_OK) return refuse(sqlite3_errmsg(raw));
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, busyTimeoutMs);
    sqlite3_create_function_v2(raw, "ombrix_gather", 11,
                               SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_DIRECTONLY, nullptr,
                               nullptr, GatherStep, GatherFinal, nullptr);

    // Read before anything is written: a file that is not a database, or not ours, stays as it is.
    const std::optional<std::int64_t> version = QueryInt(raw, "PRAGMA user_version");
    const std::optional<std::int64_t> tables = QueryInt(raw, "SELECT count(*) FROM sqlite_schema");
    if (!version || !tables) return refuse(sqlite3_errmsg(raw));
    if (*version > kSchemaVersion)
        return refuse("schema " + std::to_string(*version) + " is newer than this Ombrix's (" +
                      std::to_string(kSchemaVersion) + ")");
    if (*version == 0 && *tables == 0) {
        if (readOnly) return refuse("empty database, no archive yet");
        // WAL first, so that even the schema's transaction survives a power cut whole. When
        // another program made the schema in the meantime, the transaction fails on its tables,
        // and the file is taken when they are Ombrix's.
        // Pages of 8 KiB: a five-minute record then takes under 150 bytes of file (ten years in
        // about 156 MB; 4 KiB pages give 151 bytes, mostly from the index weewx's UNIQUE adds).
        if (sqlite3_exec(raw, "PRAGMA page_size = 8192", nullptr, nullptr, nullptr) != SQLITE_OK ||
            sqlite3_exec(raw, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr) != SQLITE_OK)
            return refuse(sqlite3_errmsg(raw));
        const std::string schema = std::string("BEGIN IMMEDIATE;") + kSchema + "COMMIT;";
        if (sqlite3_exec(raw, schema.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            const std::string why = sqlite3_errmsg(raw);
            sqlite3_exec(raw, "ROLLBACK", nullptr, nullptr, nullptr);
            if (QueryInt(raw, "PRAGMA user_version") != kSchemaVersion || !Problems(raw).empty())
                return refuse(why);
        }
    } else if (*version != kSchemaVersion || !Problems(raw).empty()) {
        return refuse("not an Ombrix archive");
    }
    if (!readOnly &&
        (sqlite3_exec(raw, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr) != SQLITE_OK ||
         sqlite3_exec(raw, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr) != SQLITE_OK))
        return refuse(sqlite3_errmsg(raw));

    // By name: a weewx archive given Ombrix's columns holds them in another order, among its own.
    std::string names = kColumns[0], placeholders = "?";
    for (std::size_t i = 1; i < kColumns.size(); ++i) {
        names += std::string(", ") + kColumns[i];
        placeholders += ", ?";
    }
    Statements& s = *db->statements_;
    s.SelectRecord = Prepare(raw, std::string(kSelectRecord) + "WHERE dateTime = ?");
    if (!readOnly) {
        s.SelectSums = Prepare(raw, "SELECT sums FROM ombrix_sums WHERE dateTime = ?");
        s.InsertRecord = Prepare(
            raw, "INSERT OR REPLACE INTO archive (" + names + ") VALUES (" + placeholders + ")");
        s.InsertSums = Prepare(raw, "INSERT OR REPLACE INTO ombrix_sums VALUES (?, ?)");
        s.DeleteOldSums = Prepare(raw, "DELETE FROM ombrix_sums WHERE dateTime < ?");
        if (!s.SelectSums || !s.InsertRecord || !s.InsertSums || !s.DeleteOldSums)
            return refuse(sqlite3_errmsg(raw));
    }
    if (!s.SelectRecord) return refuse(sqlite3_errmsg(raw));
    return db;
}

ArchiveDatabase::Result ArchiveDatabase::Failure() {
    Result result;
    result.Message = sqlite3_errmsg(db_);
    const int code = sqlite3_extended_errcode(db_);
    const int primary = code & 0xff;
    const int system = sqlite3_system_errno(db_);
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
        result.State = Status::Busy;
    else if (primary == SQLITE_FULL ||
             (primary == SQLITE_IOERR && (system == ENOSPC || system == EFBIG || system == EDQUOT)))
        result.State = Status::Full;
    else
        result.State = Status::Failed;
    return result;
}

ArchiveDatabase::Result ArchiveDatabase::Write(const IntervalSums& sums) {
    Statements& s = *statements_;
    if (!s.InsertRecord) return {Status::Failed, "opened for reading only"};
    if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return Failure();
    const auto fail = [&] {
        Result result = Failure();
        for (Statement* st :
             {&s.SelectRecord, &s.SelectSums, &s.InsertRecord, &s.InsertSums, &s.DeleteOldSums})
            sqlite3_reset(st->get());
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return result;
    };

    // An interval that has a record already (a restart within it, the clock set back) adds to it.
    IntervalSums merged = sums;
    sqlite3_bind_int64(s.SelectRecord.get(), 1, sums.DateTime);
    int step = sqlite3_step(s.SelectRecord.get());
    if (step == SQLITE_ROW) {
        IntervalSums earlier = SumsOfRecord(RecordOfRow(s.SelectRecord.get()));
        sqlite3_bind_int64(s.SelectSums.get(), 1, sums.DateTime);
        const int found = sqlite3_step(s.SelectSums.get());
        if (found == SQLITE_ROW)
            DecodeSums(sqlite3_column_blob(s.SelectSums.get(), 0),
                       sqlite3_column_bytes(s.SelectSums.get(), 0), earlier);
        else if (found != SQLITE_DONE)
            return fail();
        sqlite3_reset(s.SelectSums.get());
        merged = Merge(earlier, sums);
    } else if (step != SQLITE_DONE) {
        return fail();
    }
    sqlite3_reset(s.SelectRecord.get());

    const ArchiveRecord r = RecordOf(merged);
    sqlite3_stmt* insert = s.InsertRecord.get();
    sqlite3_bind_int64(insert, 1, r.DateTime);
    sqlite3_bind_int(insert, 2, r.UsUnits);
    sqlite3_bind_int(insert, 3, r.Interval);
    const std::optional<double>* values[] = {
        &r.OutTemp,    &r.InTemp,      &r.OutHumidity, &r.InHumidity, &r.Dewpoint,
        &r.InDewpoint, &r.Barometer,   &r.Pressure,    &r.WindSpeed,  &r.WindDir,
        &r.WindGust,   &r.WindGustDir, &r.Windchill,   &r.Rain,       &r.RainTotal};
    int column = 4;
    for (const std::optional<double>* v : values) BindDouble(insert, column++, *v);
    sqlite3_bind_int(insert, column, r.SetCount);
    if (sqlite3_step(insert) != SQLITE_DONE) return fail();
    sqlite3_reset(insert);

    const std::string blob = EncodeSums(merged);
    sqlite3_bind_int64(s.InsertSums.get(), 1, r.DateTime);
    sqlite3_bind_blob(s.InsertSums.get(), 2, blob.data(), static_cast<int>(blob.size()),
                      SQLITE_TRANSIENT);
    if (sqlite3_step(s.InsertSums.get()) != SQLITE_DONE) return fail();
    sqlite3_reset(s.InsertSums.get());
    sqlite3_bind_int64(s.DeleteOldSums.get(), 1, r.DateTime - kSumsKeptSeconds);
    if (sqlite3_step(s.DeleteOldSums.get()) != SQLITE_DONE) return fail();
    sqlite3_reset(s.DeleteOldSums.get());

    if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) return fail();
    return {};
}

std::optional<double> ArchiveDatabase::LastRainTotal() {
    // The newest record's counter, or when the station flagged its rain gauge in the last
    // intervals, the newest one within a week before it: the lookup walks the primary key back
    // from its end, so that a station without a rain gauge never makes start-up read the archive.
    Statement s = Prepare(db_,
                          "SELECT rainTotal FROM archive WHERE rainTotal IS NOT NULL AND "
                          "dateTime >= (SELECT max(dateTime) FROM archive) - 7 * 86400 "
                          "ORDER BY dateTime DESC LIMIT 1");
    if (!s || sqlite3_step(s.get()) != SQLITE_ROW) return std::nullopt;
    return sqlite3_column_double(s.get(), 0);
}

std::vector<ArchiveRecord> ArchiveDatabase::Read(std::int64_t from, std::int64_t to) {
    std::vector<ArchiveRecord> records;
    Statement s = Prepare(db_, std::string(kSelectRecord) +
                                   "WHERE dateTime > ? AND dateTime <= ? "
                                   "ORDER BY dateTime");
    if (!s) return records;
    sqlite3_bind_int64(s.get(), 1, from);
    sqlite3_bind_int64(s.get(), 2, to);
    while (sqlite3_step(s.get()) == SQLITE_ROW) records.push_back(RecordOfRow(s.get()));
    return records;
}

std::vector<HistoryBucket> ArchiveDatabase::ReadHistory(const HistoryRange& range) {
    std::vector<HistoryBucket> buckets;
    if (range.Size == BucketSize::Record) {
        for (const ArchiveRecord& r : Read(range.From, range.To)) buckets.push_back(BucketOf(r));
        return buckets;
    }
    // One range of the primary key a bucket, its bounds from BucketBounds: no sort of a year's
    // rows for a GROUP BY, and the local days are those of the zone's rules in station/clock.
    Statement s = Prepare(db_,
                          "SELECT ombrix_gather(outTemp, dewpoint, windchill, inTemp, outHumidity, "
                          "inHumidity, barometer, windSpeed, windDir, windGust, rain) "
                          "FROM archive WHERE dateTime > ? AND dateTime <= ?");
    if (!s) return buckets;
    for (std::int64_t t = range.From + 1; t <= range.To;) {
        HistoryBucket b;
        std::tie(b.Start, b.End) = BucketBounds(t, range.Size);
        t = b.End + 1;
        sqlite3_bind_int64(s.get(), 1, std::max(b.Start, range.From));
        sqlite3_bind_int64(s.get(), 2, std::min(b.End, range.To));
        Gathered g{};
        const bool found = sqlite3_step(s.get()) == SQLITE_ROW &&
                           sqlite3_column_bytes(s.get(), 0) == static_cast<int>(sizeof g);
        if (found) std::memcpy(&g, sqlite3_column_blob(s.get(), 0), sizeof g);
        sqlite3_reset(s.get());
        if (g.Records == 0) continue;
        b.Records = static_cast<int>(g.Records);
        std::optional<double>* means[kGatheredMeans] = {&b.OutTemp,   &b.Dewpoint,    &b.Windchill,
                                                        &b.InTemp,    &b.OutHumidity, &b.InHumidity,
                                                        &b.Barometer, &b.WindSpeed};
        for (int i = 0; i < kGatheredMeans; ++i)
            if (g.Count[i] > 0) *means[i] = g.Sum[i] / static_cast<double>(g.Count[i]);
        if (g.HasTemp) {
            b.OutTempMin = g.TempMin;
            b.OutTempMax = g.TempMax;
        }
        if (g.HasGust) b.WindGust = g.GustMax;
        b.WindEast = g.East;
        b.WindNorth = g.North;
        b.WindDir = DirectionOf(b.WindEast, b.WindNorth);
        if (g.HasRain) b.Rain = g.Rain;
        buckets.push_back(b);
    }
    return buckets;
}

std::optional<ArchiveRecord> ArchiveDatabase::First() {
    Statement s = Prepare(db_, std::string(kSelectRecord) + "ORDER BY dateTime LIMIT 1");
    if (!s || sqlite3_step(s.get()) != SQLITE_ROW) return std::nullopt;
    return RecordOfRow(s.get());
}

std::optional<ArchiveRecord> ArchiveDatabase::Last() {
    Statement s = Prepare(db_, std::string(kSelectRecord) + "ORDER BY dateTime DESC LIMIT 1");
    if (!s || sqlite3_step(s.get()) != SQLITE_ROW) return std::nullopt;
    return RecordOfRow(s.get());
}

std::int64_t ArchiveDatabase::RecordCount() {
    return QueryInt(db_, "SELECT count(*) FROM archive").value_or(0);
}

std::vector<std::string> ArchiveDatabase::IntegrityCheck() {
    std::vector<std::string> lines = QueryTexts(db_, "PRAGMA integrity_check");
    if (lines.empty()) lines.emplace_back(sqlite3_errmsg(db_));
    return lines;
}

int ArchiveDatabase::SchemaVersion() {
    return static_cast<int>(QueryInt(db_, "PRAGMA user_version").value_or(-1));
}

std::vector<std::string> ArchiveDatabase::SchemaProblems() {
    return Problems(db_);
}

std::vector<std::pair<std::int64_t, std::int64_t>> ArchiveDatabase::Gaps(std::int64_t longerThan) {
    std::vector<std::pair<std::int64_t, std::int64_t>> gaps;
    Statement s = Prepare(db_,
                          "SELECT previous, dateTime FROM (SELECT dateTime, lag(dateTime) OVER "
                          "(ORDER BY dateTime) AS previous FROM archive) "
                          "WHERE dateTime - previous > ?");
    if (!s) return gaps;
    sqlite3_bind_int64(s.get(), 1, longerThan);
    while (sqlite3_step(s.get()) == SQLITE_ROW)
        gaps.emplace_back(sqlite3_column_int64(s.get(), 0), sqlite3_column_int64(s.get(), 1));
    return gaps;
}

}  // namespace ombrix
