#include "station/telegram_set.h"

namespace ombrix {

GroupChecksum CheckGroup(BytesView group) {
    GroupChecksum result;
    if (group.empty()) return result;
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < group.size(); ++i) sum += Code(group[i]);
    result.Computed = sum & 255u;
    result.Received = Code(group.back());
    return result;
}

Bytes BuildNibbleString(BytesView set) {
    Bytes nibbles;
    nibbles.reserve(2 * set.size());
    for (char byte : set) {
        nibbles.push_back(static_cast<char>(Code(byte) & 15u));
        nibbles.push_back(static_cast<char>(Code(byte) >> 4));
    }
    return nibbles;
}

const Bytes& TestTelegramSet() {
    static const unsigned char kBytes[kTelegramSetLength] = {
        // Group1: clock, alarm time, humidity
        0x8F,
        0x46,
        0x00,
        0x08,
        0x07,
        0x1A,
        0x00,
        0x00,
        0x32,
        0x67,
        0x23,
        0x08,  //
        0x04,
        0x2A,
        0x03,
        0x80,
        0x70,
        0xA0,
        0x97,
        0x10,
        0x91,
        0x92,
        0x41,
        0x05,  //
        0x07,
        0x0A,
        0x24,
        0x35,
        0x51,
        0xA0,
        0x97,
        0x10,
        0x00,
        0x00,
        0x95,  //
        // Group2: temperature
        0x9F,
        0x57,
        0x82,
        0x29,
        0x19,
        0x16,
        0x06,
        0x5A,
        0x17,
        0x00,
        0x00,
        0x01,  //
        0x21,
        0x12,
        0x32,
        0x30,
        0x94,
        0x30,
        0x26,
        0x45,
        0x13,
        0x05,
        0x4A,
        0x09,  //
        0x00,
        0x08,
        0x07,
        0x0A,
        0x14,
        0x40,
        0x38,
        0x00,
        0x00,
        0x1C,  //
        // Group3: barometer, dew point
        0xAF,
        0x79,
        0x09,
        0x50,
        0x01,
        0x31,
        0x21,
        0x08,
        0x15,
        0x22,
        0x18,
        0x05,  //
        0x8A,
        0x00,
        0x80,
        0x70,
        0xA0,
        0x00,
        0x08,
        0x15,
        0x12,
        0x12,
        0x05,
        0x7A,  //
        0x50,
        0x75,
        0x70,
        0xA0,
        0x00,
        0x00,
        0xDF,  //
        // Group4: rain
        0xBF,
        0x00,
        0x00,
        0x01,
        0x00,
        0x02,
        0x00,
        0x00,
        0x00,
        0x01,
        0x11,
        0x93,  //
        0x03,
        0x6A,  //
        // Group5: wind, wind chill, power and display state
        0xCF,
        0x28,
        0x40,
        0x19,
        0x26,
        0x50,
        0x20,
        0x00,
        0x61,
        0x22,
        0x39,
        0x12,  //
        0x05,
        0x5A,
        0x12,
        0x40,
        0x07,
        0x03,
        0x24,
        0x09,
        0x04,
        0x0A,
        0x21,
        0x19,  //
        0x50,
        0x00,
        0x34,
    };
    static const Bytes set(reinterpret_cast<const char*>(kBytes), sizeof kBytes);
    return set;
}

}  // namespace ombrix
