// Rows "Luftdruck" and "Luftdruck NN": local pressure in whole millibars, sea-level pressure in
// tenths, the console's unit, trend and forecast codes and the pressure alarm.
#include "decode/decoder.h"

namespace ombrix {

namespace {

const char* PressureUnitText(int code) {
    switch (code) {
        case 0:
            return "inches";
        case 1:
            return "mm";
        case 2:
            return "mb";
        case 3:
            return "hPa";
        default:
            return nullptr;
    }
}

const char* TrendText(int code) {
    switch (code) {
        case 1:
            return "Trend: steigend";
        case 2:
            return "Trend: unverändert";
        case 4:
            return "Trend: fallend";
        default:
            return nullptr;
    }
}

const char* ForecastText(int code) {
    switch (code) {
        case 1:
            return "Aussichten: sonnig";
        case 2:
            return "Aussichten: bewölkt";
        case 4:
            return "Aussichten: wechselhaft";
        case 8:
            return "Aussichten: Regen";
        default:
            return nullptr;
    }
}

// Codes outside a table leave their cell as it is.
void CodeCell(DecodeCall& c, Column column, const char* (*text)(int), field::Digits code) {
    c.Do([&] {
        if (const char* t = text(c.Read(code))) c.SetCell(column, t);
    });
}

}  // namespace

void DecodeBarometer(DecodeCall& c) {
    using enum Column;
    StationReading& r = c.Reading;

    c.Row("Luftdruck");
    c.Cell(Current,
           [&] { return c.Value(r.Pressure.Decoded(c.Read(kLocalPressure)), "#000", "mb"); });
    CodeCell(c, DisplayUnit, PressureUnitText, kPressureUnit);
    CodeCell(c, Extras, TrendText, kPressureTrend);
    c.Cell(AlarmMinimum, [&] { return NumberText(c.Read(kPressureThreshold) + 1) + "mb"; });
    c.Cell(AlarmSet, [&] { return AlarmSetText(c.Read(kPressureAlarmOn) == 1); });

    c.Row("Luftdruck NN");
    // Five nibbles can exceed the 16-bit range: the overflow is logged, the slot stays 0 and the
    // reading not decoded.
    const Reading& slot = c.FillSlot(
        Slot::SeaLevelPressure, "Luftdruck",
        [&] { return r.SeaLevelPressure.Decoded(c.Read(kSeaLevelPressure) / 10.0); }, "mb");
    c.Cell(Current, [&] { return c.Value(slot.Value, "#000.0", "mb"); });
    CodeCell(c, Extras, ForecastText, kForecast);
}

}  // namespace ombrix
