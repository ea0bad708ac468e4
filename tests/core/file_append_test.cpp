// Appending records and lines to files: created when missing, appended byte for byte, the
// runtime's file errors when it cannot, and the quiet variant for the error log.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "logs/file_append.h"
#include "station/errors.h"

namespace ombrix {
namespace {

class FileAppend : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ombrix-append-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    static Bytes Content(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static std::int32_t ErrorOf(const std::string& path, BytesView bytes) {
        try {
            AppendToFile(path, bytes);
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.Description, ErrorDescription(e.Number));
            return e.Number;
        }
        return 0;
    }

    std::string dir_;
};

TEST_F(FileAppend, CreatesThenAppendsRawBytes) {
    const std::string path = Path("fehler.log");
    const Bytes first("\r\nBCD: \x00\x0F\r\n", 12);
    const Bytes second(
        "au\xDF"
        "en \xB0\r\n");
    AppendToFile(path, first);
    EXPECT_EQ(Content(path), first);
    AppendToFile(path, second);
    EXPECT_EQ(Content(path), first + second);
    AppendToFile(path, "");
    EXPECT_EQ(Content(path), first + second);
}

TEST_F(FileAppend, KeepsExistingContent) {
    const std::string path = Path("WX2026051214.LOG");
    {
        std::ofstream out(path, std::ios::binary);
        out << "earlier line\r\n";
    }
    AppendToFile(path, "next\r\n");
    EXPECT_EQ(Content(path), "earlier line\r\nnext\r\n");
}

TEST_F(FileAppend, MissingDirectoryRaisesPathNotFound) {
    EXPECT_EQ(ErrorOf(Path("missing/fehler.log"), "x"), kPathNotFound);
    EXPECT_FALSE(std::filesystem::exists(Path("missing")));
    EXPECT_EQ(ErrorDescription(kPathNotFound), "Path not found");
}

TEST_F(FileAppend, OtherFailuresRaiseFileErrors) {
    // A directory cannot be opened for writing; an empty name is no file name.
    EXPECT_EQ(ErrorOf(dir_, "x"), kPathFileAccess);
    EXPECT_EQ(ErrorOf("", "x"), kBadFileName);
    EXPECT_EQ(ErrorOf(Path(std::string("a\0b", 3)), "x"), kBadFileName);
    // A file used as a directory.
    AppendToFile(Path("plain"), "x");
    EXPECT_EQ(ErrorOf(Path("plain/fehler.log"), "x"), kPathNotFound);
}

TEST_F(FileAppend, FullDeviceRaisesDiskFull) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    EXPECT_EQ(ErrorOf("/dev/full", "record\r\n"), kDiskFull);
}

TEST_F(FileAppend, QuietVariantNeverThrows) {
    static_assert(noexcept(AppendToFileQuietly(dir_, BytesView())));
    EXPECT_NO_THROW(AppendToFileQuietly(Path("missing/fehler.log"), "x"));
    EXPECT_NO_THROW(AppendToFileQuietly(dir_, "x"));
    EXPECT_NO_THROW(AppendToFileQuietly("", "x"));
    const std::string path = Path("fehler.log");
    AppendToFileQuietly(path, Bytes("a\0", 2));
    AppendToFileQuietly(path, "b");
    EXPECT_EQ(Content(path), Bytes("a\0b", 3));
}

}  // namespace
}  // namespace ombrix
