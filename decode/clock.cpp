// Rows "Zeit" and "Datum": the console's own clock, its 12/24-hour and date-order display
// settings and the clock alarm.
#include "decode/decoder.h"

namespace ombrix {

void DecodeClock(DecodeCall& c) {
    c.Row("Zeit");
    c.Cell(1, [&] {
        return TwoDigits(c.Digits(7, 2)) + ":" + TwoDigits(c.Digits(5, 2)) + ":" +
               TwoDigits(c.Digits(3, 2));
    });
    c.Cell(9, [&] { return c.Value(12 + 12 * c.Flag(12, 0), "#0", "-Stunden"); });
    c.Cell(6, [&] { return TimeText(c.NibbleString, 15, 13); });
    c.Cell(8, [&] { return AlarmSetText(c.Flag(67, 3) == 1); });

    c.Row("Datum");
    c.Cell(1, [&] { return DateText(c.NibbleString, 9, 11); });
    c.Cell(9, [&] { return std::string(c.Flag(12, 1) == 1 ? "Monat.Tag)" : "Tag.Monat"); });
}

}  // namespace ombrix
