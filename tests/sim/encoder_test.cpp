// The sets the simulator sends. The encoder writes every value into the field the decoder reads it
// from, as digits and flags the console's way: the values that the built-in "Testwerte" set
// carries come out as its table, cell for cell. A replay reads back the sets of the lines that the
// program's raw-log writer made.
#include <gtest/gtest.h>

#include "decode_support.h"
#include "tools/sim/bursts.h"
#include "tools/sim/station_values.h"

namespace ombrix::sim {
namespace {

TEST(Encoder, ReferenceValuesGiveTheBuiltInSetsTable) {
    StationValues v;
    v.Clock = {8, 0, 46, 7, 10, true, false, 0, 0, false};
    v.IndoorHumidity = {32, 67, {8, 23, 4, 10}, 32, {8, 0, 7, 10}, 97, 10, false, false, false};
    v.OutdoorHumidity = {91, 92, {5, 41, 7, 10}, 40, {13, 52, 5, 10}, 97, 10, false, false, false};
    v.IndoorTemperature = {257, 298, {16, 19, 6, 10}, 175, {0, 0, 1, 1}, 122, 32, false};
    v.OutdoorTemperature = {94, 263, {13, 45, 5, 10}, 94, {8, 0, 7, 10}, 140, -40, false};
    v.Barometer = {979, 10150, 3, 1, 2, 0, false};
    v.IndoorDewPoint = {8, 15, {18, 22, 5, 10}, 8, {8, 0, 7, 10}, 0, false, false};
    v.OutdoorDewPoint = {8, 15, {12, 12, 5, 10}, 7, {7, 55, 7, 10}, 0, false, false};
    v.Rain = {0, 1, 2, {0, 0, 1, 1}, false, 393, false, false};
    v.Wind = {28, 194, 26, 205, 100, 226, {12, 39, 5, 10}, 125, false, 1, false, false, false};
    v.WindChill = {7, 3, {9, 24, 4, 10}, -121, false};
    v.Console = {false, false, 5, 0, 0};
    const test::Decoded d = test::Decode(EncodeTelegramSet(v));
    ASSERT_EQ(d.Outcome, SetOutcome::Valid);
    EXPECT_EQ(d.Table.Rows(), test::Decode(TestTelegramSet()).Table.Rows());
}

// An empty line between them is skipped; the rain and the report after the nibbles are not read.
TEST(RawLogReplay, SetsComeBackFromTheLoggersLines) {
    const Bytes& set = TestTelegramSet();
    const Bytes text = test::LoggedLine(set) + "\r\n" + test::LoggedLine(set, "DL1ABC>APRS:!x");
    EXPECT_EQ(SetsFromRawLog(text, "WX.LOG"), (std::vector<Bytes>{set, set}));
}

}  // namespace
}  // namespace ombrix::sim
