#include "station/primitives.h"

#include <cmath>
#include <cstdio>

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

// The station's cells show at most one decimal; patterns with more than six print as printf does.
constexpr int kMaxDecimals = 6;
constexpr double kPow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000};

// |value| × 10^decimals rounded, halves away from zero, decided on the exact binary value of the
// double in plain double arithmetic, so that armhf (long double is a double there), aarch64 and
// x86-64 round alike; false when the result does not fit below 9·10^18.
bool ScaledMagnitude(double value, int decimals, unsigned long long& out) {
    if (!std::isfinite(value) || decimals < 0 || decimals > kMaxDecimals) return false;
    const double magnitude = std::fabs(value);
    const double scale = kPow10[decimals];
    // 9·10^18 / 10^decimals is a whole number a double holds exactly: the test is exact.
    if (!(magnitude < 9.0e18 / scale)) return false;
    // The whole part scales exactly in integers; the fraction (exact as well) times the scale stays
    // below 10^6, rounded by far less than a half: `units` is the whole part of the exact product,
    // or the whole number just above it that the product rounded to. The fused multiply-add gives
    // the exact sign of fraction × scale − (units + ½), and that alone says whether to round up.
    const double whole = std::floor(magnitude);
    const double fraction = magnitude - whole;
    const double units = std::floor(fraction * scale);
    const bool up = std::fma(fraction, scale, -(units + 0.5)) >= 0;
    out = static_cast<unsigned long long>(whole) * static_cast<unsigned long long>(scale) +
          static_cast<unsigned long long>(units) + (up ? 1u : 0u);
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

std::string ZeroFilled(long long n, int width) {
    std::string text = std::to_string(n < 0 ? -n : n);
    PadLeft(text, static_cast<std::size_t>(width));
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
