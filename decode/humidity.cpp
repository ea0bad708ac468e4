// Rows "Luftfeuchte innen" and "Luftfeuchte außen": whole percent, two packed-decimal nibbles each.
#include "decode/decoder.h"

namespace ombrix {

namespace {

std::string Percent(DecodeCall& c, double x) {
    return c.Value(x, "#0", "%");
}

// The cells both rows share; the current value and the range flags are the caller's.
void Extremes(DecodeCall& c, const field::HumidityBlock& b) {
    using enum Column;
    c.Cell(Maximum, [&] { return Percent(c, c.Read(b.Max)); });
    c.Cell(MaximumAt, [&] { return c.Stamp(b.MaxAt); });
    c.Cell(Minimum, [&] { return Percent(c, c.Read(b.Min)); });
    c.Cell(MinimumAt, [&] { return c.Stamp(b.MinAt); });
    c.Cell(AlarmMaximum, [&] { return Percent(c, c.Read(b.AlarmHigh)); });
    c.Cell(AlarmMinimum, [&] { return Percent(c, c.Read(b.AlarmLow)); });
}

}  // namespace

void DecodeHumidity(DecodeCall& c) {
    using enum Column;
    StationReading& r = c.Reading;

    c.Row("Luftfeuchte innen");
    c.Cell(Current,
           [&] { return Percent(c, r.IndoorHumidity.Decoded(c.Read(kIndoorHumidity.Current))); });
    Extremes(c, kIndoorHumidity);
    c.Cell(AlarmSet, [&] { return AlarmSetText(c.Read(kIndoorHumidityAlarm) == 3); });
    c.Cell(Extras, [&] {
        return RangeFlagsText(
            "Max Out Of Range:", c.Read(kIndoorHumidityMaxOutOfRange),
            "Out Of Range:", r.IndoorHumidity.RangeFlag(c.Read(kIndoorHumidityOutOfRange)));
    });

    c.Row("Luftfeuchte außen");
    const Reading& slot = c.FillSlot(
        Slot::OutdoorHumidity, "Luftfeuchte",
        [&] { return r.OutdoorHumidity.Decoded(c.Read(kOutdoorHumidity.Current)); }, "%");
    c.Cell(Current, [&] { return Percent(c, slot.Value); });
    Extremes(c, kOutdoorHumidity);
    c.Cell(Extras, [&] {
        return RangeFlagsText(
            "Max Out Of Range:", c.Read(kOutdoorHumidityMaxOutOfRange),
            "Out Of Range:", r.OutdoorHumidity.RangeFlag(c.Read(kOutdoorHumidityOutOfRange)));
    });
    c.Cell(AlarmSet, [&] { return AlarmSetText(c.Read(kOutdoorHumidityAlarm) == 3); });
}

}  // namespace ombrix
