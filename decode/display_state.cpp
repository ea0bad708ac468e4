// Rows "Stromversorgung" to "Anzeigewert": how the console is powered and what its display shows.
#include "decode/decoder.h"

namespace ombrix {

void DecodeDisplayState(DecodeCall& c) {
    static const char* const kDisplayTexts[] = {"Zeit",      "Temp.", "Luftfeuchte",    "Taupunkt",
                                                "Luftdruck", "Wind",  "gefühlte Temp.", "Regen"};
    static const char* const kDisplayValueTexts[] = {"Hauptwert", "Speicherwert", "Alarmwert innen",
                                                     "Alarmwert außen"};
    using enum Column;
    StationReading& r = c.Reading;

    c.Row("Stromversorgung");
    c.Cell(Current, [&] {
        return std::string(r.OnBattery.Decoded(c.Read(kOnBattery) == 1) ? "Batt.(DC)"
                                                                        : "Netz (AC)");
    });
    c.Row("Batterie");
    c.Cell(Current, [&] {
        return std::string(r.BatteryLow.Decoded(c.Read(kBatteryLow) == 1) ? "leer" : "voll");
    });
    c.Row("Anzeige");
    c.Cell(Current, [&] { return std::string(kDisplayTexts[c.Read(kDisplay) & 7]); });
    c.Row("Unteranzeige");
    c.Cell(Current, [&] { return std::to_string(c.Read(kSubDisplay)); });
    c.Row("Anzeigewert");
    c.Cell(Current, [&] { return std::string(kDisplayValueTexts[c.Read(kDisplayValue)]); });
}

}  // namespace ombrix
