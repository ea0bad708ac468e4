// Rows "Regenmenge/Std.", "Regen heute" and "Regen seit Reset": whole millimetres.
#include "decode/decoder.h"

namespace ombrix {

void DecodeRain(DecodeCall& c) {
    c.Row("Regenmenge/Std.");
    c.Do([&] { c.Slots[11].Name = "Niederschlag in der letzten Stunde"; });
    c.Do([&] { c.Slots[11].Value = c.Digits(203, 3); });
    c.Do([&] { c.Slots[11].Unit = "mm"; });
    c.Cell(1, [&] { return c.Value(c.Slots[11].Value, "##0", "mm"); });
    c.Cell(9, [&] { return std::string(c.Flag(222, 1) == 1 ? "inches" : "mm"); });
    c.Cell(6, [&] { return c.Value(c.Digits(223, 3), "##0", "in"); });
    c.Cell(8, [&] { return AlarmSetText(c.Flag(226, 0) == 1); });
    c.Cell(10, [&] { return "Out Of Range:" + NumberText(c.Flag(226, 3)); });

    c.Row("Regen heute");
    c.Do([&] { c.Slots[12].Name = "Niederschlag heute (seit 00:00 Uhr)"; });
    c.Do([&] { c.Slots[12].Value = c.Digits(207, 4); });
    c.Do([&] { c.Slots[12].Unit = "mm"; });
    c.Cell(1, [&] { return c.Value(c.Slots[12].Value, "###0", "mm"); });

    c.Row("Regen seit Reset");
    c.Cell(1, [&] { return c.Value(c.Digits(211, 4), "##0", "mm"); });
    c.Cell(10, [&] { return "Reset: " + c.Stamp(217, 215, 219, 221); });
}

}  // namespace ombrix
