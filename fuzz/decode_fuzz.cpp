// One whole road of a telegram set through the core, on any bytes: the decoder, the report stage
// with its frame, the raw log into a temporary folder and the error log beside it.
//
// The input is first decoded as it came, whatever its length. Then it is cut into 141-byte sets
// whose group checksums are mended, and these are decoded one after another by the same logger,
// so that every field decoder and the running values of the report stage (gust maximum, direction
// average, counter) see arbitrary station fields too.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "logs/error_log.h"
#include "logs/file_append.h"
#include "pipeline/weather_logger.h"
#include "station/telegram_set.h"

namespace {

using namespace ombrix;

[[noreturn]] void Broken(const char* what) {
    std::fprintf(stderr, "decode_fuzz: %s\n", what);
    std::abort();
}

void Check(bool ok, const char* what) {
    if (!ok) Broken(what);
}

// The temporary folder of this process, removed when it ends. A plain array: it must outlive the
// exit handler that removes the folder.
char g_folder[] = "/tmp/ombrix-fuzz-XXXXXX";

const std::string& Folder() {
    static const std::string folder = [] {
        if (::mkdtemp(g_folder) == nullptr) Broken("no temporary folder");
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(g_folder, ignored);
        });
        return std::string(g_folder) + "/";
    }();
    return folder;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Frames : FrameSink {
    void WriteAgwFrame(const Bytes& wire) override { all.push_back(wire); }
    std::vector<Bytes> all;
};

// Each group's last byte becomes the sum of its other bytes, so the set passes the checks.
Bytes Mended(BytesView piece) {
    Bytes set(piece);
    for (const GroupBounds& g : kGroups) {
        unsigned sum = 0;
        for (std::size_t i = 0; i + 1 < g.Length; ++i) sum += Code(set[g.First - 1 + i]);
        set[g.First - 1 + g.Length - 1] = static_cast<char>(sum & 0xFF);
    }
    return set;
}

// What must hold after every call, whatever the set held.
void CheckCall(const WeatherLogger& logger, SetOutcome outcome, BytesView set,
               const std::string& errorLog, std::size_t errorLogBefore) {
    const int rows = logger.Table().RowCount();
    const CallOutputs& out = logger.LastCall();
    switch (outcome) {
        case SetOutcome::WrongLength:
            Check(set.size() != kTelegramSetLength, "a set of 141 bytes was taken as too short");
            Check(rows == 0, "a set of the wrong length left rows");
            break;
        case SetOutcome::ChecksumFailed:
            Check(rows == 5, "a failed checksum test did not leave the five checksum rows");
            break;
        case SetOutcome::Valid:
            Check(set.size() == kTelegramSetLength, "a set of the wrong length was decoded");
            Check(rows == 22, "a valid set did not give 22 rows");
            break;
    }
    if (outcome != SetOutcome::Valid) {
        Check(!out.StatusComposed && out.Frame.empty() && out.RawLog.Line.empty(),
              "a rejected set reached the report stage");
        Check(errorLog.size() == errorLogBefore, "a rejected set left an error record");
        return;
    }
    const Bytes& status = logger.StatusText();
    Check(status.find_first_of("\r\n") == Bytes::npos, "the status line holds a line end");
    if (!out.Frame.empty()) {
        Check(out.Frame.size() >= kAgwHeaderLength + 1 + 7 + 2, "a frame is too short");
        const std::size_t dataLen = Code(out.Frame[28]) | Code(out.Frame[29]) << 8 |
                                    Code(out.Frame[30]) << 16 | Code(out.Frame[31]) << 24;
        Check(dataLen == out.Frame.size() - kAgwHeaderLength, "DataLen does not match");
        Check(out.Frame[4] == 'K', "a frame that is not of kind K");
        Check(!out.AprsText.empty() && out.Frame.ends_with(out.AprsText),
              "the frame does not carry the report");
    }
    if (!out.RawLog.Line.empty()) {
        const Bytes& line = out.RawLog.Line;
        Check(line.size() >= 20 + kNibbleStringLength + 2 && line.ends_with("\r\n"),
              "a raw log line without its parts");
        Check(ReadFile(out.RawLog.Path).ends_with(line), "the raw log line is not in its file");
    }
    // Every record that was written starts with its empty line.
    if (errorLog.size() > errorLogBefore)
        Check(errorLog.compare(errorLogBefore, 2, "\r\n") == 0, "a record without its empty line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const BytesView input(reinterpret_cast<const char*>(data), size);
    const std::string wx = Folder() + "WX/";
    const std::string errorLogPath = Folder() + "fehler.log";

    LoggerSettings settings;
    settings.PfadWX = wx;
    settings.Lage = "5130.00N/00730.00E_";
    settings.AddressCalls = {"APRS", "DL1ABC", "WIDE1-1", "WIDE2-2", "", ""};
    // Both decimal separators, chosen by the input so that a crash repeats.
    settings.DecimalSeparator = size % 2 == 0 ? "." : ",";
    Frames frames;
    std::string errorLog;
    WeatherLogger logger(
        settings, [] { return LocalTime{2024, 6, 1, 14, 5, 9}; }, &frames,
        [](const std::string& path, BytesView bytes) {
            AppendToFileCreatingDirectories(path, bytes);
        },
        [&](const DecodeError& e) {
            const Bytes record = ErrorLogRecord(e);
            AppendToFile(errorLogPath, record);
            errorLog += record;
        },
        [](const std::string&) {});

    std::size_t before = errorLog.size();
    CheckCall(logger, logger.DecodeTelegramSet(input), input, errorLog, before);
    for (std::size_t at = 0; at + kTelegramSetLength <= size; at += kTelegramSetLength) {
        const Bytes set = Mended(input.substr(at, kTelegramSetLength));
        before = errorLog.size();
        const SetOutcome outcome = logger.DecodeTelegramSet(set);
        Check(outcome == SetOutcome::Valid, "a mended set was rejected");
        CheckCall(logger, outcome, set, errorLog, before);
    }

    // What this input wrote goes, so the folder stays small.
    Check(ReadFile(errorLogPath) == errorLog, "fehler.log does not hold the records");
    ::unlink(errorLogPath.c_str());
    ::unlink((wx + "WX2024.06.01 14.LOG").c_str());
    return 0;
}
