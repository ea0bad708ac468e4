// The archive under faults: its writer killed at random moments, a disk that takes no more,
// another program holding the file, and a file that is not an archive when the program starts.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>

#include "app/archive_writer.h"
#include "database/archive_database.h"
#include "ombrix_process.h"
#include "station/telegram_set.h"

using namespace ombrix;
using namespace ombrix::test;

namespace {

constexpr std::int64_t kFirstHour = 1'800'000'000;  // a whole hour, UTC

// The n-th hour's record, of one set.
IntervalSums Hour(int n) {
    IntervalSums sums;
    sums.DateTime = kFirstHour + n * 3600;
    sums.IntervalSeconds = 3600;
    sums.Means[0] = {static_cast<double>(n), 1};
    sums.SetCount = 1;
    return sums;
}

// The hours the file has records of, ascending.
std::vector<int> Hours(ArchiveDatabase& db) {
    std::vector<int> hours;
    for (const ArchiveRecord& r : db.Read(0, std::numeric_limits<std::int64_t>::max()))
        hours.push_back(static_cast<int>((r.DateTime - kFirstHour) / 3600));
    return hours;
}

// A small file system in a mount namespace of the process's own, when it may make one.
bool MountSmallDisk(const std::string& at) {
    return std::filesystem::create_directory(at) && unshare(CLONE_NEWNS) == 0 &&
           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount("tmpfs", at.c_str(), "tmpfs", 0, "size=2m") == 0;
}

// Takes the rest of the file system; removing the file gives the space back.
void FillUp(const std::string& filler) {
    const int fd = open(filler.c_str(), O_WRONLY | O_CREAT, 0600);
    const std::string block(4096, 'x');
    for (int n = 0; n < 1024 && write(fd, block.data(), block.size()) > 0; ++n) {
    }
    close(fd);
}

// Runs in a child process (its mounts and its file size limit are its own): after the first
// hour's record the disk is full, or the write-ahead log may not grow; 26 hours fail, of which
// the queue keeps a day's; the 28th comes once there is room again. What the writer says goes to
// warned.txt, the archive is copied out to the folder. Exits 0 after a full disk, 1 after the
// file size limit, another status when the queue did not hold 24 records or is not empty at the
// end.
int FillTheDisk(const QString& folder) {
    signal(SIGXFSZ, SIG_IGN);
    const std::string out = folder.toStdString(), disk = out + "/disk";
    const std::string path = disk + "/archive.sqlite";
    const bool mounted = MountSmallDisk(disk);
    {
        std::string error;
        std::unique_ptr<ArchiveDatabase> db = ArchiveDatabase::Open(path, error);
        if (!db) return 10;
        std::ofstream warned(out + "/warned.txt");
        ArchiveWriter writer(std::move(db), out + "/fehler.log",
                             [&](const std::string& line) { warned << line << '\n'; });
        writer.WriteInterval(Hour(0));
        rlimit unlimited{};
        getrlimit(RLIMIT_FSIZE, &unlimited);
        const rlimit limited{static_cast<rlim_t>(std::filesystem::file_size(path + "-wal")),
                             unlimited.rlim_max};
        if (mounted)
            FillUp(disk + "/filler");
        else if (setrlimit(RLIMIT_FSIZE, &limited) != 0)
            return 11;
        for (int n = 1; n <= 26; ++n) writer.WriteInterval(Hour(n));
        const std::size_t queued = writer.Queued();
        if (mounted)
            std::filesystem::remove(disk + "/filler");
        else
            setrlimit(RLIMIT_FSIZE, &unlimited);
        writer.WriteInterval(Hour(27));
        if (queued != 24 || writer.Queued() != 0) return 12;
    }
    std::filesystem::copy_file(path, out + "/archive.sqlite");
    return mounted ? 0 : 1;
}

}  // namespace

class ArchiveFaultsTest : public QObject {
    Q_OBJECT

  private slots:
    // 200 kills at random moments of a writer that commits one record after another: each time
    // the file opens, is sound, and has every record the previous check saw, unchanged, and only
    // whole records.
    void killedWhileWriting() {
        QTemporaryDir dir;
        const QString path = dir.filePath("archive.sqlite");
        const std::vector<std::string> sound{"ok"};
        QRandomGenerator random(4711);
        std::map<std::int64_t, ArchiveRecord> seen;
        for (int kill = 0; kill < 200; ++kill) {
            QProcess writer;
            writer.start(ARCHIVE_KILL_WRITER, {path});
            QVERIFY(writer.waitForStarted());
            QThread::usleep(random.bounded(15000));
            writer.kill();
            QVERIFY(writer.waitForFinished());
            // Killed, not ended by a write or an open that failed.
            QVERIFY2(writer.exitStatus() == QProcess::CrashExit, writer.readAllStandardError());
            std::string error;
            const auto db = ArchiveDatabase::Open(path.toStdString(), error, false);
            if (!db && seen.empty()) continue;  // killed before it made the schema
            QVERIFY2(db, error.c_str());
            QCOMPARE(db->IntegrityCheck(), sound);
            std::map<std::int64_t, ArchiveRecord> now;
            for (const ArchiveRecord& r : db->Read(0, std::numeric_limits<std::int64_t>::max())) {
                QVERIFY2(now.emplace(r.DateTime, r).second, "a record twice");
                QVERIFY(r.SetCount == 2 && r.Interval == 5 &&
                        r.OutTemp == static_cast<double>(r.DateTime % 1000) / 2);
            }
            for (const auto& [time, record] : seen)
                QVERIFY2(now.count(time) && now.at(time) == record, "a committed record lost");
            seen = std::move(now);
        }
        QVERIFY(!seen.empty());
    }

