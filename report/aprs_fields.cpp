#include "report/aprs_fields.h"

#include "station/primitives.h"

namespace ombrix {

namespace {

long long Clamped(double x, long long low, long long high) {
    const long long n = RoundHalfAway(x);
    return n < low ? low : (n > high ? high : n);
}

}  // namespace

Bytes AprsField3(double x) {
    return ZeroFilled(Clamped(x, 0, 999), 3);
}

Bytes AprsTemperatureField(double fahrenheit) {
    const long long t = Clamped(fahrenheit, -99, 999);
    return t < 0 ? ZeroFilled(t, 2) : ZeroFilled(t, 3);
}

Bytes AprsHumidityField(double percent) {
    const long long h = Clamped(percent, 1, 100);
    return ZeroFilled(h == 100 ? 0 : h, 2);
}

Bytes AprsPressureField(double hectopascal) {
    return ZeroFilled(Clamped(hectopascal * 10, 0, 99999), 5);
}

}  // namespace ombrix
