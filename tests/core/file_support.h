// Temporary folders, whole files and runs of a command-line tool, for the tests of the core, of
// ombrix-decode's report lines and of the packet engine.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "station/bytes.h"

namespace ombrix::test {

// A fresh folder under /tmp, removed with all it holds. The name is short on purpose: direwolf
// cuts its audio device text at 29 characters.
struct TempDir {
    TempDir() {
        char pattern[] = "/tmp/omXXXXXX";
        if (::mkdtemp(pattern) != nullptr) Path = pattern;
        EXPECT_FALSE(Path.empty()) << "no temporary folder";
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(Path, ignored);
    }
    TempDir(const TempDir&) = delete;
    std::string operator/(const std::string& name) const { return Path + "/" + name; }

    std::string Path;
};

inline Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes the bytes as the whole file and returns its path.
inline std::string WriteFile(const std::string& path, BytesView bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return path;
}

struct ToolRun {
    int Status = -1;
    std::string Out, Err;
};

// Runs a program in `dir` under the C locale with the file `input` (or nothing) as its standard
// input; its output goes through the files "stdout" and "stderr" there.
inline ToolRun RunTool(const std::string& dir, const std::string& program,
                       const std::vector<std::string>& args,
                       const std::string& input = "/dev/null") {
    auto quote = [](const std::string& s) {
        std::string q = "'";
        for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    };
    std::string command = "cd " + quote(dir) + " && LC_ALL=C " + quote(program);
    for (const std::string& a : args) command += " " + quote(a);
    const int raw = std::system((command + " >stdout 2>stderr <" + quote(input)).c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(dir + "/stdout"),
            ReadFile(dir + "/stderr")};
}

}  // namespace ombrix::test
