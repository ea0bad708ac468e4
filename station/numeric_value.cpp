#include "station/numeric_value.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string>

namespace ombrix {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The power of ten of the first significant digit of a number written as digits, an optional
// point and more digits, and an optional exponent "e" with sign and digits ("120" 2, "0.05" -2,
// "7e-3" -3). Only its sign matters, so it is kept within a billion either way.
long long DecimalMagnitude(const std::string& number) {
    constexpr long long kLimit = 1000000000;
    const std::size_t e = number.find('e');
    const std::string mantissa = number.substr(0, e);
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t first = mantissa.find_first_of("123456789");
    if (first == std::string::npos) return -kLimit;  // zero
    long long magnitude = first < point ? static_cast<long long>(point - first) - 1
                                        : -static_cast<long long>(first - point);
    if (e != std::string::npos) {
        long long exponent = 0;
        std::size_t i = e + 1;
        const bool negative = i < number.size() && number[i] == '-';
        if (i < number.size() && (number[i] == '-' || number[i] == '+')) ++i;
        for (; i < number.size(); ++i)
            exponent = std::min(kLimit, exponent * 10 + (number[i] - '0'));
        magnitude += negative ? -exponent : exponent;
    }
    return magnitude;
}

}  // namespace

double NumericValue(BytesView text) {
    std::string s;  // the text without blanks, tabs and line feeds
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n') s += c;
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    std::string number;
    bool digits = false;
    while (i < s.size() && IsDigit(s[i])) {
        number += s[i++];
        digits = true;
    }
    if (i < s.size() && s[i] == '.') {
        number += s[i++];
        while (i < s.size() && IsDigit(s[i])) {
            number += s[i++];
            digits = true;
        }
    }
    if (!digits) return 0.0;
    // An exponent with E or D counts only when digits follow it.
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) exponent += s[j++];
        const std::size_t firstDigit = j;
        while (j < s.size() && IsDigit(s[j])) exponent += s[j++];
        if (j > firstDigit) number += exponent;
    }
    if (number.front() == '.') number.insert(number.begin(), '0');
    double value = 0.0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        // Too large for a number at all, or so small that it is 0 ("1e-999", but also "0.000…1"
        // with hundreds of zeros): the place of the first significant digit decides.
        value = DecimalMagnitude(number) < 0 ? 0.0 : std::numeric_limits<double>::infinity();
    }
    return negative ? -value : value;
}

}  // namespace ombrix
