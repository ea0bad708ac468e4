// Where every field of the telegram set lies in the nibble string, and how each kind of field is
// read. Positions are 1-based: nibble 2i-1 is the low and 2i the high nibble of set byte i, so a
// group's lead byte and its checksum take two nibbles each. Numbers are packed decimal, least
// significant digit first; nibbles above 9 are not refused, they weigh like digits. Nibbles the
// sketches leave out are not read.
//
// The decoders read only these names, the simulator's encoder writes them and the tests' set
// builders edit them, so none of them can tell a wrong number here; the golden table of the
// built-in set checks the numbers themselves.
#pragma once

#include <cstdint>
#include <string>

#include "station/bytes.h"
#include "station/primitives.h"

namespace ombrix {

namespace field {

// A number of Length nibbles from Position on; a one-nibble code (a month, a unit) has Length 1.
struct Digits {
    int Position;
    int Length;
};

// One bit of a nibble, bit 0 the least significant.
struct Flag {
    int Nibble;
    int Bit;
};

// Two flags read as a code 0..3, Low the ones. An alarm with two bits is armed only when both are.
struct TwoBits {
    Flag Low;
    Flag High;
};

// When a stored extreme occurred: seven nibbles, minute, hour and day two digits each, then the
// month in one nibble.
struct Stamp {
    Digits Hour, Minute, Day;
    Digits Month;
};

// Three nibbles: tenths of °C, ones, then the tens in bits 0-2 and the sign in bit 3.
struct Temperature {
    Digits Tenths, Ones, Tens;
    Flag Negative;
};

// An alarm limit: two digits, and the hundreds as one bit of a later nibble.
struct Limit {
    Digits TensAndOnes;
    Flag Hundreds;
};

// A magnitude and the bit that makes it negative.
template <class Magnitude>
struct Signed {
    Magnitude Value;
    Flag Negative;
};

// The stamp whose minute starts at p.
constexpr Stamp StampFrom(int p) {
    return {{p + 2, 2}, {p, 2}, {p + 4, 2}, {p + 6, 1}};
}

// The temperature whose tenths are at p.
constexpr Temperature TemperatureAt(int p) {
    return {{p, 1}, {p + 1, 1}, {p + 2, 1}, {p + 2, 3}};
}

// A limit whose two digits start at p with its hundreds bit in the nibble after them.
constexpr Limit LimitAt(int p) {
    return {{p, 2}, {p + 2, 0}};
}

// Humidity (24 nibbles) and dew point (20 nibbles) blocks, offsets from the block's first nibble:
//   +0-1 current  +2-3 maximum  +4-10 its stamp  +11-12 minimum  +13-19 its stamp
//   humidity only: +20-21 alarm high  +22-23 alarm low
struct HumidityBlock {
    Digits Current, Max;
    Stamp MaxAt;
    Digits Min;
    Stamp MinAt;
    Digits AlarmHigh, AlarmLow;
};
struct DewPointBlock {
    Digits Current, Max;
    Stamp MaxAt;
    Digits Min;
    Stamp MinAt;
};

constexpr HumidityBlock HumidityAt(int p) {
    return {{p, 2},      {p + 2, 2}, StampFrom(p + 4), {p + 11, 2}, StampFrom(p + 13),
            {p + 20, 2}, {p + 22, 2}};
}
constexpr DewPointBlock DewPointAt(int p) {
    return {{p, 2}, {p + 2, 2}, StampFrom(p + 4), {p + 11, 2}, StampFrom(p + 13)};
}

// Temperature block (29 nibbles), offsets from its first nibble:
//   +0-2 current  +3-5 maximum  +6-12 its stamp  +13-15 minimum  +16-22 its stamp
//   +23-25 alarm high (°F)  +26-28 alarm low (°F); bit 3 of +25 and +28 the limits' signs
// The indoor limits are read without their sign bits.
struct TemperatureBlock {
    Temperature Current, Max;
    Stamp MaxAt;
    Temperature Min;
    Stamp MinAt;
    Signed<Limit> AlarmHigh, AlarmLow;
};

constexpr TemperatureBlock TemperatureBlockAt(int p) {
    return {TemperatureAt(p),
            TemperatureAt(p + 3),
            StampFrom(p + 6),
            TemperatureAt(p + 13),
            StampFrom(p + 16),
            {LimitAt(p + 23), {p + 25, 3}},
            {LimitAt(p + 26), {p + 28, 3}}};
}

}  // namespace field

// Group 1, clock and humidity (set bytes 1-35, nibbles 1-70):
//   1-2 lead   3-4 seconds   5-6 minutes   7-8 hours   9-10 day   11 month
//   12 bit 0 24-hour display, bit 1 month before day   13-14 alarm minutes   15-16 alarm hours
//   17-40 indoor humidity block   41-64 outdoor humidity block
//   65 bit 3 outdoor maximum out of range
//   66 bit 0 outdoor out of range, bit 2 indoor maximum out of range, bit 3 indoor out of range
//   67 bit 3 clock alarm armed   68 bits 0-1 outdoor alarm, bits 2-3 indoor alarm   69-70 checksum
inline constexpr field::Digits kClockSecond{3, 2};
inline constexpr field::Digits kClockMinute{5, 2};
inline constexpr field::Digits kClockHour{7, 2};
inline constexpr field::Digits kClockDay{9, 2};
inline constexpr field::Digits kClockMonth{11, 1};
inline constexpr field::Flag kClock24Hours{12, 0};
inline constexpr field::Flag kClockMonthFirst{12, 1};
inline constexpr field::Digits kClockAlarmMinute{13, 2};
inline constexpr field::Digits kClockAlarmHour{15, 2};
inline constexpr field::HumidityBlock kIndoorHumidity = field::HumidityAt(17);
inline constexpr field::HumidityBlock kOutdoorHumidity = field::HumidityAt(41);
inline constexpr field::Flag kOutdoorHumidityMaxOutOfRange{65, 3};
inline constexpr field::Flag kOutdoorHumidityOutOfRange{66, 0};
inline constexpr field::Flag kIndoorHumidityMaxOutOfRange{66, 2};
inline constexpr field::Flag kIndoorHumidityOutOfRange{66, 3};
inline constexpr field::Flag kClockAlarmOn{67, 3};
inline constexpr field::TwoBits kOutdoorHumidityAlarm{{68, 0}, {68, 1}};
inline constexpr field::TwoBits kIndoorHumidityAlarm{{68, 2}, {68, 3}};

// Group 2, temperature (set bytes 36-69, nibbles 71-138):
//   71-72 lead   73-101 indoor temperature block   102 bit 2 display in °F
//   103-131 outdoor temperature block   136 bits 0-1 outdoor alarm, bits 2-3 indoor alarm
//   137-138 checksum
inline constexpr field::TemperatureBlock kIndoorTemperature = field::TemperatureBlockAt(73);
inline constexpr field::Flag kDisplayFahrenheit{102, 2};
inline constexpr field::TemperatureBlock kOutdoorTemperature = field::TemperatureBlockAt(103);
inline constexpr field::TwoBits kOutdoorTemperatureAlarm{{136, 0}, {136, 1}};
inline constexpr field::TwoBits kIndoorTemperatureAlarm{{136, 2}, {136, 3}};

// Group 3, barometer and dew point (set bytes 70-100, nibbles 139-200):
//   139-140 lead   141-144 local pressure (mb)   145-149 sea-level pressure (tenths of mb)
//   150 unit code   151 forecast code   152 trend code   153-172 indoor dew point block
//   173 indoor, 174 outdoor dew point alarm threshold code   175-194 outdoor dew point block
//   195 bit 0 outdoor minimum out of range, bit 1 indoor out of range, bit 2 outdoor out of
//       range, bit 3 indoor minimum out of range
//   197 pressure alarm threshold code   198 bits 1-2 dew point alarm, bit 3 pressure alarm
//   199-200 checksum
inline constexpr field::Digits kLocalPressure{141, 4};
inline constexpr field::Digits kSeaLevelPressure{145, 5};
inline constexpr field::Digits kPressureUnit{150, 1};
inline constexpr field::Digits kForecast{151, 1};
inline constexpr field::Digits kPressureTrend{152, 1};
inline constexpr field::DewPointBlock kIndoorDewPoint = field::DewPointAt(153);
inline constexpr field::Digits kIndoorDewPointThreshold{173, 1};
inline constexpr field::Digits kOutdoorDewPointThreshold{174, 1};
inline constexpr field::DewPointBlock kOutdoorDewPoint = field::DewPointAt(175);
inline constexpr field::Flag kOutdoorDewPointMinOutOfRange{195, 0};
inline constexpr field::Flag kIndoorDewPointOutOfRange{195, 1};
inline constexpr field::Flag kOutdoorDewPointOutOfRange{195, 2};
inline constexpr field::Flag kIndoorDewPointMinOutOfRange{195, 3};
inline constexpr field::Digits kPressureThreshold{197, 1};
inline constexpr field::TwoBits kDewPointAlarm{{198, 1}, {198, 2}};
inline constexpr field::Flag kPressureAlarmOn{198, 3};

// Group 4, rain in whole mm (set bytes 101-114, nibbles 201-228):
//   201-202 lead   203-205 last hour   207-210 today   211-214 since the reset
//   215-221 stamp of the reset   222 bit 1 display in inches   223-225 alarm limit
//   226 bit 0 alarm armed, bit 3 last hour out of range   227-228 checksum
inline constexpr field::Digits kRainHour{203, 3};
inline constexpr field::Digits kRainToday{207, 4};
inline constexpr field::Digits kRainSinceReset{211, 4};
inline constexpr field::Stamp kRainResetAt = field::StampFrom(215);
inline constexpr field::Flag kRainInches{222, 1};
inline constexpr field::Digits kRainAlarmLimit{223, 3};
inline constexpr field::Flag kRainAlarmOn{226, 0};
inline constexpr field::Flag kRainHourOutOfRange{226, 3};

// Group 5, wind and display state (set bytes 115-141, nibbles 229-282); speeds in tenths of m/s,
// directions in whole degrees:
//   229-230 lead   231-233 gust speed   234-236 gust direction   237-239 mean speed
//   240-242 mean direction   243-245 highest speed   246-248 its direction   249-255 its stamp
//   256-257 wind alarm (mph), 258 bit 0 its hundreds   260 bits 2-3 speed unit code
//   261-262 wind chill (°C)   263-264 its minimum   265-271 the minimum's stamp
//   272 bit 0 minimum negative, bit 1 wind chill negative   273-274 wind chill alarm (°F)
//   275 bit 3 its sign   276 bit 0 its hundreds, bit 2 on battery, bit 3 battery low
//   277 bits 0-1 sub-display, bits 2-3 display value   278 display code (bits 0-2)
//   279 bit 1 wind chill alarm armed, bit 2 wind alarm armed
//   280 bit 1 highest speed out of range, bit 2 mean out of range, bit 3 gust out of range
//   281-282 checksum
inline constexpr field::Digits kGustSpeed{231, 3};
inline constexpr field::Digits kGustDirection{234, 3};
inline constexpr field::Digits kMeanSpeed{237, 3};
inline constexpr field::Digits kMeanDirection{240, 3};
inline constexpr field::Digits kMaxSpeed{243, 3};
inline constexpr field::Digits kMaxSpeedDirection{246, 3};
inline constexpr field::Stamp kMaxSpeedAt = field::StampFrom(249);
inline constexpr field::Limit kWindAlarm = field::LimitAt(256);
inline constexpr field::TwoBits kSpeedUnit{{260, 2}, {260, 3}};
inline constexpr field::Signed<field::Digits> kWindChill{{261, 2}, {272, 1}};
inline constexpr field::Signed<field::Digits> kWindChillMin{{263, 2}, {272, 0}};
inline constexpr field::Stamp kWindChillMinAt = field::StampFrom(265);
inline constexpr field::Signed<field::Limit> kWindChillAlarm{{{273, 2}, {276, 0}}, {275, 3}};
inline constexpr field::Flag kOnBattery{276, 2};
inline constexpr field::Flag kBatteryLow{276, 3};
inline constexpr field::TwoBits kSubDisplay{{277, 0}, {277, 1}};
inline constexpr field::TwoBits kDisplayValue{{277, 2}, {277, 3}};
inline constexpr field::Digits kDisplay{278, 1};
inline constexpr field::Flag kWindChillAlarmOn{279, 1};
inline constexpr field::Flag kWindAlarmOn{279, 2};
inline constexpr field::Flag kMaxSpeedOutOfRange{280, 1};
inline constexpr field::Flag kMeanSpeedOutOfRange{280, 2};
inline constexpr field::Flag kGustSpeedOutOfRange{280, 3};

// Reading the fields out of a nibble string. Digits fold in 16 bits and raise Overflow above
// 32767 (only the five sea-level nibbles can); flags and codes never raise on a whole string.
inline std::int16_t ReadField(BytesView nibbles, field::Digits f) {
    return ReadDigits(nibbles, f.Position, f.Length);
}
inline std::int16_t ReadField(BytesView nibbles, field::Flag f) {
    return ReadFlag(nibbles, f.Nibble, f.Bit);
}
inline int ReadField(BytesView nibbles, field::TwoBits f) {
    return ReadField(nibbles, f.Low) + 2 * ReadField(nibbles, f.High);
}
inline int ReadField(BytesView nibbles, const field::Limit& f) {
    return ReadField(nibbles, f.TensAndOnes) + 100 * ReadField(nibbles, f.Hundreds);
}
template <class Magnitude>
int ReadField(BytesView nibbles, const field::Signed<Magnitude>& f) {
    return ReadField(nibbles, f.Value) * (1 - 2 * ReadField(nibbles, f.Negative));
}
// °C; only bits 0-2 of the tens nibble count.
inline double ReadField(BytesView nibbles, const field::Temperature& f) {
    const double magnitude = ReadField(nibbles, f.Tenths) / 10.0 + ReadField(nibbles, f.Ones) +
                             10 * (ReadField(nibbles, f.Tens) & 7);
    return magnitude * (1 - 2 * ReadField(nibbles, f.Negative));
}

// "hh:mm", "dd.mm" and "hh:mm / dd.mm" as the table shows them.
inline std::string TimeText(BytesView nibbles, field::Digits hour, field::Digits minute) {
    return TimeText(nibbles, hour.Position, minute.Position);
}
inline std::string DateText(BytesView nibbles, field::Digits day, field::Digits month) {
    return DateText(nibbles, day.Position, month.Position);
}
inline std::string StampText(BytesView nibbles, const field::Stamp& s) {
    return StampText(nibbles, s.Hour.Position, s.Minute.Position, s.Day.Position, s.Month.Position);
}

}  // namespace ombrix
