// The logs when the disk will not take them: "PfadWX" a file or a folder that cannot be made, the
// hour's file a folder, a full disk (/dev/full, and a small tmpfs where the test may mount one),
// "fehler.log" unwritable. Decoding, the table, the status line and the report carry on; each
// raw-log line that is lost leaves an error record where one can be written, and no file is left
// with a torn line.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "logs/file_append.h"
#include "report_support.h"

namespace ombrix::test {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TempDir {
  public:
    TempDir() {
        char pattern[] = "/tmp/ombrix-logs-XXXXXX";
        if (::mkdtemp(pattern) != nullptr) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    bool Valid() const { return !path_.empty(); }

  private:
    std::string path_;
};

// The program's logger with the real file appenders, fehler.log at a path of the test's choice.
struct Logger {
    Logger(const std::string& pfadWX, std::string errorLog)
        : errorLogPath(std::move(errorLog)),
          logger(
              Settings(pfadWX), [] { return At(14, 5, 9); }, &sink,
              [](const std::string& path, BytesView bytes) {
                  AppendToFileCreatingDirectories(path, bytes);
              },
              [this](const Bytes& record) {
                  if (!AppendToFileQuietly(errorLogPath, record)) ++lostRecords;
              },
              [](const std::string&) {}) {}

    static LoggerSettings Settings(const std::string& pfadWX) {
        LoggerSettings s = LoggerHarness::DefaultSettings();
        s.PfadWX = pfadWX;
        return s;
    }

    // One set through the whole road: everything but the raw log must come out as usual.
    void DecodeCarriesOn(const Bytes& set) {
        ASSERT_EQ(logger.DecodeTelegramSet(set), SetOutcome::Valid);
        EXPECT_EQ(logger.Table().RowCount(), 22);
        ASSERT_FALSE(logger.LastCall().RawLog.Line.empty());  // due: it rained today
    }

    std::string errorLogPath;
    int lostRecords = 0;
    RecordingSink sink;
    WeatherLogger logger;
};

const std::string kHourFile = "WX2024.06.01 14.LOG";

struct LogFault {
    const char* Name;
    // Makes the fault in the folder; returns PfadWX.
    std::function<std::string(const TempDir&)> Make;
    // Takes it away again.
    std::function<void(const TempDir&)> Mend;
    int ErrorNumber;        // of the record for a lost line
    bool ErrorLogWritable;  // false: fehler.log is broken as well
};

void MakeFolder(const std::string& path) {
    fs::create_directories(path);
}

const LogFault kFaults[] = {
    {"PfadWXIsAFile",
     [](const TempDir& d) {
         std::ofstream(d / "wxfile") << "x";
         return d / "wxfile/";
     },
     [](const TempDir& d) { fs::remove(d / "wxfile"); }, kPathNotFound, true},
    {"PfadWXCannotBeMade", [](const TempDir&) { return std::string("/proc/ombrix/WX/"); }, nullptr,
     kPathNotFound, true},
    {"HourFileIsAFolder",
     [](const TempDir& d) {
         MakeFolder(d / "wx/" + kHourFile);
         return d / "wx/";
     },
     [](const TempDir& d) { fs::remove(d / "wx/" + kHourFile); }, kPathFileAccess, true},
    {"DiskFull",
     [](const TempDir& d) {
         MakeFolder(d / "wx");
         fs::create_symlink("/dev/full", d / "wx/" + kHourFile);
         return d / "wx/";
     },
     [](const TempDir& d) { fs::remove(d / "wx/" + kHourFile); }, kDiskFull, true},
    {"DiskFullAndErrorLogToo",
     [](const TempDir& d) {
         MakeFolder(d / "wx");
         fs::create_symlink("/dev/full", d / "wx/" + kHourFile);
         fs::create_symlink("/dev/full", d / "fehler.log");
         return d / "wx/";
     },
     [](const TempDir& d) { fs::remove(d / "wx/" + kHourFile); }, kDiskFull, false},
    {"ErrorLogIsAFolder",
     [](const TempDir& d) {
         MakeFolder(d / "fehler.log");
         std::ofstream(d / "wxfile") << "x";
         return d / "wxfile/";
     },
     [](const TempDir& d) { fs::remove(d / "wxfile"); }, kPathNotFound, false},
};

void PrintTo(const LogFault& fault, std::ostream* os) {
    *os << fault.Name;
}

class LogFaultTest : public ::testing::TestWithParam<LogFault> {};

TEST_P(LogFaultTest, DecodingCarriesOnAndEachLostLineIsRecorded) {
    const LogFault& fault = GetParam();
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    const std::string pfadWX = fault.Make(dir);
    Logger l(pfadWX, dir / "fehler.log");

    // The report set and two more: table, status line and report as always, each line lost.
    for (int n = 1; n <= 3; ++n) l.DecodeCarriesOn(TestTelegramSet());
    EXPECT_FALSE(l.logger.StatusText().empty());
    EXPECT_EQ(l.sink.frames.size(), 1u);  // the report of the first set went to the engine
    EXPECT_EQ(l.logger.Report().Counter(), 3);

    if (fault.ErrorLogWritable) {
        const std::string log = ReadFile(l.errorLogPath);
        const std::string number = "Err.Number: " + NumberText(fault.ErrorNumber) + " \r\n";
        std::size_t records = 0;
        for (std::size_t at = 0; (at = log.find(number, at)) != std::string::npos; ++at) ++records;
        EXPECT_EQ(records, 3u) << log;
        EXPECT_EQ(l.lostRecords, 0);
        EXPECT_TRUE(log.starts_with("\r\n")) << log;
    } else {
        EXPECT_EQ(l.lostRecords, 3);
    }

    // The fault mended: the next line is written, whole.
    if (!fault.Mend) return;
    fault.Mend(dir);
    if (!fault.ErrorLogWritable) fs::remove_all(dir / "fehler.log");
    l.DecodeCarriesOn(TestTelegramSet());
    const std::string written = ReadFile(pfadWX + kHourFile);
    EXPECT_EQ(written, l.logger.LastCall().RawLog.Line);
}

INSTANTIATE_TEST_SUITE_P(Faults, LogFaultTest, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.Name); });

