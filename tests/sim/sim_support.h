// Helpers for the simulator's tests: decoding a set with the program's decoder, raw log lines as
// the logger writes them, running ombrix-sim as a process and reading its line in bursts.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "decode/decoder.h"
#include "logs/raw_log.h"
#include "station/telegram_set.h"

extern char** environ;

namespace ombrix::sim::test {

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

inline bool AllGroupsPass(BytesView set) {
    return set.size() == kTelegramSetLength &&
           std::all_of(kGroups.begin(), kGroups.end(), [&](const GroupBounds& g) {
               return CheckGroup(Mid(set, g.First, g.Length)).Ok();
           });
}

// The set's line as the program's raw-log writer puts it into the file.
inline Bytes LoggedLine(BytesView set, BytesView report = "", int minute = 0) {
    return RawLogLine(RawLogText(BuildNibbleString(set), 1.0F, 2.0F, report),
                      {2024, 6, 1, 14, minute, 0});
}

inline double Seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Appends what arrives on fd within the time; false when nothing came.
inline bool ReadSome(int fd, std::string& into, double timeoutSeconds) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, std::max(0, static_cast<int>(timeoutSeconds * 1000)) + 1) <= 0) return false;
    char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) into.append(buffer, static_cast<std::size_t>(n));
    return n > 0;
}

// ombrix-sim started with the given arguments, its standard output and error read through pipes;
// killed when the object goes.
class SimProcess {
  public:
    explicit SimProcess(std::vector<std::string> args) {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        args.insert(args.begin(), OMBRIX_SIM_PATH);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
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
        if (pid_ > 0 && !Finished()) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
        close(out_);
        close(err_);
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    pid_t Pid() const { return pid_; }
    const std::string& Stdout() const { return outText_; }
    const std::string& Stderr() const { return errText_; }

    // The next line of standard output without its line end; empty when none comes in time.
    std::string ReadLine(double timeoutSeconds) {
        const double deadline = Seconds() + timeoutSeconds;
        std::size_t end;
        while ((end = outText_.find('\n')) == std::string::npos)
            if (Seconds() > deadline || !ReadSome(out_, outText_, deadline - Seconds())) return {};
        std::string line = outText_.substr(0, end);
        outText_.erase(0, end + 1);
        return line;
    }

    // True once the process has ended; does not wait.
    bool Finished() {
        if (!exited_ && pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
        return exited_;
    }

    // The exit status once the process has ended, with the rest of its output collected; -1 when
    // it ended by a signal or did not end in time.
    int Wait(double timeoutSeconds) {
        const double deadline = Seconds() + timeoutSeconds;
        while (!Finished()) {
            if (Seconds() > deadline) return -1;
            ReadSome(out_, outText_, 0.05);
        }
        while (ReadSome(out_, outText_, 0.05) || ReadSome(err_, errText_, 0.05)) {
        }
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1, err_ = -1, status_ = 0;
    bool exited_ = false;
    std::string outText_, errText_;
};

// A fresh directory under /tmp, removed with what it holds.
class TempDir {
  public:
    TempDir() {
        if (mkdtemp(path_.data()) == nullptr) path_.clear();
    }
    ~TempDir() {
        if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
    }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // Writes the file and returns its path.
    std::string Write(const std::string& name, BytesView content) const {
        std::ofstream(File(name), std::ios::binary) << content;
        return File(name);
    }

  private:
    std::string path_ = "/tmp/ombrix-sim-test-XXXXXX";
};

inline bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

inline std::string LinkTarget(const std::string& link) {
    char target[256] = {};
    return readlink(link.c_str(), target, sizeof target - 1) > 0 ? target : "";
}

// What arrives on fd until `bytes` have come or the time is up, joined into bursts: a quiet of
// half a second or more ends one.
struct Burst {
    double First = 0, Last = 0;
    Bytes Data;
};

inline std::vector<Burst> ReadBursts(int fd, std::size_t bytes, double timeoutSeconds) {
    std::vector<Burst> bursts;
    std::size_t total = 0;
    const double deadline = Seconds() + timeoutSeconds;
    Bytes chunk;
    while (total < bytes && Seconds() < deadline) {
        // A terminal whose other side is closed reads as ended at once: do not spin on it.
        if (!ReadSome(fd, chunk, 0.05)) {
            usleep(10000);
            continue;
        }
        const double at = Seconds();
        if (bursts.empty() || at - bursts.back().Last >= 0.5) bursts.push_back({at, at, {}});
        bursts.back().Last = at;
        bursts.back().Data += chunk;
        total += chunk.size();
        chunk.clear();
    }
    return bursts;
}

}  // namespace ombrix::sim::test
