// The readings of one valid telegram set as numbers in the station's own units, for the consumers
// that want values rather than the table's texts. Plain data: it is filled while the set is
// decoded, in the same statements that read the fields.
#pragma once

namespace ombrix {

// Where a set came from: the station's serial line or the built-in set of the "Testwerte" button.
enum class SetSource { Station, TestButton };

enum class QuantityState {
    NotDecoded,  // its statement raised a run-time error (recorded in fehler.log); no value
    Valid,
    OutOfRange,  // decoded, but the station flags the value as out of range
};

// The station measures the wind in m/s; the table and everything after it shows km/h.
constexpr double kKmhPerMetrePerSecond = 3.6;

template <class T>
struct Measured {
    T Value{};
    QuantityState State = QuantityState::NotDecoded;

    bool operator==(const Measured&) const = default;

    // The decoded value; returns it.
    T Decoded(T value) {
        Value = value;
        State = QuantityState::Valid;
        return value;
    }
    // The station's out-of-range flag (0 or 1); returns it. Only a decoded value can be out of
    // range.
    int RangeFlag(int flag) {
        if (flag != 0 && State == QuantityState::Valid) State = QuantityState::OutOfRange;
        return flag;
    }
};

using Quantity = Measured<double>;
using Indication = Measured<bool>;

// Only humidity, dew point, the rain of the last hour and the two wind speeds have an
// out-of-range flag on the wire; the other quantities are Valid or NotDecoded.
struct StationReading {
    SetSource Source = SetSource::Station;

    Quantity IndoorTemperature;   // °C, tenths
    Quantity OutdoorTemperature;  // °C, tenths
    Quantity IndoorHumidity;      // %
    Quantity OutdoorHumidity;     // %
    Quantity IndoorDewPoint;      // °C, whole
    Quantity OutdoorDewPoint;     // °C, whole
    Quantity Pressure;            // mb, whole: "Luftdruck", at the station
    Quantity SeaLevelPressure;    // mb, tenths: "Luftdruck NN"
    Quantity WindChill;           // °C, whole: "gefühlte Temp."
    Quantity GustSpeed;           // m/s, tenths: "Wind Spitzen"
    Quantity GustDirection;       // degrees
    Quantity MeanSpeed;           // m/s, tenths: "Wind Mittel"
    Quantity MeanDirection;       // degrees
    Quantity RainHour;            // mm: "Regenmenge/Std."
    Quantity RainToday;           // mm: "Regen heute"
    Quantity RainSinceReset;      // mm: "Regen seit Reset"
    Indication OnBattery;         // "Stromversorgung": true "Batt.(DC)", false "Netz (AC)"
    Indication BatteryLow;        // "Batterie": true "leer", false "voll"

    bool operator==(const StationReading&) const = default;
};

}  // namespace ombrix
