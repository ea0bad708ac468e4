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
void CodeCell(DecodeCall& c, int subItem, const char* (*text)(int), int p) {
    c.Do([&] {
        if (const char* t = text(c.Digits(p, 1))) c.SetCell(subItem, t);
    });
}

}  // namespace

void DecodeBarometer(DecodeCall& c) {
    c.Row("Luftdruck");
    c.Cell(1, [&] { return c.Value(c.Digits(141, 4), "#000", "mb"); });
    CodeCell(c, 9, PressureUnitText, 150);
    CodeCell(c, 10, TrendText, 152);
    c.Cell(7, [&] { return NumberText(c.Digits(197, 1) + 1) + "mb"; });
    c.Cell(8, [&] { return AlarmSetText(c.Flag(198, 3) == 1); });

    c.Row("Luftdruck NN");
    c.Do([&] { c.Slots[8].Name = "Luftdruck"; });
    // Five nibbles can exceed the 16-bit range: the overflow is logged and the slot stays 0.
    c.Do([&] { c.Slots[8].Value = static_cast<float>(c.Digits(145, 5) / 10.0); });
    c.Do([&] { c.Slots[8].Unit = "mb"; });
    c.Cell(1, [&] { return c.Value(c.Slots[8].Value, "#000.0", "mb"); });
    CodeCell(c, 10, ForecastText, 151);
}

}  // namespace ombrix
