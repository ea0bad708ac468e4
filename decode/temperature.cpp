// Rows "Temperatur innen" and "Temperatur außen": tenths of °C in three nibbles with a sign bit,
// alarm limits in whole °F.
#include "decode/decoder.h"

namespace ombrix {

namespace {

// The cells after the current value that both rows share.
void Extremes(DecodeCall& c, const field::TemperatureBlock& b) {
    using enum Column;
    auto celsius = [&](double x) { return c.Value(x, "##0.0", "°C"); };
    c.Cell(Maximum, [&] { return celsius(c.Read(b.Max)); });
    c.Cell(MaximumAt, [&] { return c.Stamp(b.MaxAt); });
    c.Cell(Minimum, [&] { return celsius(c.Read(b.Min)); });
    c.Cell(MinimumAt, [&] { return c.Stamp(b.MinAt); });
}

}  // namespace

void DecodeTemperature(DecodeCall& c) {
    using enum Column;
    auto celsius = [&](double x) { return c.Value(x, "##0.0", "°C"); };
    StationReading& r = c.Reading;

    c.Row("Temperatur innen");
    c.Cell(Current, [&] {
        return celsius(r.IndoorTemperature.Decoded(c.Read(kIndoorTemperature.Current)));
    });
    Extremes(c, kIndoorTemperature);
    c.Cell(AlarmMaximum,
           [&] { return c.Value(c.Read(kIndoorTemperature.AlarmHigh.Value), "##0", "°F"); });
    c.Cell(AlarmMinimum,
           [&] { return c.Value(c.Read(kIndoorTemperature.AlarmLow.Value), "##0", "°F"); });
    c.Cell(AlarmSet, [&] { return AlarmSetText(c.Read(kIndoorTemperatureAlarm) == 3); });
    c.Cell(DisplayUnit, [&] { return std::string(c.Read(kDisplayFahrenheit) == 1 ? "°F" : "°C"); });

    c.Row("Temperatur außen");
    const Reading& slot = c.FillSlot(
        Slot::OutdoorTemperature, "Temperatur",
        [&] { return r.OutdoorTemperature.Decoded(c.Read(kOutdoorTemperature.Current)); }, "°C");
    c.Cell(Current, [&] { return celsius(slot.Value); });
    Extremes(c, kOutdoorTemperature);
    c.Cell(AlarmMaximum,
           [&] { return c.Value(c.Read(kOutdoorTemperature.AlarmHigh), "##0.0", "°F"); });
    c.Cell(AlarmMinimum,
           [&] { return c.Value(c.Read(kOutdoorTemperature.AlarmLow), "##0.0", "°F"); });
    c.Cell(AlarmSet, [&] { return AlarmSetText(c.Read(kOutdoorTemperatureAlarm) == 3); });
}

}  // namespace ombrix
