// Rows "Regenmenge/Std.", "Regen heute" and "Regen seit Reset": whole millimetres.
#include "decode/decoder.h"

namespace ombrix {

void DecodeRain(DecodeCall& c) {
    using enum Column;
    StationReading& r = c.Reading;

    c.Row("Regenmenge/Std.");
    const Reading& hour = c.FillSlot(
        Slot::RainHour, "Niederschlag in der letzten Stunde",
        [&] { return r.RainHour.Decoded(c.Read(kRainHour)); }, "mm");
    c.Cell(Current, [&] { return c.Value(hour.Value, "##0", "mm"); });
    c.Cell(DisplayUnit, [&] { return std::string(c.Read(kRainInches) == 1 ? "inches" : "mm"); });
    c.Cell(AlarmMaximum, [&] { return c.Value(c.Read(kRainAlarmLimit), "##0", "in"); });
    c.Cell(AlarmSet, [&] { return AlarmSetText(c.Read(kRainAlarmOn) == 1); });
    c.Cell(Extras, [&] {
        return "Out Of Range:" + NumberText(r.RainHour.RangeFlag(c.Read(kRainHourOutOfRange)));
    });

    c.Row("Regen heute");
    const Reading& today = c.FillSlot(
        Slot::RainToday, "Niederschlag heute (seit 00:00 Uhr)",
        [&] { return r.RainToday.Decoded(c.Read(kRainToday)); }, "mm");
    c.Cell(Current, [&] { return c.Value(today.Value, "###0", "mm"); });

    c.Row("Regen seit Reset");
    c.Cell(Current,
           [&] { return c.Value(r.RainSinceReset.Decoded(c.Read(kRainSinceReset)), "##0", "mm"); });
    c.Cell(Extras, [&] { return "Reset: " + c.Stamp(kRainResetAt); });
}

}  // namespace ombrix
