// Digits and bits out of the nibble string, number patterns and time stamps.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "station/errors.h"
#include "station/primitives.h"

namespace ombrix {
namespace {

Bytes Nibbles(std::initializer_list<int> codes) {
    Bytes out;
    for (int c : codes) out.push_back(static_cast<char>(c));
    return out;
}

// The number of the run-time error that f raises, 0 for none.
std::int32_t ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Source, "Ombrix");
        EXPECT_EQ(e.Description, ErrorDescription(e.Number));
        return e.Number;
    }
    return 0;
}

// The field tables reach these through whole sets; here the limits the sets cannot reach.
TEST(DigitsToNumber, FoldsTheLastCharacterAsMostSignificantAndOverflowsAbove32767) {
    EXPECT_EQ(DigitsToNumber(Bytes()), 0);
    EXPECT_EQ(DigitsToNumber(Nibbles({7, 6, 7, 2, 3})), 32767);
    EXPECT_EQ(ErrorOf([] { DigitsToNumber(Nibbles({8, 6, 7, 2, 3})); }), kOverflow);
    EXPECT_EQ(ErrorOf([] { DigitsToNumber(Nibbles({0, 0, 0, 0, 0, 1})); }), kOverflow);
}

TEST(GetBit, ReadsOneBitOfTheFirstCharacterBelowBitFifteen) {
    EXPECT_EQ(GetBit(7, Bytes("\x80\x7F", 2)), 1);
    EXPECT_EQ(GetBit(6, Bytes("\x80\x7F", 2)), 0);
    EXPECT_EQ(GetBit(14, Bytes("\xFF\x7F", 2)), 0);
    for (std::int16_t bit : {-1, 15})
        EXPECT_EQ(ErrorOf([&] { GetBit(bit, Nibbles({15})); }), kInvalidProcedureCall);
    EXPECT_EQ(ErrorOf([] { GetBit(0, Bytes()); }), kInvalidProcedureCall);
}

TEST(NumberPattern, RoundsTheExactValueHalvesAwayFromZero) {
    const struct {
        double Value;
        NumberPattern Pattern;
        const char* Separator;
        const char* Expected;
    } cases[] = {
        // clang-format off
        {5, "#0", ".", "5"}, {5, "###0", ".", "5"}, {95, "#000", ".", "095"},
        {1013.26, "#000", ".", "1013"}, {1013.26, "#000.0", ",", "1013,3"}, {0, "#000.0", ",", "000,0"},
        // The single-precision reading as stored: 10.08F is 10.0799999237...; 1.45 is stored just
        // below the half, 1.45F just above it.
        {10.08F, "##0.0", ".", "10.1"}, {1.45, "#0.0", ".", "1.4"}, {1.45F, "#0.0", ".", "1.5"},
        {0.25, "#0.0", ".", "0.3"}, {-0.25, "#0.0", ".", "-0.3"}, {2.5, "##0", ".", "3"},
        {-2.5, "##0", ".", "-3"}, {-0.5, "#0", ".", "-1"}, {32767, "###0", ".", "32767"},
        // No minus sign on a zero.
        {-0.04, "##0.0", ".", "0.0"}, {-0.0, "##0.0", ",", "0,0"}, {-0.4, "##0", ".", "0"},
        {-0.06, "##0.0", ".", "-0.1"}, {-5, "#000", ".", "-005"},
        // Carries through every digit; 0.05 is stored just above the half, -99.95 just beyond it.
        {9.96, "##0.0", ".", "10.0"}, {-99.95, "#0.0", ",", "-100,0"}, {999.5, "#000", ".", "1000"},
        {0.05, "0.0", ".", "0.1"},
        // Scaled to 9·10^18 and beyond, and not finite: printf's text, no pattern, no separator.
        {1e19, "#000.0", ",", "10000000000000000000.0"}, {-9e17, "0.0", ".", "-900000000000000000.0"},
        {-HUGE_VAL, "#0", ".", "-inf"}, {std::numeric_limits<double>::quiet_NaN(), "0.0", ".", "nan"},
        // clang-format on
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatNumber(c.Value, c.Pattern, c.Separator), c.Expected)
            << "value " << c.Value << " decimals " << c.Pattern.Decimals;
    }
}

// Times and dates that are none show the raw numbers, each with at least two digits.
TEST(StampText, ShowsRawNumbersWhenTheyAreNoTimeOrDate) {
    const struct {
        Bytes Nibbles;  // hours at 1-2, minutes at 3-4, day at 5-6, month at 7
        const char* Expected;
    } cases[] = {
        {Nibbles({9, 0, 5, 0, 1, 0, 2}), "09:05 / 01.02"},
        {Nibbles({15, 15, 0, 0, 9, 2, 2}), "165:00 / 29.02"},
        {Nibbles({0, 0, 15, 15, 15, 15, 15}), "00:165 / 165.15"},
        {Nibbles({0, 0, 0, 0, 0, 3, 0}), "00:00 / 30.00"},
    };
    for (const auto& c : cases) EXPECT_EQ(StampText(c.Nibbles, 1, 3, 5, 7), c.Expected);
}

}  // namespace
}  // namespace ombrix
