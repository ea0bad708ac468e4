// The numeric value of a setting ("CommPortOmbrix", "AGWPEPort") on arbitrary texts, as UTF-8 and
// as Latin-1, and its 16-bit rounding. Two oracles: a text that is a plain whole number (with
// blanks, tabs and line feeds anywhere) gives exactly that number, and every text gives what the C
// library's strtod makes of the number at its start (this target never changes the C locale, so
// strtod reads a "." as the decimal point).
#include <QString>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/settings.h"

namespace {

void Check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "settings_fuzz: %s\n", what);
    std::abort();
}

// The value of a text that is an optional sign and up to 9 digits once blanks, tabs and line
// feeds are taken out; -1 for any other text.
long long PlainWholeNumber(const std::string& text, bool& negative) {
    std::string s;
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n') s += c;
    negative = false;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i == s.size() || s.size() - i > 9) return -1;
    long long value = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return -1;
        value = value * 10 + (s[i] - '0');
    }
    return value;
}

// The number at the start of the text as the runtime's Val reads it, converted by strtod: blanks,
// tabs and line feeds left out, a sign, digits with one decimal point, and an exponent with E or
// D when digits follow it; 0 when no digit comes before the exponent.
double ReferenceValue(const QString& text) {
    std::string s;
    for (QChar c : text) {
        if (c == ' ' || c == '\t' || c == '\n') continue;
        s += c.unicode() < 128 ? static_cast<char>(c.unicode()) : '?';
    }
    std::size_t i = 0;
    std::string number;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) number += s[i++];
    bool digits = false;
    for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i, digits = true)
        number += s[i];
    if (i < s.size() && s[i] == '.') {
        number += s[i++];
        for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i, digits = true)
            number += s[i];
    }
    if (!digits) return 0.0;
    if (i + 1 < s.size() && std::string_view("EeDd").find(s[i]) != std::string_view::npos) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (s[j] == '+' || s[j] == '-') exponent += s[j++];
        const std::size_t first = j;
        for (; j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])); ++j)
            exponent += s[j];
        if (j > first) number += exponent;
    }
    return std::strtod(number.c_str(), nullptr);
}

void CheckText(const QString& text, const std::string& bytes, bool plainApplies) {
    const double value = ombrix::NumericValue(text);
    Check(!std::isnan(value), "a numeric value that is not a number");
    const double reference = ReferenceValue(text);
    // Denormal results may differ in their last bits; anything that rounds to a whole number
    // must agree exactly.
    if (!(value == reference || (std::fabs(value) < 1e-300 && std::fabs(reference) < 1e-300)))
        std::fprintf(stderr, "settings_fuzz: %.17g, strtod %.17g\n", value, reference);
    Check(value == reference || (std::fabs(value) < 1e-300 && std::fabs(reference) < 1e-300),
          "the numeric value differs from strtod's");
    const std::optional<std::int16_t> whole = ombrix::ToInteger16(value);
    if (whole) {
        Check(std::fabs(static_cast<double>(*whole) - value) <= 0.5, "rounded too far");
    } else {
        Check(!(std::nearbyint(value) >= -32768 && std::nearbyint(value) <= 32767),
              "a 16-bit value was refused");
    }
    if (!plainApplies) return;
    bool negative = false;
    const long long plain = PlainWholeNumber(bytes, negative);
    if (plain < 0) return;
    const double expected = negative ? -static_cast<double>(plain) : static_cast<double>(plain);
    Check(value == expected, "a plain whole number was read wrongly");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CheckText(QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())), bytes,
              QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())).toUtf8() ==
                  QByteArray::fromStdString(bytes));
    CheckText(QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size())), bytes, true);
    return 0;
}
