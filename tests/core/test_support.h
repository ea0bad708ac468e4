// Helpers shared by the core tests: decoding a set with a fixed clock, collecting error records
// and readings, and building variants of the built-in set nibble by nibble.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "decode/decoder.h"
#include "station/bytes.h"
#include "station/clock.h"
#include "station/telegram_set.h"

namespace ombrix::test {

// A file of tests/core/data, byte for byte.
inline Bytes ReadTestData(const std::string& name) {
    std::ifstream in(std::string(OMBRIX_CORE_TEST_DATA) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// 12 May 2026, 14:05:09.
inline LocalTime FixedTime() {
    return {2026, 5, 12, 14, 5, 9};
}

// Cells are written with "_" for the decimal separator; this puts the real one in.
inline std::string WithSeparator(std::string text, const std::string& separator) {
    std::string out;
    for (char ch : text) {
        if (ch == '_') {
            out += separator;
        } else {
            out += ch;
        }
    }
    return out;
}

// One decoder as a freshly started program has it, with its error records and the readings of
// the last valid set.
struct DecodeHarness {
    explicit DecodeHarness(std::string separator = ".")
        : decoder(std::move(separator), FixedTime,
                  [this](const Bytes& record) { records.push_back(record); }) {
        decoder.AddStage([this](DecodeCall& call) { slots = call.Slots; });
    }
    DecodeHarness(const DecodeHarness&) = delete;
    DecodeHarness& operator=(const DecodeHarness&) = delete;

    SetOutcome Decode(BytesView set) { return decoder.DecodeTelegramSet(set); }
    const MeasurementTable& Table() const { return decoder.Table(); }
    const std::string& Cell(int row, int column) const {
        return decoder.Table().Row(row)[static_cast<std::size_t>(column)];
    }

    Decoder decoder;
    std::vector<Bytes> records;
    Readings slots;
};

struct NibbleEdit {
    int Position;  // 1-based position in the nibble string
    int Value;     // 0..15
};

inline void SetNibble(Bytes& set, int position, int value) {
    const auto index = static_cast<std::size_t>((position + 1) / 2 - 1);
    unsigned byte = Code(set.at(index));
    if (position % 2 == 1) {
        byte = (byte & 0xF0u) | (static_cast<unsigned>(value) & 15u);
    } else {
        byte = (byte & 0x0Fu) | ((static_cast<unsigned>(value) & 15u) << 4);
    }
    set[index] = static_cast<char>(byte);
}

// Rewrites the last byte of every group so that all five checksums pass again.
inline void FixChecksums(Bytes& set) {
    for (const GroupBounds& g : kGroups) {
        unsigned sum = 0;
        for (std::size_t i = g.First - 1; i < g.First - 1 + g.Length - 1; ++i) sum += Code(set[i]);
        set[g.First - 1 + g.Length - 1] = static_cast<char>(sum & 255u);
    }
}

// The built-in set with some nibbles replaced and valid checksums.
inline Bytes TestSetWith(const std::vector<NibbleEdit>& edits) {
    Bytes set = TestTelegramSet();
    for (const NibbleEdit& e : edits) SetNibble(set, e.Position, e.Value);
    FixChecksums(set);
    return set;
}

}  // namespace ombrix::test
