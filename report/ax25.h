// The AX.25 unnumbered-information frame that carries the weather report on the air: address
// field, control 0x03, PID 0xF0 (no layer 3) and the report as information field, preceded by the
// engine's port byte. No flags and no frame check sequence: the engine adds them.
#pragma once

#include <array>
#include <cstdint>

#include "report/agwpe.h"
#include "station/bytes.h"

namespace ombrix {

// Destination, source, first and second digipeater, the empty end marker and one unused entry.
using AddressList = std::array<Bytes, 6>;

constexpr std::size_t kAx25AddressLength = 7;

// One 7-byte address subfield: NAME upper-cased, cut or blank-padded to 6 characters, each code
// shifted left by one; then the SSID byte (command/repeated bit, 0x60, SSID << 1, extension bit).
// "Wide3-3" and "WIDE3-3" give the same subfield. Raises "Invalid procedure call" for a character
// that does not fit a byte once shifted (codes from 128 on) and for an SSID that is not a whole
// number from 0 to 15: either would put a corrupt address on the air.
Bytes EncodeAx25Address(int commandBit, int extensionBit, BytesView call);

// Port byte (port × 16), the address field up to the first entry whose successor is empty, 0x03,
// 0xF0 and info. Raises before anything is sent when any part cannot be encoded.
Bytes Ax25UiFrame(std::int16_t port, const AddressList& addresses, BytesView info);

// Builds the frame and sends it as an AGWPE frame of kind "K" with empty calls in the header.
void SendAx25Ui(FrameSink* sink, std::int16_t port, const AddressList& addresses, BytesView info);

// True when call is a station's own callsign: not empty and not one of the placeholders N0CALL or
// NOCALL (any case, any SSID). A frame needs a real source address to be valid AX.25.
bool IsAssignedCallsign(BytesView call);

}  // namespace ombrix
