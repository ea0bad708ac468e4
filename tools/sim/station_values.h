// What a station console puts into one telegram set, field by field, and the encoder that lays
// those fields out as the 141 bytes the console sends: five groups with their lead bytes and
// checksums, every value packed into the nibbles the decoder reads it from.
#pragma once

#include <array>
#include <stdexcept>
#include <string>

#include "station/bytes.h"

namespace ombrix::sim {

// Lead bytes of Group1 to Group5.
constexpr std::array<unsigned char, 5> kLeadBytes{0x8F, 0x9F, 0xAF, 0xBF, 0xCF};

// When a stored extreme occurred (or the rain counter was reset), as the console keeps it.
struct Stamp {
    int Hour = 0;
    int Minute = 0;
    int Day = 1;
    int Month = 1;

    bool operator==(const Stamp&) const = default;
};

struct ClockValues {
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Day = 1;
    int Month = 1;
    bool Display24Hours = true;
    bool DisplayMonthFirst = false;
    int AlarmHour = 6;
    int AlarmMinute = 30;
    bool AlarmArmed = false;
};

// Whole percent, 0 to 99.
struct HumidityValues {
    int Current = 50;
    int Max = 50;
    Stamp MaxAt;
    int Min = 50;
    Stamp MinAt;
    int AlarmHigh = 97;
    int AlarmLow = 10;
    bool AlarmOn = false;
    bool MaxOutOfRange = false;
    bool OutOfRange = false;
};

// Tenths of a degree Celsius, -799 to 799; alarm limits in whole °F (indoor 0 to 199, outdoor
// -199 to 199).
struct TemperatureValues {
    int Current = 200;
    int Max = 200;
    Stamp MaxAt;
    int Min = 200;
    Stamp MinAt;
    int AlarmHighF = 122;
    int AlarmLowF = 32;
    bool AlarmOn = false;
};

struct BarometerValues {
    int LocalMb = 980;           // whole millibars, 0 to 9999
    int SeaLevelTenths = 10150;  // tenths of a millibar, 0 to 32767
    int UnitCode = 3;            // 0 inches, 1 mm, 2 mb, 3 hPa
    int ForecastCode = 1;        // 1 sunny, 2 cloudy, 4 changeable, 8 rain
    int TrendCode = 2;           // 1 rising, 2 steady, 4 falling
    int AlarmThresholdCode = 0;  // the console shows code + 1 mb
    bool AlarmOn = false;
};

// Whole degrees Celsius without a sign, 0 to 99.
struct DewPointValues {
    int Current = 10;
    int Max = 10;
    Stamp MaxAt;
    int Min = 10;
    Stamp MinAt;
    int AlarmThresholdCode = 0;  // the console shows code + 1
    bool MinOutOfRange = false;
    bool OutOfRange = false;
};

// Whole millimetres: the last hour up to 999, today and since the reset up to 9999.
struct RainValues {
    int LastHour = 0;
    int Today = 0;
    int SinceReset = 0;
    Stamp ResetAt;
    bool DisplayInches = false;
    int AlarmLimit = 393;
    bool AlarmOn = false;
    bool OutOfRange = false;
};

// Speeds in tenths of a metre per second (0 to 999), directions in whole degrees (0 to 359).
struct WindValues {
    int GustTenths = 0;
    int GustDirection = 0;
    int MeanTenths = 0;
    int MeanDirection = 0;
    int MaxTenths = 0;
    int MaxDirection = 0;
    Stamp MaxAt;
    int AlarmMph = 125;  // 0 to 199
    bool AlarmOn = false;
    int UnitCode = 3;  // 0 mph, 1 knots, 2 m/s, 3 km/h
    bool MaxOutOfRange = false;
    bool GustOutOfRange = false;
    bool MeanOutOfRange = false;
};

// Whole degrees Celsius with a sign, -99 to 99; the alarm limit in whole °F, -199 to 199.
struct WindChillValues {
    int Current = 0;
    int Min = 0;
    Stamp MinAt;
    int AlarmF = -4;
    bool AlarmOn = false;
};

struct ConsoleValues {
    bool OnBattery = false;
    bool BatteryLow = false;
    int DisplayCode = 5;       // 0 time ... 5 wind ... 7 rain
    int SubDisplayCode = 0;    // 0 to 3
    int DisplayValueCode = 0;  // 0 main value, 1 stored value, 2 indoor alarm, 3 outdoor alarm
};

struct StationValues {
    ClockValues Clock;
    HumidityValues IndoorHumidity;
    HumidityValues OutdoorHumidity;
    TemperatureValues IndoorTemperature;
    TemperatureValues OutdoorTemperature;
    bool DisplayFahrenheit = false;
    BarometerValues Barometer;
    DewPointValues IndoorDewPoint;
    DewPointValues OutdoorDewPoint;
    bool DewPointAlarmOn = false;  // one switch for both dew point alarms
    RainValues Rain;
    WindValues Wind;
    WindChillValues WindChill;
    ConsoleValues Console;
};

// A value that does not fit its field. The message names the field.
class FieldRangeError : public std::out_of_range {
  public:
    using std::out_of_range::out_of_range;
};

// The 141-byte telegram set for these values. Raises FieldRangeError for a value its field cannot
// hold (a fourth temperature digit, a month above 15, ...); values that fit but make no sense as
// a time or date are encoded as they are.
Bytes EncodeTelegramSet(const StationValues& values);

// One line about a set for the console output: outdoor temperature, mean wind and gusts with the
// mean direction, and the rain of the last hour, today and since the reset. The set must be 141
// bytes long; its checksums are not looked at.
std::string Summary(BytesView set);

}  // namespace ombrix::sim
