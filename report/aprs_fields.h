// The weather fields of APRS, shared by the radio report, the APRS-IS upload and wxnow.txt: the
// station's units turned into APRS's (mph, °F, hundredths of an inch, tenths of hPa), each at its
// width. Halves round away from zero; zero carries no minus sign.
#pragma once

#include "station/bytes.h"

namespace ombrix {

constexpr double kKmhPerMph = 1.609;
constexpr double kMmPerInch = 25.4;

// Three digits, 0..999: direction, speeds in mph, rain in hundredths of an inch.
Bytes AprsField3(double x);
// "t": whole °F as three characters (-99..999), below zero a sign and two digits.
Bytes AprsTemperatureField(double fahrenheit);
// "h": two digits (1..100), 100 % written "00".
Bytes AprsHumidityField(double percent);
// "b": tenths of hPa as five digits (0..99999).
Bytes AprsPressureField(double hectopascal);

inline double Fahrenheit(double celsius) {
    return celsius * 9 / 5 + 32;
}

}  // namespace ombrix
