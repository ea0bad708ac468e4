// Rows "Wind Spitzen", "Wind Mittel" and "gefühlte Temp.". The station sends speeds in tenths of
// m/s; they are shown and reported in km/h.
#include "decode/decoder.h"

namespace ombrix {

namespace {

double Kmh(int tenthsOfMetrePerSecond) {
    return tenthsOfMetrePerSecond / 10.0 * 3.6;
}

const char* SpeedUnitText(int code) {
    static const char* const kTexts[] = {"mph", "Knoten", "m/s", "km/h"};
    return kTexts[code & 3];
}

// Speed and direction as "12.6km/h 270°"; the stored maximum has no blank before its direction.
std::string SpeedAndDirection(const DecodeCall& c, double kmh, double degrees,
                              std::string_view gap) {
    std::string text = c.Format(kmh, "##0.0");
    text += "km/h";
    text += gap;
    text += c.Format(degrees, "##0");
    text += "°";
    return text;
}

void SpeedSlots(DecodeCall& c, int slot, const char* speedName, const char* directionName,
                int speedAt, int directionAt) {
    c.Do([&] { c.Slots[slot].Name = speedName; });
    c.Do([&] { c.Slots[slot].Value = static_cast<float>(Kmh(c.Digits(speedAt, 3))); });
    c.Do([&] { c.Slots[slot].Unit = "km/h "; });
    c.Do([&] { c.Slots[slot + 1].Name = directionName; });
    c.Do([&] { c.Slots[slot + 1].Value = c.Digits(directionAt, 3); });
    c.Do([&] { c.Slots[slot + 1].Unit = "°"; });
    c.Cell(1,
           [&] { return SpeedAndDirection(c, c.Slots[slot].Value, c.Slots[slot + 1].Value, " "); });
}

int Sign(const DecodeCall& c, int p, int bit) {
    return 1 - 2 * c.Flag(p, bit);
}

}  // namespace

void DecodeWind(DecodeCall& c) {
    c.Row("Wind Spitzen");
    SpeedSlots(c, 14, "Windgeschwindigkeit Spitzenwert", "Windrichtung des Spitzenwertes", 231,
               234);
    c.Cell(2, [&] { return SpeedAndDirection(c, Kmh(c.Digits(243, 3)), c.Digits(246, 3), ""); });
    c.Cell(3, [&] { return c.Stamp(251, 249, 253, 255); });
    c.Cell(6, [&] { return c.Value(c.Digits(256, 2) + 100 * c.Flag(258, 0), "###0", "mph"); });
    c.Cell(9, [&] { return std::string(SpeedUnitText(c.Flag(260, 2) + 2 * c.Flag(260, 3))); });
    c.Cell(8, [&] { return AlarmSetText(c.Flag(279, 2) == 1); });
    c.Cell(10, [&] {
        return RangeFlagsText("Max Out Of Range:", c.Flag(280, 1), "Out Of Range:", c.Flag(280, 3));
    });

    c.Row("Wind Mittel");
    SpeedSlots(c, 16, "Windgeschwindigkeit Mittelwert", "Windrichtung des Mittelwertes", 237, 240);
    c.Cell(10, [&] { return "Out Of Range:" + NumberText(c.Flag(280, 2)); });

    c.Row("gefühlte Temp.");
    c.Do([&] { c.Slots[18].Name = "gefühlte Temperatur"; });
    c.Do([&] { c.Slots[18].Value = static_cast<float>(c.Digits(261, 2) * Sign(c, 272, 1)); });
    c.Do([&] { c.Slots[18].Unit = "°C"; });
    c.Cell(1, [&] { return c.Value(c.Slots[18].Value, "###0", "°C"); });
    c.Cell(4, [&] { return c.Value(c.Digits(263, 2) * Sign(c, 272, 0), "###0", "°C"); });
    c.Cell(5, [&] { return c.Stamp(267, 265, 269, 271); });
    c.Cell(7, [&] {
        return c.Value((c.Digits(273, 2) + 100 * c.Flag(276, 0)) * Sign(c, 275, 3), "##0", "°F");
    });
    c.Cell(8, [&] { return AlarmSetText(c.Flag(279, 1) == 1); });
}

}  // namespace ombrix
