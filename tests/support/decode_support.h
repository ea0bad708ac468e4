// The decoder and the logger as a freshly started program has them, with everything they do
// recorded; variants of the built-in set with chosen nibbles or readings and valid checksums; and
// raw-log lines as the logger writes them.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "decode/decoder.h"
#include "logs/error_log.h"
#include "logs/raw_log.h"
#include "pipeline/weather_logger.h"
#include "station/fields.h"
#include "station/telegram_set.h"

namespace ombrix::test {

inline LocalTime At(int hour, int minute, int second = 0) {
    return {2024, 6, 1, hour, minute, second};
}

// Cells are written with "_" for the decimal separator; this puts the real one in.
inline std::string WithSeparator(std::string text, const std::string& separator) {
    for (std::size_t at; (at = text.find('_')) != std::string::npos;)
        text.replace(at, 1, separator);
    return text;
}

// The lines of a text, each ended by `end`, the last one too.
inline std::vector<std::string> Lines(const std::string& text, const std::string& end) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(end, start)) != std::string::npos; start = at + end.size())
        lines.push_back(text.substr(start, at - start));
    EXPECT_EQ(start, text.size()) << "the last line has no end: " << text.substr(start);
    return lines;
}

// One decoder as a freshly started program has it, with its error records and the readings of
// the last valid set; its clock says 12 May 2026, 14:05:09.
struct DecodeHarness {
    explicit DecodeHarness(std::string separator = ".")
        : decoder(
              std::move(separator), [] { return LocalTime{2026, 5, 12, 14, 5, 9}; },
              [this](const DecodeError& e) { records.push_back(ErrorLogRecord(e)); }) {
        decoder.AddStage(
            [this](DecodeCall& call) { readings = call.Slots, reading = call.Reading; });
    }
    DecodeHarness(const DecodeHarness&) = delete;
    SetOutcome Decode(BytesView set) { return decoder.DecodeTelegramSet(set); }
    const MeasurementTable& Table() const { return decoder.Table(); }
    const std::string& Cell(int row, int column) const {
        return decoder.Table().Row(row)[static_cast<std::size_t>(column)];
    }

    Decoder decoder;
    std::vector<Bytes> records;
    Readings readings;
    StationReading reading;
};

// What a fresh decoder makes of one set.
struct Decoded {
    SetOutcome Outcome;
    MeasurementTable Table;
    std::vector<Bytes> Errors;
};

inline Decoded Decode(BytesView set) {
    DecodeHarness h;
    const SetOutcome outcome = h.Decode(set);
    return {outcome, h.Table(), h.records};
}

// Sets the bits `mask` of nibble `position` (1-based, the low nibble of each byte first) to those
// of `value`.
inline void SetNibble(Bytes& set, int position, int value, unsigned mask = 15u) {
    char& byte = set.at(static_cast<std::size_t>((position - 1) / 2));
    const unsigned shift = position % 2 == 1 ? 0 : 4;
    const unsigned bits = (static_cast<unsigned>(value) & mask) << shift;
    byte = static_cast<char>((Code(byte) & ~(mask << shift)) | bits);
}

// Rewrites the last byte of every group so that all five checksums pass again.
inline void FixChecksums(Bytes& set) {
    for (const GroupBounds& g : kGroups) {
        unsigned sum = 0;
        for (std::size_t i = g.First - 1; i < g.First + g.Length - 2; ++i) sum += Code(set[i]);
        set[g.First + g.Length - 2] = static_cast<char>(sum & 255u);
    }
}

