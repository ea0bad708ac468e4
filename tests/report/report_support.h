// Helpers of the radio-report tests: a logger as a freshly started program has it, with a clock
// the test sets, a frame sink and a file appender that only record, and telegram sets built from
// the built-in one with chosen readings.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "report/weather_logger.h"
#include "station/telegram_set.h"

namespace ombrix::test {

inline LocalTime At(int hour, int minute, int second = 0) {
    return {2024, 6, 1, hour, minute, second};
}

struct RecordingSink : FrameSink {
    void WriteAgwFrame(const Bytes& wire) override { frames.push_back(wire); }
    std::vector<Bytes> frames;
};

// "86 a2 40" and the like: bytes written as hex pairs, blanks between them ignored.
inline Bytes Hex(std::string_view hex) {
    std::string digits;
    for (char c : hex)
        if (c != ' ') digits.push_back(c);
    Bytes out;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

// Readings to put into a set; every unset field keeps the built-in set's value.
struct SetReadings {
    int Humidity = -1;        // %, 0..159
    double Temperature = 99;  // °C, one decimal, -79.9..79.9; 99 keeps the built-in value
    double Pressure = -1;     // mb, one decimal
    int RainHour = -1;        // mm
    int RainToday = -1;       // mm
    int PeakSpeed = -1;       // tenths of m/s
    int PeakDirection = -1;   // degrees
    int MeanSpeed = -1;       // tenths of m/s
    int MeanDirection = -1;   // degrees
};

inline void SetNibble(Bytes& set, int position, int value) {
    const auto index = static_cast<std::size_t>((position + 1) / 2 - 1);
    unsigned byte = Code(set.at(index));
    byte = position % 2 == 1 ? (byte & 0xF0u) | (static_cast<unsigned>(value) & 15u)
                             : (byte & 0x0Fu) | ((static_cast<unsigned>(value) & 15u) << 4);
    set[index] = static_cast<char>(byte);
}

// Decimal digits, least significant first, from nibble position p on.
inline void SetDigits(Bytes& set, int p, int k, int value) {
    for (int j = 0; j < k; ++j, value /= 10) SetNibble(set, p + j, value % 10);
}

inline Bytes MakeSet(const SetReadings& r) {
    Bytes set = TestTelegramSet();
    if (r.Humidity >= 0) {
        SetNibble(set, 41, r.Humidity % 10);
        SetNibble(set, 42, r.Humidity / 10);
    }
    if (r.Temperature != 99) {
        const int tenths = static_cast<int>(std::lround(std::fabs(r.Temperature) * 10));
        SetNibble(set, 103, tenths % 10);
        SetNibble(set, 104, tenths / 10 % 10);
        SetNibble(set, 105, (tenths / 100) | (r.Temperature < 0 ? 8 : 0));
    }
    if (r.Pressure >= 0) SetDigits(set, 145, 5, static_cast<int>(std::lround(r.Pressure * 10)));
    if (r.RainHour >= 0) SetDigits(set, 203, 3, r.RainHour);
    if (r.RainToday >= 0) SetDigits(set, 207, 4, r.RainToday);
    if (r.PeakSpeed >= 0) SetDigits(set, 231, 3, r.PeakSpeed);
    if (r.PeakDirection >= 0) SetDigits(set, 234, 3, r.PeakDirection);
    if (r.MeanSpeed >= 0) SetDigits(set, 237, 3, r.MeanSpeed);
    if (r.MeanDirection >= 0) SetDigits(set, 240, 3, r.MeanDirection);
    for (const GroupBounds& g : kGroups) {
        unsigned sum = 0;
        for (std::size_t i = g.First - 1; i < g.First + g.Length - 2; ++i) sum += Code(set[i]);
        set[g.First + g.Length - 2] = static_cast<char>(sum & 255u);
    }
    return set;
}

// One logger with everything it does recorded.
struct LoggerHarness {
    explicit LoggerHarness(LoggerSettings settings = DefaultSettings())
        : logger(
              std::move(settings), [this] { return now; }, &sink,
              [this](const std::string& path, BytesView bytes) {
                  appended.emplace_back(path, Bytes(bytes));
              },
              [this](const Bytes& record) { records.push_back(record); },
              [this](const std::string& line) { warnings.push_back(line); }) {}

    static LoggerSettings DefaultSettings() {
        LoggerSettings s;
        s.PfadWX = "/wx/";
        s.Lage = "4903.50N/07201.75W_";
        s.AddressCalls = {"CQ", "DL1ABC", "Wide3-3", "", "", ""};
        return s;
    }

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
