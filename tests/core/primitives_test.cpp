// Digits and bits out of the nibble string, number patterns and the recurring cell texts.
#include <gtest/gtest.h>

#include <functional>
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

struct DigitsCase {
    Bytes Digits;
    int Expected;
};

TEST(DigitsToNumber, FoldsTheLastCharacterAsMostSignificant) {
    const DigitsCase cases[] = {
        {Nibbles({9, 5}), 59},
        {Nibbles({5, 9}), 95},
        {Nibbles({12}), 12},
        {Bytes(), 0},
        {Nibbles({10, 1}), 20},
        {Nibbles({0, 0, 0, 0, 0}), 0},
        {Nibbles({7, 6, 7, 2, 3}), 32767},
        {Nibbles({15, 15, 15, 15}), 16665},
        {Nibbles({0, 5, 1, 0, 1}), 10150},
        {Nibbles({9, 9, 9, 9, 2}), 29999},
    };
    for (const DigitsCase& c : cases) EXPECT_EQ(DigitsToNumber(c.Digits), c.Expected) << c.Expected;
}

TEST(DigitsToNumber, OverflowsAbove32767) {
    const Bytes overflowing[] = {Nibbles({9, 9, 9, 9, 9}), Nibbles({8, 6, 7, 2, 3}),
                                 Nibbles({0, 0, 0, 0, 4}), Nibbles({15, 15, 15, 15, 15}),
                                 Nibbles({0, 0, 0, 0, 0, 1})};
    for (const Bytes& digits : overflowing) {
        EXPECT_EQ(ErrorOf([&] { DigitsToNumber(digits); }), kOverflow);
    }
    EXPECT_EQ(ErrorDescription(kOverflow), "Overflow");
}

TEST(ReadDigits, ReadsByOneBasedPositionAndStraddlesBytes) {
    // Bytes 0x59, 0x21 as nibbles: 9 5 1 2.
    const Bytes nibbles = Nibbles({9, 5, 1, 2});
    EXPECT_EQ(ReadDigits(nibbles, 1, 2), 59);
    EXPECT_EQ(ReadDigits(nibbles, 2, 2), 15);  // high nibble of byte 1 as units
    EXPECT_EQ(ReadDigits(nibbles, 3, 1), 1);
    EXPECT_EQ(ReadDigits(nibbles, 1, 4), 2159);
    EXPECT_EQ(ReadFlag(nibbles, 1, 3), 1);
    EXPECT_EQ(ReadFlag(nibbles, 4, 1), 1);
    EXPECT_EQ(ReadFlag(nibbles, 4, 0), 0);
}

TEST(GetBit, ReadsOneBitOfTheFirstCharacter) {
    struct Case {
        int Bit;
        int Code;
        int Expected;
    };
    const Case cases[] = {{3, 8, 1}, {2, 8, 0}, {0, 15, 1}, {1, 15, 1}, {3, 7, 0},
                          {0, 0, 0}, {1, 2, 1}, {0, 2, 0},  {3, 15, 1}};
    for (const Case& c : cases) {
        EXPECT_EQ(GetBit(static_cast<std::int16_t>(c.Bit), Nibbles({c.Code, 1})), c.Expected)
            << "bit " << c.Bit << " of " << c.Code;
    }
    EXPECT_EQ(GetBit(7, Bytes("\x80", 1)), 1);
    EXPECT_EQ(ErrorOf([] { GetBit(0, Bytes()); }), kInvalidProcedureCall);
}

struct PatternCase {
    double Value;
    NumberPattern Pattern;
    const char* Separator;
    const char* Expected;
};

