// Rows "Taupunkt innen" and "Taupunkt außen": whole °C without a sign, as the station sends them.
#include "decode/decoder.h"

namespace ombrix {

namespace {

// The cells after the current value that both rows share, up to the alarm threshold.
void Extremes(DecodeCall& c, const field::DewPointBlock& b, field::Digits threshold) {
    using enum Column;
    auto celsius = [&](double x) { return c.Value(x, "#0", "°C"); };
    c.Cell(Maximum, [&] { return celsius(c.Read(b.Max)); });
    c.Cell(MaximumAt, [&] { return c.Stamp(b.MaxAt); });
    c.Cell(Minimum, [&] { return celsius(c.Read(b.Min)); });
    c.Cell(MinimumAt, [&] { return c.Stamp(b.MinAt); });
    c.Cell(AlarmMinimum, [&] { return c.Value(c.Read(threshold) + 1, "#0", "°C:"); });
}

}  // namespace

void DecodeDewPoint(DecodeCall& c) {
    using enum Column;
    auto celsius = [&](double x) { return c.Value(x, "#0", "°C"); };
    auto alarmSet = [&] { return AlarmSetText(c.Read(kDewPointAlarm) == 3); };
    StationReading& r = c.Reading;

    c.Row("Taupunkt innen");
    c.Cell(Current,
           [&] { return celsius(r.IndoorDewPoint.Decoded(c.Read(kIndoorDewPoint.Current))); });
    Extremes(c, kIndoorDewPoint, kIndoorDewPointThreshold);
    c.Cell(Extras, [&] {
        return RangeFlagsText(
            "Min Out Of Range:", c.Read(kIndoorDewPointMinOutOfRange),
            "Out Of Range:", r.IndoorDewPoint.RangeFlag(c.Read(kIndoorDewPointOutOfRange)));
    });
    c.Cell(AlarmSet, alarmSet);

    c.Row("Taupunkt außen");
    const Reading& slot = c.FillSlot(
        Slot::OutdoorDewPoint, "Taupunkt",
        [&] { return r.OutdoorDewPoint.Decoded(c.Read(kOutdoorDewPoint.Current)); }, "°C");
    c.Cell(Current, [&] { return celsius(slot.Value); });
    Extremes(c, kOutdoorDewPoint, kOutdoorDewPointThreshold);
    c.Cell(Extras, [&] {
        return RangeFlagsText(
            "Min Out Of Range:", c.Read(kOutdoorDewPointMinOutOfRange),
            "Out Of Range:", r.OutdoorDewPoint.RangeFlag(c.Read(kOutdoorDewPointOutOfRange)));
    });
    c.Cell(AlarmSet, alarmSet);
}

}  // namespace ombrix
