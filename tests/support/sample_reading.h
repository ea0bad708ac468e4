// One valid set's readings with round values, for the outputs' tests and benchmarks: 205° at
// 2.8 m/s, gusts of 5.0 m/s, 9.4 °C, no rain this hour and 1 mm today, 91 %, 1015.3 mb at sea
// level. Everything else is not decoded.
#pragma once

#include "decode/station_reading.h"

namespace ombrix::test {

inline StationReading SampleReading(SetSource source = SetSource::Station) {
    const auto valid = [](double v) { return Quantity{v, QuantityState::Valid}; };
    StationReading r;
    r.Source = source;
    r.MeanDirection = valid(205);
    r.MeanSpeed = valid(2.8);
    r.GustSpeed = valid(5.0);
    r.OutdoorTemperature = valid(9.4);
    r.RainHour = valid(0);
    r.RainToday = valid(1);
    r.OutdoorHumidity = valid(91);
    r.SeaLevelPressure = valid(1015.3);
    return r;
}

}  // namespace ombrix::test
