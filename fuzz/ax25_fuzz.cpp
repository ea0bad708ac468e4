// EncodeAx25Address and the whole UI frame on arbitrary callsign texts.
//
// Input: two bytes for the command and extension bits and the port, then up to six address texts
// separated by NUL bytes (the first is encoded alone as well).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "report/ax25.h"
#include "station/errors.h"

namespace {

using namespace ombrix;

void Check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "ax25_fuzz: %s\n", what);
    std::abort();
}

bool IsPlainCall(BytesView call) {
    const std::size_t dash = call.find('-');
    const BytesView name = call.substr(0, dash);
    for (char c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    if (dash == BytesView::npos) return true;
    const BytesView ssid = call.substr(dash + 1);
    if (ssid.empty() || ssid.size() > 2) return ssid.empty();
    for (char c : ssid)
        if (c < '0' || c > '9') return false;
    return std::atoi(Bytes(ssid).c_str()) <= 15;
}

void CheckSubfield(const Bytes& subfield, int command, int extension) {
    Check(subfield.size() == kAx25AddressLength, "a subfield that is not 7 bytes");
    for (std::size_t i = 0; i < 6; ++i) Check((Code(subfield[i]) & 1) == 0, "an odd name byte");
    const unsigned ssidByte = Code(subfield[6]);
    Check((ssidByte & 0x60) == 0x60, "the reserved bits are not set");
    Check((ssidByte & 1) == static_cast<unsigned>(extension), "the extension bit is wrong");
    Check((ssidByte >> 7) == static_cast<unsigned>(command), "the command bit is wrong");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const int command = data[0] & 1;
    const int extension = (data[0] >> 1) & 1;
    const auto port = static_cast<std::int16_t>(static_cast<std::int8_t>(data[1]));
    const BytesView rest(reinterpret_cast<const char*>(data + 2), size - 2);

    AddressList addresses;
    std::size_t start = 0;
    for (std::size_t i = 0; i < addresses.size() && start <= rest.size(); ++i) {
        const std::size_t end = std::min(rest.find('\0', start), rest.size());
        addresses[i] = Bytes(rest.substr(start, end - start));
        start = end + 1;
    }

    const BytesView call = addresses[0];
    try {
        const Bytes subfield = EncodeAx25Address(command, extension, call);
        CheckSubfield(subfield, command, extension);
        const Bytes again = EncodeAx25Address(command, extension, Bytes(subfield.size(), ' '));
        Check(again.size() == kAx25AddressLength, "a blank call did not encode");
    } catch (const RuntimeError& error) {
        Check(error.Number == kInvalidProcedureCall, "an unexpected error number");
        Check(!IsPlainCall(call), "a plain callsign was refused");
    }
    (void)IsAssignedCallsign(call);

    try {
        const Bytes frame = Ax25UiFrame(port, addresses, "info");
        Check(frame.size() >= 1 + 7 + 2 + 4, "a frame too short");
        Check((frame.size() - 1 - 2 - 4) % 7 == 0, "the address field is no multiple of 7");
        const std::size_t subfields = (frame.size() - 7) / 7;
        Check(subfields >= 1 && subfields <= 5, "too many subfields");
        for (std::size_t i = 0; i < subfields; ++i)
            CheckSubfield(frame.substr(1 + 7 * i, 7), i == 0 ? 1 : 0, i + 1 == subfields ? 1 : 0);
        Check(frame.ends_with("\x03\xF0info"), "control, PID and info are not at the end");
        Check(Code(frame[0]) == static_cast<unsigned>(port) * 16, "a wrong port byte");
    } catch (const RuntimeError& error) {
        Check(error.Number == kInvalidProcedureCall || error.Number == kOverflow ||
                  error.Number == kSubscriptOutOfRange,
              "an unexpected error number from the frame");
    }
    return 0;
}
