// Helpers of the radio-report tests: a logger as a freshly started program has it, with a clock
// the test sets, a frame sink and a file appender that only record, and telegram sets built from
// the built-in one with chosen readings.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "../core/test_support.h"
#include "report/weather_logger.h"

namespace ombrix::test {

inline LocalTime At(int hour, int minute, int second = 0) {
    return {2024, 6, 1, hour, minute, second};
}

struct RecordingSink : FrameSink {
    void WriteAgwFrame(const Bytes& wire) override { frames.push_back(wire); }
    std::vector<Bytes> frames;
};

// Readings to put into a set (written `MakeSet({.RainHour = 1})`); every field left out keeps the
// built-in set's value.
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

inline Bytes MakeSet(const SetReadings& r) {
    Bytes set = TestTelegramSet();
    // Decimal digits, least significant first, from nibble position p on; the last nibble takes
    // what is left (humidity 100 % is 0 and 10).
    auto digits = [&set](int p, int k, long value) {
        if (value < 0) return;
        for (int j = 0; j < k; ++j, value /= 10)
            SetNibble(set, p + j, int(j == k - 1 ? value : value % 10));
    };
    digits(41, 2, r.Humidity);
    if (r.Temperature != 99) {
        const long tenths = std::lround(std::fabs(r.Temperature) * 10);
        digits(103, 2, tenths % 100);
        SetNibble(set, 105, int(tenths / 100) | (r.Temperature < 0 ? 8 : 0));
    }
    digits(145, 5, std::lround(r.Pressure * 10));
    digits(203, 3, r.RainHour);
    digits(207, 4, r.RainToday);
    digits(231, 3, r.PeakSpeed);
    digits(234, 3, r.PeakDirection);
    digits(237, 3, r.MeanSpeed);
    digits(240, 3, r.MeanDirection);
    FixChecksums(set);
    return set;
}

// One logger with everything it does recorded; its frames go to `frames` when given.
struct LoggerHarness {
    explicit LoggerHarness(LoggerSettings settings = DefaultSettings(), FrameSink* frames = nullptr)
        : logger(
              std::move(settings), [this] { return now; }, frames != nullptr ? frames : &sink,
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
