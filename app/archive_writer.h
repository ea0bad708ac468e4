// The archive on the window's thread: each finished interval is written at once; one that the
// file does not take (another program holds it, the disk is full) waits in a queue, in order,
// and a timer tries again. Decoding and every other output never wait for the archive: a write
// waits at most the database's busy timeout.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "archive/archive.h"
#include "database/archive_database.h"
#include "report/report_stage.h"

namespace ombrix {

class ArchiveWriter : public QObject, public ArchiveSink {
    Q_OBJECT

  public:
    // Retries while another connection holds the file, and while the disk is full or the file
    // fails otherwise (space rarely comes back within seconds).
    static constexpr int kBusyRetryMs = 1500;
    static constexpr int kFailedRetryMs = 30000;
    // Busy for longer than this is reported like a failure.
    static constexpr std::chrono::seconds kBusyReportAfter{60};
    // A queue pass writes at most this many records; the rest follow on the next turn of the
    // event loop, so that a day's queue does not hold up the window.
    static constexpr int kRecordsPerPass = 32;

    // Failures go to the error log at errorLogPath (fehler.log in the working folder) and to
    // warn, once per spell.
    explicit ArchiveWriter(std::unique_ptr<ArchiveDatabase> database,
                           std::string errorLogPath = "fehler.log",
                           WarningSink warn = WarnOnStderr);
    ~ArchiveWriter() override;

    void WriteInterval(const IntervalSums& sums) override;

    // Writes what is queued now, all of it, as far as the file takes it (at shutdown); one line
    // on warn for the records left over.
    void Flush();

    std::size_t Queued() const { return queue_.size(); }
    ArchiveDatabase& Database() { return *database_; }

  signals:
    // A record has reached the file (the history window shows it).
    void Written(const ombrix::ArchiveRecord& record);

  private:
    // Writes from the front of the queue until it is empty, a write fails or `limit` records
    // are written; arms the timer for the rest.
    void WriteQueue(int limit);
    void Failure(const ArchiveDatabase::Result& result);
    void SpellOver();

    std::unique_ptr<ArchiveDatabase> database_;
    std::string errorLogPath_;
    WarningSink warn_;
    std::deque<IntervalSums> queue_;
    QTimer retry_;
    // The spell of failures: since when the queue is stuck, whether it was reported, how many of
    // its records were dropped from a full queue.
    std::optional<std::chrono::steady_clock::time_point> stuckSince_;
    bool reported_ = false;
    int dropped_ = 0;
    // Records written after they had waited: the first `waiting_` of the queue were in it when a
    // write last failed.
    std::size_t waiting_ = 0;
    int late_ = 0;
};

}  // namespace ombrix
