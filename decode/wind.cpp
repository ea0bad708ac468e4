// Rows "Wind Spitzen", "Wind Mittel" and "gefühlte Temp.". The station sends speeds in tenths of
// m/s; the table, the status line and the report show them in km/h, the reading keeps m/s.
#include "decode/decoder.h"

namespace ombrix {

namespace {

double Kmh(int tenthsOfMetrePerSecond) {
    return tenthsOfMetrePerSecond / 10.0 * kKmhPerMetrePerSecond;
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

// One of the two wind rows: its slots with their names, its fields and its quantities.
struct Wind {
    Slot SpeedSlot, DirectionSlot;
    const char* SpeedName;
    const char* DirectionName;
    field::Digits SpeedField, DirectionField;
    Quantity StationReading::*Speed;
    Quantity StationReading::*Direction;
};

void SpeedSlots(DecodeCall& c, const Wind& w) {
    const Reading& speed = c.FillSlot(
        w.SpeedSlot, w.SpeedName,
        [&] {
            const int tenths = c.Read(w.SpeedField);
            (c.Reading.*w.Speed).Decoded(tenths / 10.0);
            return Kmh(tenths);
        },
        "km/h ");
    const Reading& direction = c.FillSlot(
        w.DirectionSlot, w.DirectionName,
        [&] { return (c.Reading.*w.Direction).Decoded(c.Read(w.DirectionField)); }, "°");
    c.Cell(Column::Current,
           [&] { return SpeedAndDirection(c, speed.Value, direction.Value, " "); });
}

}  // namespace

void DecodeWind(DecodeCall& c) {
    using enum Column;
    StationReading& r = c.Reading;

    c.Row("Wind Spitzen");
    SpeedSlots(c, {Slot::GustSpeed, Slot::GustDirection, "Windgeschwindigkeit Spitzenwert",
                   "Windrichtung des Spitzenwertes", kGustSpeed, kGustDirection,
                   &StationReading::GustSpeed, &StationReading::GustDirection});
    c.Cell(Maximum, [&] {
        return SpeedAndDirection(c, Kmh(c.Read(kMaxSpeed)), c.Read(kMaxSpeedDirection), "");
    });
    c.Cell(MaximumAt, [&] { return c.Stamp(kMaxSpeedAt); });
    c.Cell(AlarmMaximum, [&] { return c.Value(c.Read(kWindAlarm), "###0", "mph"); });
    c.Cell(DisplayUnit, [&] { return std::string(SpeedUnitText(c.Read(kSpeedUnit))); });
    c.Cell(AlarmSet, [&] { return AlarmSetText(c.Read(kWindAlarmOn) == 1); });
    c.Cell(Extras, [&] {
        return RangeFlagsText("Max Out Of Range:", c.Read(kMaxSpeedOutOfRange),
                              "Out Of Range:", r.GustSpeed.RangeFlag(c.Read(kGustSpeedOutOfRange)));
    });

    c.Row("Wind Mittel");
    SpeedSlots(c, {Slot::MeanSpeed, Slot::MeanDirection, "Windgeschwindigkeit Mittelwert",
                   "Windrichtung des Mittelwertes", kMeanSpeed, kMeanDirection,
                   &StationReading::MeanSpeed, &StationReading::MeanDirection});
    c.Cell(Extras, [&] {
        return "Out Of Range:" + NumberText(r.MeanSpeed.RangeFlag(c.Read(kMeanSpeedOutOfRange)));
    });

    c.Row("gefühlte Temp.");
    const Reading& chill = c.FillSlot(
        Slot::WindChill, "gefühlte Temperatur",
        [&] { return r.WindChill.Decoded(c.Read(kWindChill)); }, "°C");
    c.Cell(Current, [&] { return c.Value(chill.Value, "###0", "°C"); });
    c.Cell(Minimum, [&] { return c.Value(c.Read(kWindChillMin), "###0", "°C"); });
    c.Cell(MinimumAt, [&] { return c.Stamp(kWindChillMinAt); });
    c.Cell(AlarmMinimum, [&] { return c.Value(c.Read(kWindChillAlarm), "##0", "°F"); });
    c.Cell(AlarmSet, [&] { return AlarmSetText(c.Read(kWindChillAlarmOn) == 1); });
}

}  // namespace ombrix
