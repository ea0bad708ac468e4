// The telegram set: one burst of 141 bytes from the station console in five groups, each ending
// in a checksum byte (the sum of the group's other bytes, lead byte included, modulo 256).
#pragma once

#include <array>
#include <cstddef>

#include "station/bytes.h"

namespace ombrix {

constexpr std::size_t kTelegramSetLength = 141;
constexpr std::size_t kNibbleStringLength = 2 * kTelegramSetLength;

struct GroupBounds {
    std::size_t First;  // 1-based set position of the lead byte
    std::size_t Length;
};

// Group1 to Group5: clock and humidity; temperature; barometer and dew point; rain; wind and
// display state.
constexpr std::array<GroupBounds, 5> kGroups{{{1, 35}, {36, 34}, {70, 31}, {101, 14}, {115, 27}}};

struct GroupChecksum {
    unsigned Computed = 0;  // sum of all bytes but the last, modulo 256
    unsigned Received = 0;  // the group's last byte
    bool Ok() const { return Computed == Received; }
};

GroupChecksum CheckGroup(BytesView group);

// 282 characters with codes 0..15: low nibble of each byte, then its high nibble.
Bytes BuildNibbleString(BytesView set);

// The built-in valid set fed by the "Testwerte" button.
const Bytes& TestTelegramSet();

}  // namespace ombrix
