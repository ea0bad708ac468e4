// Helpers for the simulator's tests: decoding a set with the program's decoder, and running
// ombrix-sim as a process.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "decode/decoder.h"
#include "station/telegram_set.h"

extern char** environ;

namespace ombrix::sim::test {

// One decoded set: the table, the readings and any error records.
struct Decoded {
    SetOutcome Outcome = SetOutcome::WrongLength;
    MeasurementTable Table;
    Readings Slots;
    std::vector<Bytes> Errors;

    // The cell of the first row with this text; empty when there is no such row.
    std::string Cell(const std::string& row, int column) const {
        for (const TableRow& r : Table.Rows())
            if (r[0] == row) return r[static_cast<std::size_t>(column)];
        return {};
    }
};

inline Decoded Decode(BytesView set) {
    Decoded d;
    Decoder decoder(
        ".", [] { return LocalTime{2024, 10, 7, 8, 0, 0}; },
        [&](const Bytes& record) { d.Errors.push_back(record); });
    decoder.AddStage([&](DecodeCall& call) { d.Slots = call.Slots; });
    d.Outcome = decoder.DecodeTelegramSet(set);
    d.Table = decoder.Table();
    return d;
}

// The number at the start of a cell such as "25.7°C" or " 1mb".
inline double Number(const std::string& cell) {
    return std::strtod(cell.c_str(), nullptr);
}

inline bool AllGroupsPass(BytesView set) {
    if (set.size() != kTelegramSetLength) return false;
    for (const GroupBounds& g : kGroups)
        if (!CheckGroup(Mid(set, g.First, g.Length)).Ok()) return false;
    return true;
}

inline double Seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// ombrix-sim started with the given arguments; standard output and error are read through pipes.
// The process is killed when the object goes.
class SimProcess {
  public:
    explicit SimProcess(const std::vector<std::string>& args) {
        int out[2];
        int err[2];
        if (pipe(out) != 0 || pipe(err) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, err[0]);
        std::vector<std::string> all{OMBRIX_SIM_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, OMBRIX_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }

    ~SimProcess() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
        if (err_ >= 0) close(err_);
    }

    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }

    // The next line of standard output, without its line end; empty when none comes in time.
    std::string ReadLine(double timeoutSeconds) {
        const double deadline = Seconds() + timeoutSeconds;
        for (;;) {
            const std::size_t end = stdout_.find('\n');
            if (end != std::string::npos) {
                std::string line = stdout_.substr(0, end);
                stdout_.erase(0, end + 1);
                return line;
            }
            const double left = deadline - Seconds();
            if (left <= 0 || !ReadSome(out_, stdout_, left)) return {};
        }
    }

    // True once the process has ended; does not wait.
    bool Finished() {
        if (!exited_ && pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
        return exited_;
    }

    // Waits for the end of the process and returns its exit status; -1 when it did not end in
    // time (it is then killed) or ended by a signal. Collects the rest of its output.
    int Wait(double timeoutSeconds) {
        const double deadline = Seconds() + timeoutSeconds;
        while (!Finished()) {
            if (Seconds() > deadline) return -1;
            ReadSome(out_, stdout_, 0.05);
        }
        while (ReadSome(out_, stdout_, 0.05)) {
        }
        while (ReadSome(err_, stderr_, 0.05)) {
        }
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }

    const std::string& Stdout() const { return stdout_; }
    const std::string& Stderr() const { return stderr_; }

  private:
    static bool ReadSome(int fd, std::string& into, double timeoutSeconds) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(timeoutSeconds * 1000)) <= 0) return false;
        char buffer[4096];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) return false;
        into.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    bool exited_ = false;
    int status_ = 0;
    std::string stdout_;
    std::string stderr_;
};

// A fresh directory under the system's temporary directory, removed with what it holds.
class TempDir {
  public:
    TempDir() {
        std::string pattern = "/tmp/ombrix-sim-test-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempDir() {
        if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
    }
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

inline bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// Bytes read from a file or terminal, each with the time it arrived.
struct Arrival {
    double At;
    Bytes Data;
};

// Reads what arrives on fd until `bytes` have come or the time is up.
inline std::vector<Arrival> ReadArrivals(int fd, std::size_t bytes, double timeoutSeconds) {
    std::vector<Arrival> arrivals;
    std::size_t total = 0;
    const double deadline = Seconds() + timeoutSeconds;
    while (total < bytes) {
        const double left = deadline - Seconds();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left * 1000) + 1) <= 0) continue;
        char buffer[1024];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        arrivals.push_back({Seconds(), Bytes(buffer, static_cast<std::size_t>(n))});
        total += static_cast<std::size_t>(n);
    }
    return arrivals;
}

// Arrivals joined into bursts: a quiet of `quiet` seconds or more ends one.
struct Burst {
    double First = 0;
    double Last = 0;
    Bytes Data;
};

inline std::vector<Burst> Bursts(const std::vector<Arrival>& arrivals, double quiet) {
    std::vector<Burst> bursts;
    for (const Arrival& a : arrivals) {
        if (bursts.empty() || a.At - bursts.back().Last >= quiet)
            bursts.push_back({a.At, a.At, {}});
        bursts.back().Last = a.At;
        bursts.back().Data += a.Data;
    }
    return bursts;
}

}  // namespace ombrix::sim::test
