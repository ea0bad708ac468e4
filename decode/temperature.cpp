// Rows "Temperatur innen" and "Temperatur außen": tenths of °C in three nibbles with a sign bit,
// alarm limits in whole °F.
#include "decode/decoder.h"

namespace ombrix {

namespace {

// Tenths, ones, then a nibble whose bits 0-2 are the tens and bit 3 the sign.
double ReadSignedTemperature(const DecodeCall& c, int p) {
    const double magnitude =
        c.Digits(p, 1) / 10.0 + c.Digits(p + 1, 1) + 10 * (c.Digits(p + 2, 1) & 7);
    return magnitude * (1 - 2 * c.Flag(p + 2, 3));
}

// Two digits and a hundreds bit; the outdoor limits also carry a sign bit.
int IndoorLimit(const DecodeCall& c, int p) {
    return c.Digits(p, 2) + 100 * c.Flag(p + 2, 0);
}
int OutdoorLimit(const DecodeCall& c, int p) {
    return IndoorLimit(c, p) * (1 - 2 * c.Flag(p + 2, 3));
}

}  // namespace

void DecodeTemperature(DecodeCall& c) {
    auto celsius = [&](double x) { return c.Value(x, "##0.0", "°C"); };

    c.Row("Temperatur innen");
    c.Cell(1, [&] { return celsius(ReadSignedTemperature(c, 73)); });
    c.Cell(2, [&] { return celsius(ReadSignedTemperature(c, 76)); });
    c.Cell(3, [&] { return c.Stamp(81, 79, 83, 85); });
    c.Cell(4, [&] { return celsius(ReadSignedTemperature(c, 86)); });
    c.Cell(5, [&] { return c.Stamp(91, 89, 93, 95); });
    c.Cell(6, [&] { return c.Value(IndoorLimit(c, 96), "##0", "°F"); });
    c.Cell(7, [&] { return c.Value(IndoorLimit(c, 99), "##0", "°F"); });
    c.Cell(8, [&] { return AlarmSetText(c.Flag(136, 2) + c.Flag(136, 3) == 2); });
    c.Cell(9, [&] { return std::string(c.Flag(102, 2) == 1 ? "°F" : "°C"); });

    c.Row("Temperatur außen");
    c.Do([&] { c.Slots[6].Name = "Temperatur"; });
    c.Do([&] { c.Slots[6].Value = static_cast<float>(ReadSignedTemperature(c, 103)); });
    c.Do([&] { c.Slots[6].Unit = "°C"; });
    c.Cell(1, [&] { return celsius(c.Slots[6].Value); });
    c.Cell(2, [&] { return celsius(ReadSignedTemperature(c, 106)); });
    c.Cell(3, [&] { return c.Stamp(111, 109, 113, 115); });
    c.Cell(4, [&] { return celsius(ReadSignedTemperature(c, 116)); });
    c.Cell(5, [&] { return c.Stamp(121, 119, 123, 125); });
    c.Cell(6, [&] { return c.Value(OutdoorLimit(c, 126), "##0.0", "°F"); });
    c.Cell(7, [&] { return c.Value(OutdoorLimit(c, 129), "##0.0", "°F"); });
    c.Cell(8, [&] { return AlarmSetText(c.Flag(136, 0) + c.Flag(136, 1) == 2); });
}

}  // namespace ombrix
