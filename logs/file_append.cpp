#include "logs/file_append.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <filesystem>

#include "station/errors.h"

namespace ombrix {

namespace {

std::int32_t FileErrorNumber(int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR:
            return kPathNotFound;
        case ENOSPC:
        case EDQUOT:
            return kDiskFull;
        case ENAMETOOLONG:
            return kBadFileName;
        default:
            return kPathFileAccess;
    }
}

}  // namespace

void AppendToFile(const std::string& path, BytesView bytes) {
    if (path.empty() || path.find('\0') != std::string::npos) Raise(kBadFileName);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) Raise(FileErrorNumber(errno));
    // Where the file ends now (not known for a device): a line that does not fit whole is taken
    // back, so that a full disk leaves no torn line for the next one to be glued to.
    const off_t end = ::lseek(fd, 0, SEEK_END);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : ENOSPC;
            if (done > 0 && end >= 0 && ::ftruncate(fd, end) != 0) {
                // Not even that: the torn line stays.
            }
            ::close(fd);
            Raise(FileErrorNumber(err));
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 && errno != EINTR) Raise(FileErrorNumber(errno));
}

void CreateDirectories(const std::string& directory) {
    if (directory.find('\0') != std::string::npos) Raise(kBadFileName);
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    // A part of the path that exists but is no directory is reported as "file exists".
    if (error) Raise(FileErrorNumber(error.value() == EEXIST ? ENOTDIR : error.value()));
}

void AppendToFileCreatingDirectories(const std::string& path, BytesView bytes) {
    try {
        AppendToFile(path, bytes);
        return;
    } catch (const RuntimeError& error) {
        const std::size_t slash = path.rfind('/');
        if (error.Number != kPathNotFound || slash == std::string::npos || slash == 0) throw;
        CreateDirectories(path.substr(0, slash));
    }
    AppendToFile(path, bytes);
}

bool AppendToFileQuietly(const std::string& path, BytesView bytes) noexcept {
    try {
        AppendToFile(path, bytes);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace ombrix
