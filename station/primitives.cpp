#include "station/primitives.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "station/errors.h"

namespace ombrix {

std::int16_t DigitsToNumber(BytesView digits) {
    int v = 0;
    for (std::size_t i = digits.size(); i > 0; --i) {
        v = v * 10 + static_cast<int>(Code(digits[i - 1]));
        if (v > 32767) Raise(kOverflow);
    }
    return static_cast<std::int16_t>(v);
}

std::int16_t GetBit(std::int16_t n, BytesView c) {
    if (c.empty() || n < 0 || n > 14) Raise(kInvalidProcedureCall);
    const unsigned m = 1u << n;
    return static_cast<std::int16_t>((Code(c[0]) & m) / m);
}

namespace {

// x87/quad long double holds the product of a double and a small power of ten exactly, so the
// rounding below sees the exact value of the stored number.
static_assert(std::numeric_limits<long double>::digits >= 64);

constexpr long long kPow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000};

// |value| × 10^decimals rounded, halves away from zero; false when it does not fit.
bool ScaledMagnitude(double value, int decimals, unsigned long long& out) {
    if (!std::isfinite(value) || decimals < 0 || decimals > 6) return false;
    const long double t = std::fabs(static_cast<long double>(value)) * kPow10[decimals];
    if (!(t < 9.0e18L)) return false;
    const long double whole = std::floor(t);
    out = static_cast<unsigned long long>(whole) + ((t - whole) >= 0.5L ? 1u : 0u);
    return true;
}

void PadLeft(std::string& s, std::size_t width) {
    if (s.size() < width) s.insert(0, width - s.size(), '0');
}

}  // namespace

long long RoundHalfAway(double value) {
    unsigned long long m = 0;
    if (!ScaledMagnitude(value, 0, m)) return static_cast<long long>(std::llround(value));
    return value < 0 ? -static_cast<long long>(m) : static_cast<long long>(m);
}

std::string FormatNumber(double value, NumberPattern pattern, std::string_view separator) {
    unsigned long long scaled = 0;
    if (!ScaledMagnitude(value, pattern.Decimals, scaled)) {
        char buffer[400];
        std::snprintf(buffer, sizeof buffer, "%.*f", pattern.Decimals, value);
        return buffer;
    }
    const auto unit = static_cast<unsigned long long>(kPow10[pattern.Decimals]);
    std::string text = std::to_string(scaled / unit);
    PadLeft(text, static_cast<std::size_t>(pattern.MinIntegerDigits));
    if (pattern.Decimals > 0) {
        std::string fraction = std::to_string(scaled % unit);
        PadLeft(fraction, static_cast<std::size_t>(pattern.Decimals));
        text += separator;
        text += fraction;
    }
    if (value < 0 && scaled != 0) text.insert(0, 1, '-');
    return text;
}

std::string NumberText(long long x) {
    std::string text = std::to_string(x);
    if (x >= 0) text.insert(0, 1, ' ');
    return text;
}

std::string TwoDigits(int n) {
    std::string text = std::to_string(n < 0 ? -n : n);
    PadLeft(text, 2);
    if (n < 0) text.insert(0, 1, '-');
    return text;
}

std::string TimeText(BytesView nibbles, int ph, int pm) {
    return TwoDigits(ReadDigits(nibbles, ph, 2)) + ":" + TwoDigits(ReadDigits(nibbles, pm, 2));
}

std::string DateText(BytesView nibbles, int pd, int pmo) {
    return TwoDigits(ReadDigits(nibbles, pd, 2)) + "." + TwoDigits(ReadDigits(nibbles, pmo, 1));
}

std::string StampText(BytesView nibbles, int ph, int pm, int pd, int pmo) {
    return TimeText(nibbles, ph, pm) + " / " + DateText(nibbles, pd, pmo);
}

std::string RangeFlagsText(std::string_view label1, int flag1, std::string_view label2, int flag2) {
    std::string text(label1);
    text += NumberText(flag1);
    text += "; ";
    text += label2;
    text += NumberText(flag2);
    return text;
}

}  // namespace ombrix
