// What tests in every folder share without Qt: temporary folders, whole files, command-line
// programs run alongside a test with their output read as it comes, or run to their end.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace ombrix::test {

// A fresh folder under /tmp, removed with all it holds. The name is short on purpose: direwolf
// cuts its audio device text at 29 characters.
struct TempDir {
    TempDir() {
        char pattern[] = "/tmp/omXXXXXX";
        if (::mkdtemp(pattern) != nullptr) Path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!Path.empty()) std::filesystem::remove_all(Path, ignored);
    }
    TempDir(const TempDir&) = delete;
    std::string operator/(const std::string& name) const { return Path + "/" + name; }
    // Writes the file and returns its path.
    std::string Write(const std::string& name, std::string_view content) const {
        std::ofstream(*this / name, std::ios::binary) << content;
        return *this / name;
    }

    std::string Path;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Writes the bytes as the whole file and returns its path.
inline std::string WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

// The command that starts one of the project's programs: in a cross build the emulator's words
// (qemu-user and its options, as CTest runs the tests themselves) come first.
inline std::vector<std::string> ProgramCommand(const std::string& program) {
    std::vector<std::string> words;
#ifdef OMBRIX_TEST_EMULATOR
    std::istringstream emulator(OMBRIX_TEST_EMULATOR);
    for (std::string word; emulator >> word;) words.push_back(word);
#endif
    words.push_back(program);
    return words;
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

// A program started (found on PATH unless the name has a slash) with the given arguments under
// the C locale, in `dir` when given, with the file `input` as its standard input; its standard
// output and error are read through pipes. Killed when the object goes.
class Process {
  public:
    Process(const std::string& program, std::vector<std::string> args, const std::string& dir = {},
            const std::string& input = "/dev/null") {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
        posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        const std::vector<std::string> command = ProgramCommand(program);
        args.insert(args.begin(), command.begin(), command.end());
        std::vector<std::string> env{"LC_ALL=C"};
        for (char** e = environ; *e != nullptr; ++e)
            if (!std::string_view(*e).starts_with("LC_ALL=")) env.emplace_back(*e);
        std::vector<char*> argv, envp;
        for (std::string& a : args) argv.push_back(a.data());
        for (std::string& e : env) envp.push_back(e.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~Process() {
        if (pid_ > 0 && !Finished()) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
        close(out_);
        close(err_);
    }
    Process(const Process&) = delete;

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
    // it ended by a signal or did not end in time. Both pipes are read meanwhile: a program
    // blocked on a full one would never end.
    int Wait(double timeoutSeconds) {
        const double deadline = Seconds() + timeoutSeconds;
        for (bool more = true; more || !Finished();) {
            if (Seconds() > deadline) return -1;
            more = ReadSome(out_, outText_, 0.01) | ReadSome(err_, errText_, 0.01);
        }
        // What it wrote between the last look and its end is still in the pipes.
        while (ReadSome(out_, outText_, 0)) {
        }
        while (ReadSome(err_, errText_, 0)) {
        }
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1, err_ = -1, status_ = 0;
    bool exited_ = false;
    std::string outText_, errText_;
};

struct ToolRun {
    int Status = -1;
    std::string Out, Err;
};

// Runs a program in `dir` to its end (at most ten minutes).
inline ToolRun RunTool(const std::string& dir, const std::string& program,
                       const std::vector<std::string>& args,
                       const std::string& input = "/dev/null") {
    Process p(program, args, dir, input);
    const int status = p.Wait(600);
    return {status, p.Stdout(), p.Stderr()};
}

inline std::string LinkTarget(const std::string& link) {
    char target[256] = {};
    return readlink(link.c_str(), target, sizeof target - 1) > 0 ? target : "";
}

}  // namespace ombrix::test