TEST(NumberPattern, RoundsTheExactValueHalvesAwayFromZero) {
    const PatternCase cases[] = {
        {5, "#0", ".", "5"},
        {1013.26, "#0", ".", "1013"},
        {5, "##0", ".", "5"},
        {5, "###0", ".", "5"},
        {5, "#000", ".", "005"},
        {1013.26, "#000", ".", "1013"},
        {95, "#000", ".", "095"},
        {5, "##0.0", ".", "5.0"},
        {1013.26, "##0.0", ".", "1013.3"},
        {5, "#000.0", ".", "005.0"},
        {1013.26, "#000.0", ",", "1013,3"},
        {0, "#000.0", ",", "000,0"},
        // The single-precision reading as stored: 10.08F is 10.0799999237...
        {10.08F, "##0.0", ".", "10.1"},
        {45.36F, "##0.0", ",", "45,4"},
        {9.36F, "##0.0", ".", "9.4"},
        {9.4F, "##0.0", ".", "9.4"},
        // 0.15 and 1.45 are stored just below the half; 1.45F just above it.
        {0.15, "#0.0", ".", "0.1"},
        {1.45, "#0.0", ".", "1.4"},
        {1.45F, "#0.0", ".", "1.5"},
        {0.25, "#0.0", ".", "0.3"},
        {-0.25, "#0.0", ".", "-0.3"},
        {25.5, "##0", ".", "26"},
        {2.5, "##0", ".", "3"},
        {-2.5, "##0", ".", "-3"},
        {0.5, "#0", ".", "1"},
        {-0.5, "#0", ".", "-1"},
        {-0.04, "##0.0", ".", "0.0"},
        {-0.0, "##0.0", ",", "0,0"},
        {-0.4, "##0", ".", "0"},
        {-0.06, "##0.0", ".", "-0.1"},
        {-25.3, "##0.0", ".", "-25.3"},
        {-40, "##0.0", ",", "-40,0"},
        {-121, "##0", ".", "-121"},
        {-5, "#000", ".", "-005"},
        {32767, "###0", ".", "32767"},
        {3276.7F, "#000.0", ".", "3276.7"},
        {599.4, "##0.0", ".", "599.4"},
    };
    for (const PatternCase& c : cases) {
        EXPECT_EQ(FormatNumber(c.Value, c.Pattern, c.Separator), c.Expected)
            << "value " << c.Value << " decimals " << c.Pattern.Decimals;
    }
}

TEST(NumberText, PutsABlankBeforeNonNegativeNumbers) {
    EXPECT_EQ(NumberText(0), " 0");
    EXPECT_EQ(NumberText(149), " 149");
    EXPECT_EQ(NumberText(-5), "-5");
    EXPECT_EQ(NumberText(32767), " 32767");
    EXPECT_EQ(NumberText(-32768), "-32768");
}

TEST(RangeFlagsAndAlarmSet, JoinLabelsAndFlags) {
    EXPECT_EQ(RangeFlagsText("Max Out Of Range:", 0, "Out Of Range:", 1),
              "Max Out Of Range: 0; Out Of Range: 1");
    EXPECT_EQ(RangeFlagsText("Min Out Of Range:", 1, "Out Of Range:", 0),
              "Min Out Of Range: 1; Out Of Range: 0");
    EXPECT_EQ(AlarmSetText(true), "Ein");
    EXPECT_EQ(AlarmSetText(false), "Aus");
}

struct StampCase {
    Bytes Nibbles;  // hours at 1-2, minutes at 3-4, day at 5-6, month at 7
    const char* Time;
    const char* Date;
};

TEST(StampText, ShowsRawNumbersWhenTheyAreNoTimeOrDate) {
    const StampCase cases[] = {
        {Nibbles({9, 0, 5, 0, 1, 0, 2}), "09:05", "01.02"},
        {Nibbles({4, 1, 5, 0, 7, 0, 10}), "14:05", "07.10"},
        {Nibbles({3, 2, 9, 5, 1, 3, 12}), "23:59", "31.12"},
        {Nibbles({5, 2, 0, 7, 0, 0, 13}), "25:70", "00.13"},
        {Nibbles({15, 15, 0, 0, 9, 2, 2}), "165:00", "29.02"},
        {Nibbles({0, 0, 15, 15, 15, 15, 15}), "00:165", "165.15"},
        {Nibbles({0, 0, 0, 0, 0, 3, 0}), "00:00", "30.00"},
    };
    for (const StampCase& c : cases) {
        EXPECT_EQ(TimeText(c.Nibbles, 1, 3), c.Time);
        EXPECT_EQ(DateText(c.Nibbles, 5, 7), c.Date);
        EXPECT_EQ(StampText(c.Nibbles, 1, 3, 5, 7), std::string(c.Time) + " / " + c.Date);
    }
}

}  // namespace
}  // namespace ombrix
