// Rows "Taupunkt innen" and "Taupunkt außen": whole °C without a sign, as the station sends them.
#include "decode/decoder.h"

namespace ombrix {

void DecodeDewPoint(DecodeCall& c) {
    auto celsius = [&](double x) { return c.Value(x, "#0", "°C"); };
    auto alarmSet = [&] { return AlarmSetText(c.Flag(198, 1) + c.Flag(198, 2) == 2); };

    c.Row("Taupunkt innen");
    c.Cell(1, [&] { return celsius(c.Digits(153, 2)); });
    c.Cell(2, [&] { return celsius(c.Digits(155, 2)); });
    c.Cell(3, [&] { return c.Stamp(159, 157, 161, 163); });
    c.Cell(4, [&] { return celsius(c.Digits(164, 2)); });
    c.Cell(5, [&] { return c.Stamp(168, 166, 170, 172); });
    c.Cell(7, [&] { return c.Value(c.Digits(173, 1) + 1, "#0", "°C:"); });
    c.Cell(10, [&] {
        return RangeFlagsText("Min Out Of Range:", c.Flag(195, 3), "Out Of Range:", c.Flag(195, 1));
    });
    c.Cell(8, alarmSet);

    c.Row("Taupunkt außen");
    c.Do([&] { c.Slots[10].Name = "Taupunkt"; });
    c.Do([&] { c.Slots[10].Value = c.Digits(175, 2); });
    c.Do([&] { c.Slots[10].Unit = "°C"; });
    c.Cell(1, [&] { return celsius(c.Slots[10].Value); });
    c.Cell(2, [&] { return celsius(c.Digits(177, 2)); });
    c.Cell(3, [&] { return c.Stamp(181, 179, 183, 185); });
    c.Cell(4, [&] { return celsius(c.Digits(186, 2)); });
    c.Cell(5, [&] { return c.Stamp(190, 188, 192, 194); });
    c.Cell(7, [&] { return c.Value(c.Digits(174, 1) + 1, "#0", "°C:"); });
    c.Cell(10, [&] {
        return RangeFlagsText("Min Out Of Range:", c.Flag(195, 0), "Out Of Range:", c.Flag(195, 2));
    });
    c.Cell(8, alarmSet);
}

}  // namespace ombrix
