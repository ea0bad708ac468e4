// The archive file: SQLite 3 through its C interface, one connection, WAL journal with
// synchronous=NORMAL, each record in a transaction of its own. Table `archive` follows weewx's
// schema (see archive/archive.h); Ombrix's own table beside it keeps what exact merging needs.
// A file that is not an Ombrix archive, or one of a newer schema, is never written.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive.h"
#include "archive/history.h"

struct sqlite3;

namespace ombrix {

class ArchiveDatabase {
  public:
    enum class Status {
        Ok,
        Busy,    // another connection holds the file; nothing was written, try again later
        Full,    // the disk (or the file size limit) is full; nothing was written
        Failed,  // any other error; nothing was written
    };
    struct Result {
        Status State = Status::Ok;
        std::string Message;  // SQLite's text when not Ok
    };

    // Opens the archive, creating the file and its schema when it does not exist and `create` is
    // set. Waits at most busyTimeoutMs for another connection. Empty, with `error` set to one line
    // that names the file, when it cannot be opened, is not an Ombrix archive or has a newer
    // schema.
    static std::unique_ptr<ArchiveDatabase> Open(const std::string& path, std::string& error,
                                                 bool create = true, int busyTimeoutMs = 50);
    // Opens an existing archive for reading only (ombrix-archive): the file is never created nor
    // written, not even the schema of an empty one.
    static std::unique_ptr<ArchiveDatabase> OpenReadOnly(const std::string& path,
                                                         std::string& error,
                                                         int busyTimeoutMs = 5000);
    ~ArchiveDatabase();
    ArchiveDatabase(const ArchiveDatabase&) = delete;
    ArchiveDatabase& operator=(const ArchiveDatabase&) = delete;

    // Writes one finished interval in a transaction of its own; an interval that already has a
    // record is merged into it (never overwritten with less, never duplicated).
    Result Write(const IntervalSums& sums);

    // RainTotal of the newest record (by dateTime) that has one, within a week of the newest
    // record, for the first interval after a restart.
    std::optional<double> LastRainTotal();

    // The records with from < dateTime <= to, ascending.
    std::vector<ArchiveRecord> Read(std::int64_t from, std::int64_t to);
    // What the history window draws of `range`: its records, or their hours or local days
    // gathered in the query (plain means of the records, the lowest and highest outTemp, the
    // highest gust, the wind vectors' sum, the rain summed), ascending.
    std::vector<HistoryBucket> ReadHistory(const HistoryRange& range);
    // The oldest and the newest record.
    std::optional<ArchiveRecord> First();
    std::optional<ArchiveRecord> Last();
    std::int64_t RecordCount();

    // For `ombrix-archive check`: the lines of PRAGMA integrity_check ("ok" alone when sound),
    // the schema's version, what differs from the tables Ombrix writes (empty when nothing), and
    // each pair of neighbouring records further apart than `longerThan` seconds.
    std::vector<std::string> IntegrityCheck();
    int SchemaVersion();
    std::vector<std::string> SchemaProblems();
    std::vector<std::pair<std::int64_t, std::int64_t>> Gaps(std::int64_t longerThan);

    const std::string& Path() const { return path_; }

  private:
    struct Statements;
    ArchiveDatabase(sqlite3* db, std::string path);
    static std::unique_ptr<ArchiveDatabase> OpenFile(const std::string& path, std::string& error,
                                                     bool create, bool readOnly, int busyTimeoutMs);
    Result Failure();
    sqlite3* db_;
    std::string path_;
    std::unique_ptr<Statements> statements_;  // prepared once, kept for the connection
};

}  // namespace ombrix
