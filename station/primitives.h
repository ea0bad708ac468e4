// Reading digits and bits out of the nibble string, and the recurring cell texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "station/bytes.h"

namespace ombrix {

// Folds the character codes into a decimal number, the last character being the most significant
// digit, in 16-bit signed arithmetic. Raises Overflow above 32767. Codes 10..15 weigh like digits.
std::int16_t DigitsToNumber(BytesView digits);

// Bit n of the code of the first character of c. An empty c raises "Invalid procedure call".
std::int16_t GetBit(std::int16_t n, BytesView c);

// Field reads by 1-based position in the nibble string.
inline std::int16_t ReadDigits(BytesView nibbles, int p, int k) {
    return DigitsToNumber(Mid(nibbles, static_cast<std::size_t>(p), static_cast<std::size_t>(k)));
}
inline std::int16_t ReadFlag(BytesView nibbles, int p, int n) {
    return GetBit(static_cast<std::int16_t>(n), Mid(nibbles, static_cast<std::size_t>(p), 1));
}

// A number pattern such as "##0.0": the count of '0' before the point is the least number of
// integer digits shown, the characters after it the number of decimals.
struct NumberPattern {
    int MinIntegerDigits = 1;
    int Decimals = 0;

    consteval NumberPattern(const char* pattern) {  // NOLINT: patterns are written as literals
        bool fraction = false;
        MinIntegerDigits = 0;
        for (const char* c = pattern; *c != '\0'; ++c) {
            if (*c == '.') {
                fraction = true;
            } else if (fraction) {
                ++Decimals;
            } else if (*c == '0') {
                ++MinIntegerDigits;
            }
        }
    }
};

// The value rounded at the pattern's decimals, exact halves away from zero, with the given decimal
// separator. A value that rounds to zero carries no minus sign.
std::string FormatNumber(double value, NumberPattern pattern, std::string_view separator);

// Whole-number rounding of the same kind (halves away from zero), for the report fields.
long long RoundHalfAway(double value);

// " 149" for 149, " 0" for 0, "-5" for -5.
std::string NumberText(long long x);

inline std::string ValueText(double x, NumberPattern pattern, std::string_view unit,
                             std::string_view separator) {
    std::string text = FormatNumber(x, pattern, separator);
    text += unit;
    return text;
}

// The magnitude with at least `width` digits, zeros in front, a minus before them: the zero-filled
// patterns "00", "000", "00000" (7 with "000" is "007", -5 with "00" is "-05").
std::string ZeroFilled(long long n, int width);
inline std::string TwoDigits(int n) {
    return ZeroFilled(n, 2);
}

// At least two digits each; a value that is no valid time or date still shows its raw numbers.
std::string TimeText(BytesView nibbles, int ph, int pm);
std::string DateText(BytesView nibbles, int pd, int pmo);
std::string StampText(BytesView nibbles, int ph, int pm, int pd, int pmo);

inline std::string AlarmSetText(bool armed) {
    return armed ? "Ein" : "Aus";
}

std::string RangeFlagsText(std::string_view label1, int flag1, std::string_view label2, int flag2);

}  // namespace ombrix