    void diskFullSaidOnceRecordsKept() {
        QTemporaryDir dir;
        const pid_t child = fork();
        if (child == 0) _exit(FillTheDisk(dir.path()));
        int status = -1;
        QCOMPARE(waitpid(child, &status, 0), child);
        // A full disk is error 61; SQLite tells the file size limit as a failed write, 75.
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) <= 1);
        const QByteArray number = WEXITSTATUS(status) == 0 ? "61" : "75";
        const QByteArray log = ReadFile(dir.filePath("fehler.log"));
        QCOMPARE(log.count("Err.Number: "), 1);
        QVERIFY2(log.contains("Err.Number:  " + number + " "), log.constData());
        const QList<QByteArray> warned = ReadFile(dir.filePath("warned.txt")).split('\n');
        QCOMPARE(warned.size(), 3);  // two lines
        QVERIFY2(warned[0].contains("Err.Number: " + number + ";"), warned[0].constData());
        QVERIFY2(warned[1].contains("24 Datensätze nachgetragen, 2 ältere verworfen"),
                 warned[1].constData());
        std::string error;
        const auto db = ArchiveDatabase::Open(dir.filePath("archive.sqlite").toStdString(), error);
        QVERIFY2(db, error.c_str());
        std::vector<int> written{0};
        for (int n = 3; n <= 27; ++n) written.push_back(n);
        QCOMPARE(Hours(*db), written);
    }

    // The sqlite3 program holds a write transaction: the records wait, unreported, and are
    // written in order once it lets go.
    void anotherProgramHoldsTheFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("archive.sqlite");
        std::string error;
        std::unique_ptr<ArchiveDatabase> db = ArchiveDatabase::Open(path.toStdString(), error);
        QVERIFY2(db, error.c_str());
        std::vector<std::string> warned;
        ArchiveWriter writer(std::move(db), dir.filePath("fehler.log").toStdString(),
                             [&](const std::string& line) { warned.push_back(line); });
        QProcess holder;
        holder.start("sqlite3", {path});
        holder.write("BEGIN IMMEDIATE;\nSELECT 'held';\n");
        QVERIFY(holder.waitForReadyRead(10000));
        QCOMPARE(holder.readAllStandardOutput(), "held\n");
        writer.WriteInterval(Hour(0));
        writer.WriteInterval(Hour(1));
        QCOMPARE(writer.Queued(), 2u);
        holder.write("COMMIT;\n");
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(10000));
        QVERIFY(QTest::qWaitFor([&] { return writer.Queued() == 0; }, 10000));
        QCOMPARE(Hours(writer.Database()), (std::vector<int>{0, 1}));
        QVERIFY(warned.empty());
        QVERIFY(!QFile::exists(dir.filePath("fehler.log")));
    }

    // A file that is not an archive, and a folder: said once on standard error, the file left as
    // it was, and the station's sets decoded all the same.
    void notAnArchiveAtStart() {
        for (const bool folder : {false, true}) {
            OmbrixProcess ombrix;
            const QString path = ombrix.Path("archive.sqlite");
            const QByteArray text = "Wetterdaten vom Juli\n";
            QFile file(path);
            QVERIFY(folder ? QDir().mkpath(path)
                           : file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
            file.close();
            QVERIFY2(ombrix.Start("ArchivePath=" + path.toUtf8() + "\n"),
                     ombrix.StandardError().constData());
            QVERIFY(ombrix.Pty().Send(ombrix::TestTelegramSet()));
            QVERIFY(ombrix.WaitForStatusLine());
            const QByteArray said = ombrix.StandardError();
            QCOMPARE(said.count('\n'), 1);
            QVERIFY2(said.contains(path.toUtf8()), said.constData());
            QVERIFY(ombrix.Running());
            if (!folder) QCOMPARE(ReadFile(path), text);
        }
    }
};

QTEST_GUILESS_MAIN(ArchiveFaultsTest)
#include "archive_faults_test.moc"
