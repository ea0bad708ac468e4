#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "station/primitives.h"
#include "station/telegram_set.h"
#include "tools/sim/station_values.h"

namespace ombrix::sim {

namespace {

// The set as 282 nibbles, addressed by the same 1-based positions the decoder reads: position
// 2i-1 is the low and 2i the high nibble of set byte i. Multi-digit fields are packed decimal,
// least significant digit first.
class Nibbles {
  public:
    void Digits(int p, int k, int value, const char* field) {
        int limit = 1;
        for (int j = 0; j < k; ++j) limit *= 10;
        if (value < 0 || value >= limit) Fail(field, value);
        for (int j = 0; j < k; ++j) {
            Put(p + j, value % 10);
            value /= 10;
        }
    }

    // A plain number in one nibble (months, codes).
    void Nibble(int p, int value, int max, const char* field) {
        if (value < 0 || value > max) Fail(field, value);
        Put(p, value);
    }

    void Flag(int p, int bit, bool on) {
        if (on) n_[static_cast<std::size_t>(p)] |= static_cast<unsigned char>(1u << bit);
    }

    void StampAt(int ph, int pm, int pd, int pmo, const Stamp& s, const char* field) {
        Digits(ph, 2, s.Hour, field);
        Digits(pm, 2, s.Minute, field);
        Digits(pd, 2, s.Day, field);
        Nibble(pmo, s.Month, 15, field);
    }

    // Tenths, ones, then tens in bits 0-2 with the sign in bit 3.
    void Temperature(int p, int tenths, const char* field) {
        const int magnitude = std::abs(tenths);
        if (magnitude > 799) Fail(field, tenths);
        Put(p, magnitude % 10);
        Put(p + 1, magnitude / 10 % 10);
        Put(p + 2, magnitude / 100);
        Flag(p + 2, 3, tenths < 0);
    }

    // Two digits and a hundreds bit in the next nibble; signed limits carry their sign in bit 3
    // of that nibble.
    void Limit(int p, int value, bool hasSign, const char* field) {
        const int magnitude = std::abs(value);
        if (magnitude > 199 || (value < 0 && !hasSign)) Fail(field, value);
        Digits(p, 2, magnitude % 100, field);
        Flag(p + 2, 0, magnitude >= 100);
        if (hasSign) Flag(p + 2, 3, value < 0);
    }

    Bytes ToSet() const {
        Bytes set(kTelegramSetLength, '\0');
        for (std::size_t i = 1; i <= kTelegramSetLength; ++i)
            set[i - 1] = static_cast<char>(n_[2 * i - 1] | (n_[2 * i] << 4));
        for (std::size_t g = 0; g < kGroups.size(); ++g) {
            const GroupBounds& bounds = kGroups[g];
            const std::size_t first = bounds.First - 1;
            const std::size_t last = first + bounds.Length - 1;
            set[first] = static_cast<char>(kLeadBytes[g]);
            unsigned sum = 0;
            for (std::size_t i = first; i < last; ++i) sum += Code(set[i]);
            set[last] = static_cast<char>(sum & 255u);
        }
        return set;
    }

    static void Require(bool fits, const char* field, int value) {
        if (!fits) Fail(field, value);
    }

  private:
    void Put(int p, int value) {
        n_[static_cast<std::size_t>(p)] = static_cast<unsigned char>(value);
    }

    [[noreturn]] static void Fail(const char* field, int value) {
        throw FieldRangeError(std::string(field) + ": " + std::to_string(value) +
                              " does not fit the field");
    }

