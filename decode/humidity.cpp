// Rows "Luftfeuchte innen" and "Luftfeuchte außen": whole percent, two packed-decimal nibbles each.
#include "decode/decoder.h"

namespace ombrix {

namespace {

std::string Percent(DecodeCall& c, double x) {
    return c.Value(x, "#0", "%");
}

}  // namespace

void DecodeHumidity(DecodeCall& c) {
    c.Row("Luftfeuchte innen");
    c.Cell(1, [&] { return Percent(c, c.Digits(17, 2)); });
    c.Cell(2, [&] { return Percent(c, c.Digits(19, 2)); });
    c.Cell(3, [&] { return c.Stamp(23, 21, 25, 27); });
    c.Cell(4, [&] { return Percent(c, c.Digits(28, 2)); });
    c.Cell(5, [&] { return c.Stamp(32, 30, 34, 36); });
    c.Cell(6, [&] { return Percent(c, c.Digits(37, 2)); });
    c.Cell(7, [&] { return Percent(c, c.Digits(39, 2)); });
    c.Cell(8, [&] { return AlarmSetText(c.Flag(68, 2) + c.Flag(68, 3) == 2); });
    c.Cell(10, [&] {
        return RangeFlagsText("Max Out Of Range:", c.Flag(66, 2), "Out Of Range:", c.Flag(66, 3));
    });

    c.Row("Luftfeuchte außen");
    c.Do([&] { c.Slots[4].Name = "Luftfeuchte"; });
    c.Do([&] { c.Slots[4].Value = c.Digits(41, 2); });
    c.Do([&] { c.Slots[4].Unit = "%"; });
    c.Cell(1, [&] { return Percent(c, c.Slots[4].Value); });
    c.Cell(2, [&] { return Percent(c, c.Digits(43, 2)); });
    c.Cell(3, [&] { return c.Stamp(47, 45, 49, 51); });
    c.Cell(4, [&] { return Percent(c, c.Digits(52, 2)); });
    c.Cell(5, [&] { return c.Stamp(56, 54, 58, 60); });
    c.Cell(6, [&] { return Percent(c, c.Digits(61, 2)); });
    c.Cell(7, [&] { return Percent(c, c.Digits(63, 2)); });
    c.Cell(10, [&] {
        return RangeFlagsText("Max Out Of Range:", c.Flag(65, 3), "Out Of Range:", c.Flag(66, 0));
    });
    c.Cell(8, [&] { return AlarmSetText(c.Flag(68, 0) + c.Flag(68, 1) == 2); });
}

}  // namespace ombrix
