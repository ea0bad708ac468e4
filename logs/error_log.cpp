#include "logs/error_log.h"

#include "station/primitives.h"

namespace ombrix {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::size_t kPrintZone = 14;

// A number as the runtime prints it: sign place (blank or "-"), digits, one trailing blank.
std::string PrintNumber(long long n) {
    return NumberText(n) + " ";
}

// Blanks up to the start of the next print zone (zones start at columns 1, 15, 29, ...).
void NextPrintZone(Bytes& line) {
    line.append(kPrintZone - line.size() % kPrintZone, ' ');
}

}  // namespace

Bytes ToLatin1(std::string_view utf8) {
    Bytes out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned b = Code(utf8[i]);
        if (b < 0x80) {
            out.push_back(utf8[i]);
            ++i;
        } else if ((b & 0xE0) == 0xC0 && i + 1 < utf8.size() &&
                   (Code(utf8[i + 1]) & 0xC0) == 0x80) {
            const unsigned cp = ((b & 0x1F) << 6) | (Code(utf8[i + 1]) & 0x3F);
            out.push_back(cp < 0x100 ? static_cast<char>(cp) : '?');
            i += 2;
        } else {
            out.push_back('?');
            ++i;
            while (i < utf8.size() && (Code(utf8[i]) & 0xC0) == 0x80) ++i;
        }
    }
    return out;
}

Bytes ErrorLogRecord(const DecodeError& e) {
    const RuntimeError& error = e.Error;
    const LocalTime& now = e.When;
    const int newItem = e.NewItem;
    Bytes record(kLineEnd);

    Bytes line = TwoDigits(now.Month) + "-" + TwoDigits(now.Day) + "-" + std::to_string(now.Year);
    NextPrintZone(line);
    line += TwoDigits(now.Hour) + ":" + TwoDigits(now.Minute) + ":" + TwoDigits(now.Second);
    record += line;
    record += kLineEnd;

    record += "Err.Number: " + PrintNumber(error.Number);
    record += kLineEnd;
    record += "Err.Description: " + ToLatin1(error.Description);
    record += kLineEnd;
    record += "Err.Source: " + ToLatin1(error.Source);
    record += kLineEnd;
    record += "BCD: ";
    record += e.NibbleString;
    record += kLineEnd;

    if (newItem < 1) return record;
    const TableRow& row = e.Row;
    line = "NewItem.Index: " + PrintNumber(newItem);
    NextPrintZone(line);
    line += ToLatin1(row[0]);
    record += line;
    record += kLineEnd;
    for (int i = 1; i < kColumnCount; ++i) {
        record += "ListView1.ListItems(" + PrintNumber(newItem) + ").SubItems(" + PrintNumber(i) +
                  "): " + ToLatin1(row[static_cast<std::size_t>(i)]);
        record += kLineEnd;
    }
    return record;
}

}  // namespace ombrix
