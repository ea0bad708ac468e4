#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "station/fields.h"
#include "station/telegram_set.h"
#include "tools/sim/station_values.h"

namespace ombrix::sim {

namespace {

// The set as 282 nibbles, written field by field at the positions of station/fields.h. Multi-digit
// fields are packed decimal, least significant digit first.
class Nibbles {
  public:
    void Put(field::Digits f, int value, const char* name) {
        int limit = 1;
        for (int j = 0; j < f.Length; ++j) limit *= 10;
        if (value < 0 || value >= limit) Fail(name, value);
        for (int j = 0; j < f.Length; ++j) {
            Set(f.Position + j, value % 10);
            value /= 10;
        }
    }

    // A plain number in one nibble (months, codes).
    void PutCode(field::Digits f, int value, int max, const char* name) {
        if (f.Length != 1 || value < 0 || value > max) Fail(name, value);
        Set(f.Position, value);
    }

    void Put(field::Flag f, bool on) {
        if (on) n_[static_cast<std::size_t>(f.Nibble)] |= static_cast<unsigned char>(1u << f.Bit);
    }

    void Put(field::TwoBits f, int code, const char* name) {
        Require(code >= 0 && code <= 3, name, code);
        Put(f.Low, (code & 1) != 0);
        Put(f.High, (code & 2) != 0);
    }

    void Put(const field::Stamp& f, const Stamp& s, const char* name) {
        Put(f.Hour, s.Hour, name);
        Put(f.Minute, s.Minute, name);
        Put(f.Day, s.Day, name);
        PutCode(f.Month, s.Month, 15, name);
    }

    void Put(const field::Temperature& f, int tenths, const char* name) {
        const int magnitude = std::abs(tenths);
        if (magnitude > 799) Fail(name, tenths);
        Set(f.Tenths.Position, magnitude % 10);
        Set(f.Ones.Position, magnitude / 10 % 10);
        Set(f.Tens.Position, magnitude / 100);
        Put(f.Negative, tenths < 0);
    }

    void Put(const field::Limit& f, int value, const char* name) {
        if (value < 0 || value > 199) Fail(name, value);
        Put(f.TensAndOnes, value % 100, name);
        Put(f.Hundreds, value >= 100);
    }

    void Put(const field::Signed<field::Digits>& f, int value, const char* name) {
        Put(f.Value, std::abs(value), name);
        Put(f.Negative, value < 0);
    }

