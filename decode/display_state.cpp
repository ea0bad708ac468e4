// Rows "Stromversorgung" to "Anzeigewert": how the console is powered and what its display shows.
#include "decode/decoder.h"

namespace ombrix {

void DecodeDisplayState(DecodeCall& c) {
    static const char* const kDisplay[] = {"Zeit",      "Temp.", "Luftfeuchte",    "Taupunkt",
                                           "Luftdruck", "Wind",  "gefühlte Temp.", "Regen"};
    static const char* const kDisplayValue[] = {"Hauptwert", "Speicherwert", "Alarmwert innen",
                                                "Alarmwert außen"};

    c.Row("Stromversorgung");
    c.Cell(1, [&] { return std::string(c.Flag(276, 2) == 1 ? "Batt.(DC)" : "Netz (AC)"); });
    c.Row("Batterie");
    c.Cell(1, [&] { return std::string(c.Flag(276, 3) == 1 ? "leer" : "voll"); });
    c.Row("Anzeige");
    c.Cell(1, [&] { return std::string(kDisplay[c.Digits(278, 1) & 7]); });
    c.Row("Unteranzeige");
    c.Cell(1, [&] { return std::to_string(c.Flag(277, 0) + 2 * c.Flag(277, 1)); });
    c.Row("Anzeigewert");
    c.Cell(1, [&] { return std::string(kDisplayValue[c.Flag(277, 2) + 2 * c.Flag(277, 3)]); });
}

}  // namespace ombrix
