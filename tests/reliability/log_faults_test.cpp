// The raw log when the disk will not take it: "PfadWX" a file or a folder that cannot be made, the
// hour's file a folder, a full disk (/dev/full, and a small tmpfs where the test may mount one).
// Decoding, the table, the status line and the report carry on; each raw-log line that is lost
// leaves an error record, and no file is left with a torn line. ("fehler.log" unwritable is the
// running program's, in app_process_test.)
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "decode_support.h"
#include "logs/file_append.h"
#include "support.h"

namespace ombrix::test {
namespace {

namespace fs = std::filesystem;

// The logger with the program's raw-log writer; its error records are kept.
struct Logger : LoggerHarness {
    explicit Logger(const std::string& pfadWX)
        : LoggerHarness(LoggerDefaults(pfadWX), nullptr, AppendToFileCreatingDirectories) {}

    // One set through the whole road: everything but the raw log must come out as usual.
    void DecodeCarriesOn() {
        ASSERT_EQ(Decode(TestTelegramSet()), SetOutcome::Valid);
        EXPECT_EQ(logger.Table().RowCount(), 22);
        ASSERT_FALSE(logger.LastCall().RawLog.Line.empty());  // due: it rained today
    }
};

const std::string kHourFile = "WX2024.06.01 14.LOG";

enum class Block { File, Folder, FullDevice };

// A fault: what stands in the way of the raw log (`Blocker`, a path in the test's folder,
// removed again to mend it).
struct LogFault {
    const char* Name;
    const char* PfadWX;  // in the test's folder, or absolute
    const char* Blocker;
    Block Kind;
    int ErrorNumber;  // of the record for a lost line
};

const LogFault kFaults[] = {
    // Mended, the missing folders are made with their parents.
    {"PfadWXBelowAFile", "wxfile/wx/2024/", "wxfile", Block::File, kPathNotFound},
    {"PfadWXCannotBeMade", "/proc/ombrix/WX/", nullptr, Block::File, kPathNotFound},
    {"HourFileIsAFolder", "wx/", "wx/WX2024.06.01 14.LOG", Block::Folder, kPathFileAccess},
    {"DiskFull", "wx/", "wx/WX2024.06.01 14.LOG", Block::FullDevice, kDiskFull},
};

void Make(const std::string& path, Block kind) {
    fs::create_directories(fs::path(path).parent_path());
    if (kind == Block::File) std::ofstream(path) << "x";
    if (kind == Block::Folder) fs::create_directories(path);
    if (kind == Block::FullDevice) fs::create_symlink("/dev/full", path);
}

void PrintTo(const LogFault& fault, std::ostream* os) {
    *os << fault.Name;
}

class LogFaultTest : public ::testing::TestWithParam<LogFault> {};

TEST_P(LogFaultTest, DecodingCarriesOnAndEachLostLineIsRecorded) {
    const LogFault& fault = GetParam();
    TempDir dir;
    if (fault.Blocker) Make(dir / fault.Blocker, fault.Kind);
    const std::string pfadWX = fault.PfadWX[0] == '/' ? fault.PfadWX : dir / fault.PfadWX;
    Logger l(pfadWX);

    // The report set and two more: table, status line and report as always, each line lost.
    for (int n = 1; n <= 3; ++n) l.DecodeCarriesOn();
    EXPECT_FALSE(l.logger.StatusText().empty());
    EXPECT_EQ(l.sink.frames.size(), 1u);  // the report of the first set went to the engine
    EXPECT_EQ(l.logger.Report().Counter(), 3);
    EXPECT_TRUE(l.appended.empty());
    ASSERT_EQ(l.records.size(), 3u);
    for (const Bytes& record : l.records)
        EXPECT_NE(record.find("Err.Number: " + NumberText(fault.ErrorNumber) + " \r\n"),
                  std::string::npos)
            << record;

    // The fault mended: the next line is written, whole.
    if (!fault.Blocker) return;
    fs::remove_all(dir / fault.Blocker);
    l.DecodeCarriesOn();
    EXPECT_EQ(ReadFile(pfadWX + kHourFile), l.logger.LastCall().RawLog.Line);
}

INSTANTIATE_TEST_SUITE_P(Faults, LogFaultTest, ::testing::ValuesIn(kFaults),
                         [](const auto& test) { return std::string(test.param.Name); });

// A small tmpfs that fills up. Needs the right to mount (root in its own or the machine's
// namespace); skipped without it. The hour's file still has room in its last page for a few
// lines; then one line fits only in part. It must not stay behind torn: the file holds whole
// lines, every other line left a record saying the disk is full.
TEST(LogFaultDisk, FullTmpfsLosesWholeLinesOnly) {
    TempDir dir;
    const std::string disk = dir / "disk";
    fs::create_directories(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=16k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{disk};
    Logger l(disk + "/wx/");
    const std::string file = disk + "/wx/" + kHourFile;

    std::string expected;  // the lines that were written
    l.DecodeCarriesOn();
    expected += l.logger.LastCall().RawLog.Line;
    {
        std::ofstream filler(disk + "/filler", std::ios::binary);
        const std::string block(512, 'f');
        while (filler.write(block.data(), block.size())) filler.flush();
    }
    int lost = 0;
    for (int n = 2; n <= 40; ++n) {
        const std::size_t before = l.records.size();
        l.DecodeCarriesOn();
        if (l.records.size() == before) {
            expected += l.logger.LastCall().RawLog.Line;
            continue;
        }
        ++lost;
        EXPECT_NE(l.records.back().find("Err.Description: Disk full"), std::string::npos);
    }
    EXPECT_GT(lost, 0);
    EXPECT_TRUE(ReadFile(file) == expected)
        << ReadFile(file).size() << " bytes instead of " << expected.size() << " of whole lines";
}

}  // namespace
}  // namespace ombrix::test
