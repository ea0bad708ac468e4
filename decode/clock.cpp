// Rows "Zeit" and "Datum": the console's own clock, its 12/24-hour and date-order display
// settings and the clock alarm.
#include "decode/decoder.h"

namespace ombrix {

void DecodeClock(DecodeCall& c) {
    using enum Column;
    c.Row("Zeit");
    c.Cell(Current, [&] {
        return TwoDigits(c.Read(kClockHour)) + ":" + TwoDigits(c.Read(kClockMinute)) + ":" +
               TwoDigits(c.Read(kClockSecond));
    });
    c.Cell(DisplayUnit, [&] { return c.Value(12 + 12 * c.Read(kClock24Hours), "#0", "-Stunden"); });
    c.Cell(AlarmMaximum,
           [&] { return TimeText(c.NibbleString, kClockAlarmHour, kClockAlarmMinute); });
    c.Cell(AlarmSet, [&] { return AlarmSetText(c.Read(kClockAlarmOn) == 1); });

    c.Row("Datum");
    c.Cell(Current, [&] { return DateText(c.NibbleString, kClockDay, kClockMonth); });
    c.Cell(DisplayUnit,
           [&] { return std::string(c.Read(kClockMonthFirst) == 1 ? "Monat.Tag)" : "Tag.Monat"); });
}

}  // namespace ombrix
