// ombrix-decode: decodes recorded bursts offline, one file per burst, in order, by one decoder as
// on a freshly started program, and prints each resulting table.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "decode/decoder.h"
#include "station/telegram_set.h"

namespace {

// A burst to decode: a file, or the built-in test set when the path is empty.
struct Input {
    std::string Path;
    bool TestSet = false;
};

void Usage() {
    std::cerr << "usage: ombrix-decode [--decimal-separator C] [--test-set] FILE...\n"
                 "  --test-set  decode the built-in test set (the \"Testwerte\" button) as one more\n"
                 "              burst, in its place among the files\n";
}

bool ReadFile(const std::string& path, ombrix::Bytes& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::string separator = std::localeconv()->decimal_point;
    std::vector<Input> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--decimal-separator" && i + 1 < argc) {
            separator = argv[++i];
        } else if (arg.rfind("--decimal-separator=", 0) == 0) {
            separator = arg.substr(std::strlen("--decimal-separator="));
        } else if (arg == "--test-set") {
            files.push_back({"Testwerte", true});
        } else if (arg == "--help" || arg == "-h") {
            Usage();
            return 0;
        } else if (arg == "--") {
            for (int j = i + 1; j < argc; ++j) files.push_back({argv[j]});
            break;
        } else if (arg.size() > 1 && arg[0] == '-') {
            Usage();
            return 2;
        } else {
            files.push_back({arg});
        }
    }
    if (files.empty()) {
        Usage();
        return 2;
    }

    ombrix::Decoder decoder(separator, ombrix::SystemLocalTime,
                            [](const ombrix::Bytes& record) { std::cerr << record; });
    int status = 0;
    for (const Input& input : files) {
        const std::string& path = input.Path;
        ombrix::Bytes set;
        if (input.TestSet) {
            set = ombrix::TestTelegramSet();
        } else if (!ReadFile(path, set)) {
            std::cerr << "ombrix-decode: " << path << ": " << std::strerror(errno) << "\n";
            status = 2;
            continue;
        }
        decoder.DecodeTelegramSet(set);
        std::string out = "# " + path + "\n";
        for (const ombrix::TableRow& row : decoder.Table().Rows()) {
            for (std::size_t i = 0; i < row.size(); ++i) {
                if (i > 0) out += '\t';
                out += row[i];
            }
            out += '\n';
        }
        std::cout << out;
    }
    std::cout.flush();
    return status;
}
