#include "tools/sim/line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <system_error>

namespace ombrix::sim {

namespace {

constexpr std::size_t kChunk = 8;  // bytes written at a time

[[noreturn]] void Fail(const std::string& what, int error = errno) {
    throw std::runtime_error(what + ": " + std::strerror(error));
}

// Raw 9600 8N1 without flow control: every byte passes unchanged, nothing is echoed.
void ConfigureSerial(int fd, const std::string& name) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) Fail(name + ": not a serial device");
    cfmakeraw(&tio);
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) Fail(name + ": cannot set 9600 8N1");
}

std::string ReadLink(const std::string& path) {
    std::string target(4096, '\0');
    const ssize_t n = readlink(path.c_str(), target.data(), target.size());
    if (n < 0) return {};
    target.resize(static_cast<std::size_t>(n));
    return target;
}

class DeviceLine : public Line {
  public:
    DeviceLine(int fd, std::string path) : Line(fd), path_(std::move(path)) {}
    ~DeviceLine() override { close(fd_); }
    std::string Describe() const override { return path_; }

  private:
    std::string path_;
};

class PseudoTerminalLine : public Line {
  public:
    PseudoTerminalLine(int master, int terminal, std::string terminalName, std::string link)
        : Line(master),
          terminal_(terminal),
          terminalName_(std::move(terminalName)),
          link_(std::move(link)) {}

    ~PseudoTerminalLine() override {
        // Only our own link goes; a link someone has put there since stays.
        if (ReadLink(link_) == terminalName_) unlink(link_.c_str());
        close(terminal_);
        close(fd_);
    }

    void BeforeBurst() override {
        // Whatever a reader writes to the station is not listened to.
        char sink[256];
        while (read(fd_, sink, sizeof sink) > 0) {
        }
        // The terminal side stays open here, so bytes nobody has read would wait for the next
        // reader; a real line would have lost them.
        int waiting = 0;
        if (ioctl(terminal_, FIONREAD, &waiting) == 0 && waiting > 0) tcflush(terminal_, TCIFLUSH);
    }

    std::string Describe() const override { return link_ + " (" + terminalName_ + ")"; }

  private:
    int terminal_;
    std::string terminalName_;
    std::string link_;
};

void CreateLink(const std::string& link, const std::string& target) {
    struct stat st {};
    if (lstat(link.c_str(), &st) != 0) {
        if (errno != ENOENT) Fail(link);
        if (symlink(target.c_str(), link.c_str()) != 0) Fail("cannot create the link " + link);
        return;
    }
    if (!S_ISLNK(st.st_mode))
        throw std::runtime_error(link + " exists and is not a link; choose another --link");
    struct stat targetStat {};
    if (stat(link.c_str(), &targetStat) == 0)
        throw std::runtime_error(link + " already leads to " + ReadLink(link) +
                                 " (is another ombrix-sim running?); choose another --link");
    // A link that leads nowhere was left by a simulator that could not clean up: replace it.
    const std::string fresh = link + ".new-" + std::to_string(getpid());
    unlink(fresh.c_str());
    if (symlink(target.c_str(), fresh.c_str()) != 0) Fail("cannot create the link " + link);
    if (rename(fresh.c_str(), link.c_str()) != 0) {
        const int error = errno;
        unlink(fresh.c_str());
        Fail("cannot replace the link " + link, error);
    }
}

}  // namespace

double MonotonicNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

bool SleepUntil(double deadline, const StopFlag& stopped) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(std::floor(deadline));
    ts.tv_nsec = static_cast<long>((deadline - std::floor(deadline)) * 1e9);
    for (;;) {
        if (stopped()) return false;
        const int rc = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
        if (rc == 0) return !stopped();
        if (rc != EINTR) return !stopped();
    }
}

std::string DefaultLinkPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0') return std::string(runtime) + "/ombrix-station";
    return "/tmp/ombrix-station-" + std::to_string(getuid());
}

bool Line::Send(BytesView bytes, const StopFlag& stopped) {
    const double start = MonotonicNow();
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const std::size_t n = std::min(kChunk, bytes.size() - sent);
        if (!WriteAll(bytes.substr(sent, n), stopped)) return false;
        sent += n;
        if (!SleepUntil(start + static_cast<double>(sent) * kByteSeconds, stopped)) return false;
    }
    return true;
}

bool Line::WriteAll(BytesView bytes, const StopFlag& stopped) {
    while (!bytes.empty()) {
        if (stopped()) return false;
        const ssize_t n = write(fd_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The reader is behind: wait for room, but not for ever.
            pollfd p{fd_, POLLOUT, 0};
            if (poll(&p, 1, 2000) == 0) {
                BeforeBurst();
                if (poll(&p, 1, 0) == 0) return true;  // nobody takes anything: drop the rest
            }
        } else if (n < 0 && errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "write");
        }
    }
    return true;
}

std::unique_ptr<Line> OpenPseudoTerminal(const std::string& linkPath) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) Fail("cannot open a pseudo-terminal");
    char name[256];
    if (grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name, sizeof name) != 0) {
        const int error = errno;
        close(master);
        Fail("cannot set up the pseudo-terminal", error);
    }
    // Keeping the terminal side open ourselves keeps it raw and alive between readers.
    const int terminal = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0) {
        const int error = errno;
        close(master);
        Fail(std::string("cannot open ") + name, error);
    }
    try {
        ConfigureSerial(terminal, name);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        CreateLink(linkPath, name);
    } catch (...) {
        close(terminal);
        close(master);
        throw;
    }
    return std::make_unique<PseudoTerminalLine>(master, terminal, name, linkPath);
}

std::unique_ptr<Line> OpenDevice(const std::string& path) {
    // Without O_NONBLOCK the open could wait for a carrier that a station never raises.
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) Fail(path);
    try {
        if (!isatty(fd)) throw std::runtime_error(path + ": not a serial device");
        ConfigureSerial(fd, path);
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    } catch (...) {
        close(fd);
        throw;
    }
    return std::make_unique<DeviceLine>(fd, path);
}

}  // namespace ombrix::sim
