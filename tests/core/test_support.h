// Helpers shared by the decoder and report tests: a decoder as a freshly started program has it,
// and variants of the built-in set with chosen nibbles and valid checksums.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "decode/decoder.h"
#include "station/bytes.h"
#include "station/clock.h"
#include "station/telegram_set.h"

namespace ombrix::test {

// 12 May 2026, 14:05:09.
inline LocalTime FixedTime() {
    return {2026, 5, 12, 14, 5, 9};
}

// Cells are written with "_" for the decimal separator; this puts the real one in.
inline std::string WithSeparator(std::string text, const std::string& separator) {
    for (std::size_t at; (at = text.find('_')) != std::string::npos;)
        text.replace(at, 1, separator);
    return text;
}

// One decoder as a freshly started program has it, with its error records and the readings of
// the last valid set.
struct DecodeHarness {
    explicit DecodeHarness(std::string separator = ".")
        : decoder(std::move(separator), FixedTime,
                  [this](const Bytes& record) { records.push_back(record); }) {
        decoder.AddStage([this](DecodeCall& call) { readings = call.Slots; });
    }
    DecodeHarness(const DecodeHarness&) = delete;
    SetOutcome Decode(BytesView set) { return decoder.DecodeTelegramSet(set); }
    const MeasurementTable& Table() const { return decoder.Table(); }
    const std::string& Cell(int row, int column) const {
        return decoder.Table().Row(row)[static_cast<std::size_t>(column)];
    }

    Decoder decoder;
    std::vector<Bytes> records;
    Readings readings;
};

// Sets nibble `position` (1-based, the low nibble of each byte first) to `value`.
inline void SetNibble(Bytes& set, int position, int value) {
    char& byte = set.at(static_cast<std::size_t>((position - 1) / 2));
    const unsigned shift = position % 2 == 1 ? 0 : 4;
    const unsigned bits = (static_cast<unsigned>(value) & 15u) << shift;
    byte = static_cast<char>((Code(byte) & ~(15u << shift)) | bits);
}

// Rewrites the last byte of every group so that all five checksums pass again.
inline void FixChecksums(Bytes& set) {
    for (const GroupBounds& g : kGroups) {
        unsigned sum = 0;
        for (std::size_t i = g.First - 1; i < g.First + g.Length - 2; ++i) sum += Code(set[i]);
        set[g.First + g.Length - 2] = static_cast<char>(sum & 255u);
    }
}

// The built-in set with nibbles replaced and valid checksums. "103=35A 149=4" puts 3, 5 and 10
// at nibble positions 103, 104 and 105, and 4 at position 149.
inline Bytes TestSetWith(const std::string& edits) {
    Bytes set = TestTelegramSet();
    std::istringstream in(edits);
    int position = 0;
    char equals = 0;
    std::string values;
    while (in >> position >> equals >> values) {
        EXPECT_EQ(equals, '=') << edits;
        for (char v : values) SetNibble(set, position++, std::stoi(std::string(1, v), nullptr, 16));
    }
    FixChecksums(set);
    return set;
}

}  // namespace ombrix::test