    std::array<unsigned char, kNibbleStringLength + 1> n_{};
};

void EncodeClock(Nibbles& n, const ClockValues& c) {
    n.Digits(3, 2, c.Second, "clock seconds");
    n.Digits(5, 2, c.Minute, "clock minutes");
    n.Digits(7, 2, c.Hour, "clock hours");
    n.Digits(9, 2, c.Day, "clock day");
    n.Nibble(11, c.Month, 15, "clock month");
    n.Flag(12, 0, c.Display24Hours);
    n.Flag(12, 1, c.DisplayMonthFirst);
    n.Digits(13, 2, c.AlarmMinute, "clock alarm minutes");
    n.Digits(15, 2, c.AlarmHour, "clock alarm hours");
    n.Flag(67, 3, c.AlarmArmed);
}

// Humidity and dew point blocks open alike: two-digit current value, maximum with its stamp,
// minimum with its stamp.
template <class Values>
void EncodeTwoDigitExtremes(Nibbles& n, int p, const Values& v, const char* field) {
    n.Digits(p, 2, v.Current, field);
    n.Digits(p + 2, 2, v.Max, field);
    n.StampAt(p + 6, p + 4, p + 8, p + 10, v.MaxAt, field);
    n.Digits(p + 11, 2, v.Min, field);
    n.StampAt(p + 15, p + 13, p + 17, p + 19, v.MinAt, field);
}

// Both humidity blocks have the same shape; indoor starts at 17, outdoor at 41.
void EncodeHumidity(Nibbles& n, int p, const HumidityValues& h, const char* field) {
    EncodeTwoDigitExtremes(n, p, h, field);
    n.Digits(p + 20, 2, h.AlarmHigh, field);
    n.Digits(p + 22, 2, h.AlarmLow, field);
}

void EncodeHumidities(Nibbles& n, const StationValues& v) {
    const HumidityValues& in = v.IndoorHumidity;
    const HumidityValues& out = v.OutdoorHumidity;
    EncodeHumidity(n, 17, in, "indoor humidity");
    EncodeHumidity(n, 41, out, "outdoor humidity");
    n.Flag(66, 2, in.MaxOutOfRange);
    n.Flag(66, 3, in.OutOfRange);
    n.Flag(65, 3, out.MaxOutOfRange);
    n.Flag(66, 0, out.OutOfRange);
    n.Flag(68, 2, in.AlarmOn);
    n.Flag(68, 3, in.AlarmOn);
    n.Flag(68, 0, out.AlarmOn);
    n.Flag(68, 1, out.AlarmOn);
}

// Indoor block at 73, outdoor at 103.
void EncodeTemperature(Nibbles& n, int p, const TemperatureValues& t, bool signedLimits,
                       const char* field) {
    n.Temperature(p, t.Current, field);
    n.Temperature(p + 3, t.Max, field);
    n.StampAt(p + 8, p + 6, p + 10, p + 12, t.MaxAt, field);
    n.Temperature(p + 13, t.Min, field);
    n.StampAt(p + 18, p + 16, p + 20, p + 22, t.MinAt, field);
    n.Limit(p + 23, t.AlarmHighF, signedLimits, field);
    n.Limit(p + 26, t.AlarmLowF, signedLimits, field);
}

void EncodeTemperatures(Nibbles& n, const StationValues& v) {
    EncodeTemperature(n, 73, v.IndoorTemperature, false, "indoor temperature");
    n.Flag(102, 2, v.DisplayFahrenheit);
    EncodeTemperature(n, 103, v.OutdoorTemperature, true, "outdoor temperature");
    n.Flag(136, 2, v.IndoorTemperature.AlarmOn);
    n.Flag(136, 3, v.IndoorTemperature.AlarmOn);
    n.Flag(136, 0, v.OutdoorTemperature.AlarmOn);
    n.Flag(136, 1, v.OutdoorTemperature.AlarmOn);
}

void EncodeBarometer(Nibbles& n, const BarometerValues& b) {
    n.Digits(141, 4, b.LocalMb, "local pressure");
    // Five digits, but the decoder folds them in 16 bits.
    Nibbles::Require(b.SeaLevelTenths <= 32767, "sea-level pressure", b.SeaLevelTenths);
    n.Digits(145, 5, b.SeaLevelTenths, "sea-level pressure");
    n.Nibble(150, b.UnitCode, 15, "pressure unit code");
    n.Nibble(151, b.ForecastCode, 15, "forecast code");
    n.Nibble(152, b.TrendCode, 15, "trend code");
    n.Nibble(197, b.AlarmThresholdCode, 15, "pressure alarm threshold code");
    n.Flag(198, 3, b.AlarmOn);
}

// Indoor block at 153, outdoor at 175; the alarm threshold codes sit side by side at 173 and 174.
void EncodeDewPoints(Nibbles& n, const StationValues& v) {
    const DewPointValues& in = v.IndoorDewPoint;
    const DewPointValues& out = v.OutdoorDewPoint;
    EncodeTwoDigitExtremes(n, 153, in, "indoor dew point");
    EncodeTwoDigitExtremes(n, 175, out, "outdoor dew point");
    n.Nibble(173, in.AlarmThresholdCode, 15, "indoor dew point alarm threshold code");
    n.Nibble(174, out.AlarmThresholdCode, 15, "outdoor dew point alarm threshold code");
    n.Flag(195, 3, in.MinOutOfRange);
    n.Flag(195, 1, in.OutOfRange);
    n.Flag(195, 0, out.MinOutOfRange);
    n.Flag(195, 2, out.OutOfRange);
    n.Flag(198, 1, v.DewPointAlarmOn);
    n.Flag(198, 2, v.DewPointAlarmOn);
}

void EncodeRain(Nibbles& n, const RainValues& r) {
    n.Digits(203, 3, r.LastHour, "rain in the last hour");
    n.Digits(207, 4, r.Today, "rain today");
    n.Digits(211, 4, r.SinceReset, "rain since the reset");
    n.StampAt(217, 215, 219, 221, r.ResetAt, "rain reset");
    n.Flag(222, 1, r.DisplayInches);
    n.Digits(223, 3, r.AlarmLimit, "rain alarm limit");
    n.Flag(226, 0, r.AlarmOn);
    n.Flag(226, 3, r.OutOfRange);
}

void EncodeWind(Nibbles& n, const WindValues& w, const WindChillValues& c) {
    n.Digits(231, 3, w.GustTenths, "gust speed");
    n.Digits(234, 3, w.GustDirection, "gust direction");
    n.Digits(237, 3, w.MeanTenths, "mean wind speed");
    n.Digits(240, 3, w.MeanDirection, "mean wind direction");
    n.Digits(243, 3, w.MaxTenths, "highest wind speed");
    n.Digits(246, 3, w.MaxDirection, "direction of the highest wind speed");
    n.StampAt(251, 249, 253, 255, w.MaxAt, "highest wind speed");
    n.Limit(256, w.AlarmMph, false, "wind alarm limit");
    Nibbles::Require(w.UnitCode >= 0 && w.UnitCode <= 3, "wind speed unit code", w.UnitCode);
    n.Flag(260, 2, (w.UnitCode & 1) != 0);
    n.Flag(260, 3, (w.UnitCode & 2) != 0);
    n.Flag(279, 2, w.AlarmOn);
    n.Flag(280, 1, w.MaxOutOfRange);
    n.Flag(280, 3, w.GustOutOfRange);
    n.Flag(280, 2, w.MeanOutOfRange);

    n.Digits(261, 2, std::abs(c.Current), "wind chill");
    n.Digits(263, 2, std::abs(c.Min), "lowest wind chill");
    n.StampAt(267, 265, 269, 271, c.MinAt, "lowest wind chill");
    n.Flag(272, 0, c.Min < 0);
    n.Flag(272, 1, c.Current < 0);
    // The chill alarm's sign sits in nibble 275, its hundreds bit in 276.
    const int alarm = std::abs(c.AlarmF);
    Nibbles::Require(alarm <= 199, "wind chill alarm limit", c.AlarmF);
    n.Digits(273, 2, alarm % 100, "wind chill alarm limit");
    n.Flag(275, 3, c.AlarmF < 0);
    n.Flag(276, 0, alarm >= 100);
    n.Flag(279, 1, c.AlarmOn);
}

void EncodeConsole(Nibbles& n, const ConsoleValues& c) {
    n.Flag(276, 2, c.OnBattery);
    n.Flag(276, 3, c.BatteryLow);
    Nibbles::Require(c.SubDisplayCode >= 0 && c.SubDisplayCode <= 3, "sub-display code",
                     c.SubDisplayCode);
    Nibbles::Require(c.DisplayValueCode >= 0 && c.DisplayValueCode <= 3, "display value code",
                     c.DisplayValueCode);
    n.Flag(277, 0, (c.SubDisplayCode & 1) != 0);
    n.Flag(277, 1, (c.SubDisplayCode & 2) != 0);
    n.Flag(277, 2, (c.DisplayValueCode & 1) != 0);
    n.Flag(277, 3, (c.DisplayValueCode & 2) != 0);
    n.Nibble(278, c.DisplayCode, 7, "display code");
}

std::string OneDecimal(double x) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", x);
    return buffer;
}

}  // namespace

