#include "app/archive_writer.h"

#include <QMetaMethod>
#include <algorithm>
#include <limits>

#include "logs/error_log.h"
#include "logs/file_append.h"
#include "station/clock.h"
#include "station/errors.h"

namespace ombrix {

namespace {

constexpr int kSecondsPerDay = 86400;

}  // namespace

ArchiveWriter::ArchiveWriter(std::unique_ptr<ArchiveDatabase> database, std::string errorLogPath,
                             WarningSink warn)
    : database_(std::move(database)),
      errorLogPath_(std::move(errorLogPath)),
      warn_(std::move(warn)) {
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, [this] { WriteQueue(kRecordsPerPass); });
}

ArchiveWriter::~ArchiveWriter() = default;

void ArchiveWriter::WriteInterval(const IntervalSums& sums) {
    queue_.push_back(sums);
    WriteQueue(kRecordsPerPass);
    // A day's records at most wait; beyond that the oldest go, so that a disk full for weeks does
    // not fill the memory as well.
    const std::size_t day =
        static_cast<std::size_t>(kSecondsPerDay / std::max(1, sums.IntervalSeconds));
    for (; queue_.size() > day; ++dropped_) queue_.pop_front();
    waiting_ = std::min(waiting_, queue_.size());
}

void ArchiveWriter::Flush() {
    retry_.stop();
    WriteQueue(std::numeric_limits<int>::max());
    if (!queue_.empty())
        warn_("Ombrix: Archiv " + database_->Path() + ": " + std::to_string(queue_.size()) +
              " Datensätze nicht geschrieben.");
}

void ArchiveWriter::WriteQueue(int limit) {
    for (int written = 0; !queue_.empty(); ++written) {
        if (written == limit) {
            retry_.start(0);
            return;
        }
        const ArchiveDatabase::Result result = database_->Write(queue_.front());
        if (result.State != ArchiveDatabase::Status::Ok) {
            Failure(result);
            return;
        }
        const std::int64_t end = queue_.front().DateTime;
        queue_.pop_front();
        if (waiting_ > 0) --waiting_, ++late_;
        // As the file holds it now, merged with what it had for the interval.
        if (isSignalConnected(QMetaMethod::fromSignal(&ArchiveWriter::Written)))
            for (const ArchiveRecord& record : database_->Read(end - 1, end)) emit Written(record);
    }
    retry_.stop();
    if (stuckSince_) SpellOver();
}

void ArchiveWriter::Failure(const ArchiveDatabase::Result& result) {
    const auto now = std::chrono::steady_clock::now();
    if (!stuckSince_) stuckSince_ = now;
    waiting_ = queue_.size();
    const bool busy = result.State == ArchiveDatabase::Status::Busy;
    retry_.start(busy ? kBusyRetryMs : kFailedRetryMs);
    // Another program holding the file for a moment is no fault; for a minute it is.
    if (reported_ || (busy && now - *stuckSince_ < kBusyReportAfter)) return;
    reported_ = true;
    const std::int32_t number =
        result.State == ArchiveDatabase::Status::Full ? kDiskFull : kPathFileAccess;
    DecodeError error;
    error.Error = {
        number, ErrorDescription(number) + " - Archiv " + database_->Path() + ": " + result.Message,
        "Ombrix"};
    error.When = SystemLocalTime();
    AppendToFileQuietly(errorLogPath_, ErrorLogRecord(error));
    warn_("Ombrix: Archiv nicht geschrieben: Err.Number: " + std::to_string(number) +
          "; Err.Description: " + error.Error.Description);
}

void ArchiveWriter::SpellOver() {
    if (reported_) {
        std::string line = "Ombrix: Archiv " + database_->Path() + " wieder geschrieben, " +
                           std::to_string(late_) + " Datensätze nachgetragen";
        if (dropped_ > 0)
            line += ", " + std::to_string(dropped_) + " ältere verworfen (mehr als ein Tag)";
        warn_(line + ".");
    }
    stuckSince_.reset();
    reported_ = false;
    dropped_ = 0;
    late_ = 0;
}

}  // namespace ombrix