// One change to the built-in set: hex digits from a nibble or a field's first nibble on, as they
// lie on the wire (`{kRainHour, "21"}` is 12 mm), a reading (`{kRainHour, 12}`, a temperature in
// °C), a flag set or cleared, or a two-bit code whose bits share a nibble.
struct Edit {
    // Hex digits from a raw nibble position on (1-based, the low nibble of each byte first).
    Edit(int position, const char* hex) : Position(position), Hex(hex) {}
    Edit(field::Digits f, const char* hex) : Position(f.Position), Hex(hex) {}
    // Decimal digits, least significant first; the last nibble takes what is left (humidity
    // 100 % is 0 and 10).
    Edit(field::Digits f, int value) : Position(f.Position) {
        for (int j = 0; j < f.Length; ++j, value /= 10)
            Hex += "0123456789ABCDEF"[j == f.Length - 1 ? value : value % 10];
    }
    // Tenths, ones and tens, the sign a bit of the tens.
    Edit(const field::Temperature& t, double celsius)
        : Edit(field::Digits{t.Tenths.Position, 3}, int(std::lround(std::fabs(celsius) * 10))) {
        if (celsius < 0) Hex[2] = "0123456789ABCDEF"[(Hex[2] - '0') | 1 << t.Negative.Bit];
    }
    Edit(field::Flag f, const char* hex) : Position(f.Nibble), Hex(hex) {}
    Edit(field::Flag f, bool on = true)
        : Position(f.Nibble), Mask(1u << f.Bit), Bits(on ? Mask : 0) {}
    Edit(field::TwoBits f, int code)
        : Position(f.Low.Nibble),
          Mask((1u << f.Low.Bit) | (1u << f.High.Bit)),
          Bits(unsigned(code & 1) << f.Low.Bit | unsigned(code >> 1 & 1) << f.High.Bit) {}

    void ApplyTo(Bytes& set) const {
        int p = Position;
        for (char h : Hex) SetNibble(set, p++, std::stoi(std::string(1, h), nullptr, 16));
        if (Mask != 0) SetNibble(set, Position, static_cast<int>(Bits), Mask);
    }

    int Position;
    std::string Hex;
    unsigned Mask = 0;  // the bits a flag or code edit changes
    unsigned Bits = 0;
};

inline Bytes TestSetWith(const std::vector<Edit>& edits) {
    Bytes set = TestTelegramSet();
    for (const Edit& e : edits) e.ApplyTo(set);
    FixChecksums(set);
    return set;
}

// The set's line as the program's raw-log writer puts it into the file.
inline Bytes LoggedLine(BytesView set, BytesView report = "") {
    return RawLogLine(RawLogText(BuildNibbleString(set), 1.0F, 2.0F, report), At(14, 0));
}

struct RecordingSink : FrameSink {
    void WriteAgwFrame(const Bytes& wire) override { frames.push_back(wire); }
    std::vector<Bytes> frames;
};

// The settings of the logger tests' station; its raw logs go to `pfadWX`.
inline LoggerSettings LoggerDefaults(const std::string& pfadWX = "/wx/") {
    LoggerSettings s;
    s.PfadWX = pfadWX;
    s.Lage = "4903.50N/07201.75W_";
    s.AddressCalls = {"CQ", "DL1ABC", "Wide3-3", "", "", ""};
    return s;
}

// One logger with everything it does recorded; its frames go to `frames` when given, its raw-log
// lines through `rawLog` first when given (a line it refuses is not recorded).
struct LoggerHarness {
    explicit LoggerHarness(LoggerSettings settings = LoggerDefaults(), FrameSink* frames = nullptr,
                           FileAppender rawLog = nullptr)
        : logger(
              std::move(settings), [this] { return now; }, frames != nullptr ? frames : &sink,
              [this, rawLog](const std::string& path, BytesView bytes) {
                  if (rawLog) rawLog(path, bytes);
                  appended.emplace_back(path, Bytes(bytes));
              },
              [this](const DecodeError& e) { records.push_back(ErrorLogRecord(e)); },
              [this](const std::string& line) { warnings.push_back(line); }) {}

    SetOutcome Decode(BytesView set) { return logger.DecodeTelegramSet(set); }
    const std::string& ZaehlerCell(int column) const {
        const MeasurementTable& t = logger.Table();
        return t.Row(t.RowCount())[static_cast<std::size_t>(column)];
    }

    LocalTime now = At(14, 5, 9);
    RecordingSink sink;
    std::vector<std::pair<std::string, Bytes>> appended;
    std::vector<Bytes> records;
    std::vector<std::string> warnings;
    WeatherLogger logger;
};

}  // namespace ombrix::test
