// The AGWPE packet engine's TCP interface, as far as this program uses it: a 36-byte header in
// front of every frame, and frames of kind "K" (a raw AX.25 frame) written to the engine.
#pragma once

#include <cstdint>

#include "station/bytes.h"

namespace ombrix {

// Where AGWPE frames go: 36-byte header and data, written in one piece. Errors are the sink's own
// business; the core never hears of them.
class FrameSink {
  public:
    virtual ~FrameSink() = default;
    virtual void WriteAgwFrame(const Bytes& wire) = 0;
};

constexpr std::size_t kAgwHeaderLength = 36;
constexpr std::size_t kAgwCallLength = 10;

// The header fields this program fills; every other byte of the header is 0.
struct AgwHeader {
    unsigned char Port = 0;      // radio port of the engine, 0-based
    unsigned char DataKind = 0;  // 'K': raw AX.25 frame
    unsigned char Pid = 0;
    Bytes FromCall = Bytes(kAgwCallLength, '\0');  // exactly 10 bytes, NUL-padded
    Bytes ToCall = Bytes(kAgwCallLength, '\0');
    Bytes DataLen = Bytes(4, '\0');  // EncodeLength32 of the data part
};

// The length of data as an unsigned 32-bit number, least significant byte first.
Bytes EncodeLength32(BytesView data);

// Header followed by data, byte by byte, each header field at its full width.
Bytes AgwWireBytes(const AgwHeader& header, BytesView data);

// Fills the header (port byte, the first character of kind, PID 0, the calls cut or padded to 10
// bytes, DataLen) and hands header and data to WriteAgwFrame. A port outside 0..255 raises
// "Invalid procedure call" before anything is written.
void SendAgwFrame(FrameSink* sink, std::int16_t port, BytesView kind, BytesView fromCall,
                  BytesView toCall, BytesView data);

// Writes header and data in one piece. From here on errors are ignored: the frame is simply lost.
void WriteAgwFrame(FrameSink* sink, const AgwHeader& header, BytesView data) noexcept;

}  // namespace ombrix