Bytes EncodeTelegramSet(const StationValues& values) {
    Nibbles n;
    EncodeClock(n, values.Clock);
    EncodeHumidities(n, values);
    EncodeTemperatures(n, values);
    EncodeBarometer(n, values.Barometer);
    EncodeDewPoints(n, values);
    EncodeRain(n, values.Rain);
    EncodeWind(n, values.Wind, values.WindChill);
    EncodeConsole(n, values.Console);
    return n.ToSet();
}

std::string Summary(BytesView set) {
    const Bytes n = BuildNibbleString(set);
    auto digits = [&](int p, int k) { return ReadDigits(n, p, k); };
    const int sign = 1 - 2 * ReadFlag(n, 105, 3);
    const double temperature =
        sign * (digits(103, 1) / 10.0 + digits(104, 1) + 10 * (digits(105, 1) & 7));
    const double kmh = 3.6 / 10;
    return OneDecimal(temperature) + "°C, wind " + OneDecimal(digits(237, 3) * kmh) +
           "km/h gusts " + OneDecimal(digits(231, 3) * kmh) + "km/h from " +
           std::to_string(digits(240, 3)) + "°, rain " + std::to_string(digits(203, 3)) + "/" +
           std::to_string(digits(207, 4)) + "/" + std::to_string(digits(211, 4)) + "mm";
}

}  // namespace ombrix::sim