    void Put(const field::Signed<field::Limit>& f, int value, const char* name) {
        Require(std::abs(value) <= 199, name, value);
        Put(f.Value, std::abs(value), name);
        Put(f.Negative, value < 0);
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

    static void Require(bool fits, const char* name, int value) {
        if (!fits) Fail(name, value);
    }

  private:
    void Set(int p, int value) {
        n_[static_cast<std::size_t>(p)] = static_cast<unsigned char>(value);
    }

    [[noreturn]] static void Fail(const char* name, int value) {
        throw FieldRangeError(std::string(name) + ": " + std::to_string(value) +
                              " does not fit the field");
    }

    std::array<unsigned char, kNibbleStringLength + 1> n_{};
};

void EncodeClock(Nibbles& n, const ClockValues& c) {
    n.Put(kClockSecond, c.Second, "clock seconds");
    n.Put(kClockMinute, c.Minute, "clock minutes");
    n.Put(kClockHour, c.Hour, "clock hours");
    n.Put(kClockDay, c.Day, "clock day");
    n.PutCode(kClockMonth, c.Month, 15, "clock month");
    n.Put(kClock24Hours, c.Display24Hours);
    n.Put(kClockMonthFirst, c.DisplayMonthFirst);
    n.Put(kClockAlarmMinute, c.AlarmMinute, "clock alarm minutes");
    n.Put(kClockAlarmHour, c.AlarmHour, "clock alarm hours");
    n.Put(kClockAlarmOn, c.AlarmArmed);
}

// Humidity, temperature and dew point blocks open alike: current value, maximum with its stamp,
// minimum with its stamp.
template <class Block, class Values>
void EncodeExtremes(Nibbles& n, const Block& b, const Values& v, const char* name) {
    n.Put(b.Current, v.Current, name);
    n.Put(b.Max, v.Max, name);
    n.Put(b.MaxAt, v.MaxAt, name);
    n.Put(b.Min, v.Min, name);
    n.Put(b.MinAt, v.MinAt, name);
}

void EncodeHumidity(Nibbles& n, const field::HumidityBlock& b, const HumidityValues& h,
                    const char* name) {
    EncodeExtremes(n, b, h, name);
    n.Put(b.AlarmHigh, h.AlarmHigh, name);
    n.Put(b.AlarmLow, h.AlarmLow, name);
}

void EncodeHumidities(Nibbles& n, const StationValues& v) {
    const HumidityValues& in = v.IndoorHumidity;
    const HumidityValues& out = v.OutdoorHumidity;
    EncodeHumidity(n, kIndoorHumidity, in, "indoor humidity");
    EncodeHumidity(n, kOutdoorHumidity, out, "outdoor humidity");
    n.Put(kIndoorHumidityMaxOutOfRange, in.MaxOutOfRange);
    n.Put(kIndoorHumidityOutOfRange, in.OutOfRange);
    n.Put(kOutdoorHumidityMaxOutOfRange, out.MaxOutOfRange);
    n.Put(kOutdoorHumidityOutOfRange, out.OutOfRange);
    n.Put(kIndoorHumidityAlarm, in.AlarmOn ? 3 : 0, "indoor humidity alarm");
    n.Put(kOutdoorHumidityAlarm, out.AlarmOn ? 3 : 0, "outdoor humidity alarm");
}

void EncodeTemperatures(Nibbles& n, const StationValues& v) {
    const TemperatureValues& in = v.IndoorTemperature;
    const TemperatureValues& out = v.OutdoorTemperature;
    EncodeExtremes(n, kIndoorTemperature, in, "indoor temperature");
    n.Put(kIndoorTemperature.AlarmHigh.Value, in.AlarmHighF, "indoor temperature");
    n.Put(kIndoorTemperature.AlarmLow.Value, in.AlarmLowF, "indoor temperature");
    n.Put(kDisplayFahrenheit, v.DisplayFahrenheit);
    EncodeExtremes(n, kOutdoorTemperature, out, "outdoor temperature");
    n.Put(kOutdoorTemperature.AlarmHigh, out.AlarmHighF, "outdoor temperature");
    n.Put(kOutdoorTemperature.AlarmLow, out.AlarmLowF, "outdoor temperature");
    n.Put(kIndoorTemperatureAlarm, in.AlarmOn ? 3 : 0, "indoor temperature alarm");
    n.Put(kOutdoorTemperatureAlarm, out.AlarmOn ? 3 : 0, "outdoor temperature alarm");
}

void EncodeBarometer(Nibbles& n, const BarometerValues& b) {
    n.Put(kLocalPressure, b.LocalMb, "local pressure");
    // Five digits, but the decoder folds them in 16 bits.
    Nibbles::Require(b.SeaLevelTenths <= 32767, "sea-level pressure", b.SeaLevelTenths);
    n.Put(kSeaLevelPressure, b.SeaLevelTenths, "sea-level pressure");
    n.PutCode(kPressureUnit, b.UnitCode, 15, "pressure unit code");
    n.PutCode(kForecast, b.ForecastCode, 15, "forecast code");
    n.PutCode(kPressureTrend, b.TrendCode, 15, "trend code");
    n.PutCode(kPressureThreshold, b.AlarmThresholdCode, 15, "pressure alarm threshold code");
    n.Put(kPressureAlarmOn, b.AlarmOn);
}

void EncodeDewPoints(Nibbles& n, const StationValues& v) {
    const DewPointValues& in = v.IndoorDewPoint;
    const DewPointValues& out = v.OutdoorDewPoint;
    EncodeExtremes(n, kIndoorDewPoint, in, "indoor dew point");
    EncodeExtremes(n, kOutdoorDewPoint, out, "outdoor dew point");
    n.PutCode(kIndoorDewPointThreshold, in.AlarmThresholdCode, 15,
              "indoor dew point alarm threshold code");
    n.PutCode(kOutdoorDewPointThreshold, out.AlarmThresholdCode, 15,
              "outdoor dew point alarm threshold code");
    n.Put(kIndoorDewPointMinOutOfRange, in.MinOutOfRange);
    n.Put(kIndoorDewPointOutOfRange, in.OutOfRange);
    n.Put(kOutdoorDewPointMinOutOfRange, out.MinOutOfRange);
    n.Put(kOutdoorDewPointOutOfRange, out.OutOfRange);
    n.Put(kDewPointAlarm, v.DewPointAlarmOn ? 3 : 0, "dew point alarm");
}

void EncodeRain(Nibbles& n, const RainValues& r) {
    n.Put(kRainHour, r.LastHour, "rain in the last hour");
    n.Put(kRainToday, r.Today, "rain today");
    n.Put(kRainSinceReset, r.SinceReset, "rain since the reset");
    n.Put(kRainResetAt, r.ResetAt, "rain reset");
    n.Put(kRainInches, r.DisplayInches);
    n.Put(kRainAlarmLimit, r.AlarmLimit, "rain alarm limit");
    n.Put(kRainAlarmOn, r.AlarmOn);
    n.Put(kRainHourOutOfRange, r.OutOfRange);
}

void EncodeWind(Nibbles& n, const WindValues& w, const WindChillValues& c) {
    n.Put(kGustSpeed, w.GustTenths, "gust speed");
    n.Put(kGustDirection, w.GustDirection, "gust direction");
    n.Put(kMeanSpeed, w.MeanTenths, "mean wind speed");
    n.Put(kMeanDirection, w.MeanDirection, "mean wind direction");
    n.Put(kMaxSpeed, w.MaxTenths, "highest wind speed");
    n.Put(kMaxSpeedDirection, w.MaxDirection, "direction of the highest wind speed");
    n.Put(kMaxSpeedAt, w.MaxAt, "highest wind speed");
    n.Put(kWindAlarm, w.AlarmMph, "wind alarm limit");
    n.Put(kSpeedUnit, w.UnitCode, "wind speed unit code");
    n.Put(kWindAlarmOn, w.AlarmOn);
    n.Put(kMaxSpeedOutOfRange, w.MaxOutOfRange);
    n.Put(kGustSpeedOutOfRange, w.GustOutOfRange);
    n.Put(kMeanSpeedOutOfRange, w.MeanOutOfRange);

    n.Put(kWindChill, c.Current, "wind chill");
    n.Put(kWindChillMin, c.Min, "lowest wind chill");
    n.Put(kWindChillMinAt, c.MinAt, "lowest wind chill");
    n.Put(kWindChillAlarm, c.AlarmF, "wind chill alarm limit");
    n.Put(kWindChillAlarmOn, c.AlarmOn);
}

void EncodeConsole(Nibbles& n, const ConsoleValues& c) {
    n.Put(kOnBattery, c.OnBattery);
    n.Put(kBatteryLow, c.BatteryLow);
    n.Put(kSubDisplay, c.SubDisplayCode, "sub-display code");
    n.Put(kDisplayValue, c.DisplayValueCode, "display value code");
    n.PutCode(kDisplay, c.DisplayCode, 7, "display code");
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
    auto number = [&](field::Digits f) { return std::to_string(ReadField(n, f)); };
    auto kmh = [&](field::Digits f) { return OneDecimal(ReadField(n, f) * (3.6 / 10)); };
    return OneDecimal(ReadField(n, kOutdoorTemperature.Current)) + "°C, wind " + kmh(kMeanSpeed) +
           "km/h gusts " + kmh(kGustSpeed) + "km/h from " + number(kMeanDirection) + "°, rain " +
           number(kRainHour) + "/" + number(kRainToday) + "/" + number(kRainSinceReset) + "mm";
}

}  // namespace ombrix::sim