// A small tmpfs that fills up. Needs the right to mount (root in its own or the machine's
// namespace); skipped without it.
class SmallDisk {
  public:
    explicit SmallDisk(std::string path) : path_(std::move(path)) {
        fs::create_directories(path_);
        mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=16k") == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
    }
    bool Mounted() const { return mounted_; }
    // Writes a filler file until the disk is full.
    void Fill() {
        std::FILE* f = std::fopen((path_ + "/filler").c_str(), "wb");
        if (f == nullptr) return;
        const std::string block(512, 'f');
        while (std::fwrite(block.data(), 1, block.size(), f) == block.size()) {
        }
        std::fclose(f);
    }
    void Free() { fs::remove(path_ + "/filler"); }

  private:
    std::string path_;
    bool mounted_ = false;
};

TEST(LogFaultDisk, FullTmpfsLosesWholeLinesOnly) {
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    SmallDisk disk(dir / "disk");
    if (!disk.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    Logger l(dir / "disk/wx/", dir / "fehler.log");

    std::string expected;  // the lines that were written
    l.DecodeCarriesOn(TestTelegramSet());
    expected += l.logger.LastCall().RawLog.Line;
    disk.Fill();

    // The hour's file still has room in its last page for a few lines; then one line fits only
    // in part. It must not stay behind torn: the file holds whole lines, every other line left a
    // record saying the disk is full.
    int lost = 0;
    for (int n = 2; n <= 40; ++n) {
        const std::size_t before = ReadFile(l.errorLogPath).size();
        l.DecodeCarriesOn(TestTelegramSet());
        if (ReadFile(l.errorLogPath).size() > before) {
            ++lost;
            EXPECT_NE(ReadFile(l.errorLogPath).find("Err.Description: Disk full", before),
                      std::string::npos);
        } else {
            expected += l.logger.LastCall().RawLog.Line;
        }
    }
    EXPECT_GT(lost, 0);
    std::string file = ReadFile(dir / "disk/wx/" + kHourFile);
    EXPECT_TRUE(file == expected) << "the file has " << file.size() << " bytes, its "
                                  << expected.size() << " bytes of whole lines expected";

    disk.Free();
    l.DecodeCarriesOn(TestTelegramSet());
    expected += l.logger.LastCall().RawLog.Line;
    file = ReadFile(dir / "disk/wx/" + kHourFile);
    EXPECT_TRUE(file == expected) << file.size() << " bytes instead of " << expected.size();
}

}  // namespace
}  // namespace ombrix::test
