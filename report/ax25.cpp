#include "report/ax25.h"

#include <cmath>

#include "station/errors.h"
#include "station/numeric_value.h"

namespace ombrix {

namespace {

constexpr std::size_t kNameLength = 6;

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The character with the given code; the runtime refuses codes outside a byte.
char Chr(long code) {
    if (code < 0 || code > 255) Raise(kInvalidProcedureCall);
    return static_cast<char>(code);
}

// The SSID after the "-", read as the runtime's Val reads a number; only a whole 0 to 15 fits the
// four bits of the SSID subfield.
long ParseSsid(BytesView text) {
    const double value = NumericValue(text);
    if (!(value >= 0 && value <= 15) || value != std::floor(value)) Raise(kInvalidProcedureCall);
    return static_cast<long>(value);
}

struct SplitCall {
    Bytes Name;  // upper case, as given (not yet cut or padded)
    BytesView SsidText;
};

SplitCall Split(BytesView call) {
    const std::size_t dash = call.find('-');
    SplitCall split;
    const BytesView name = call.substr(0, dash);
    split.Name.reserve(name.size());
    for (char c : name) split.Name.push_back(Upper(c));
    if (dash != BytesView::npos) split.SsidText = call.substr(dash + 1);
    return split;
}

}  // namespace

Bytes EncodeAx25Address(int commandBit, int extensionBit, BytesView call) {
    const SplitCall split = Split(call);
    Bytes name = split.Name.substr(0, kNameLength);
    name.resize(kNameLength, ' ');
    Bytes subfield;
    subfield.reserve(kAx25AddressLength);
    for (char c : name) subfield.push_back(Chr(static_cast<long>(Code(c)) * 2));
    const long ssid = ParseSsid(split.SsidText);
    subfield.push_back(Chr(commandBit * 128L + 96 + ssid * 2 + extensionBit));
    return subfield;
}

Bytes Ax25UiFrame(std::int16_t port, const AddressList& addresses, BytesView info) {
    const int portByte = port * 16;
    if (portByte < -32768 || portByte > 32767) Raise(kOverflow);
    Bytes frame(1, Chr(portByte));
    for (std::size_t i = 0;; ++i) {
        if (i + 1 >= addresses.size()) Raise(kSubscriptOutOfRange);
        const int last = addresses[i + 1].empty() ? 1 : 0;
        frame += EncodeAx25Address(i == 0 ? 1 : 0, last, addresses[i]);
        if (last == 1) break;
    }
    frame.push_back(Chr(0x03));
    frame.push_back(Chr(0xF0));
    frame.append(info);
    return frame;
}

void SendAx25Ui(FrameSink* sink, std::int16_t port, const AddressList& addresses, BytesView info) {
    const Bytes frame = Ax25UiFrame(port, addresses, info);
    SendAgwFrame(sink, port, "K", {}, {}, frame);
}

bool IsAssignedCallsign(BytesView call) {
    // Compare the name as it would go on the air (cut to six characters), blanks aside.
    Bytes name = Split(call).Name;
    while (!name.empty() && name.front() == ' ') name.erase(0, 1);
    name = name.substr(0, kNameLength);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return !name.empty() && name != "N0CALL" && name != "NOCALL";
}

}  // namespace ombrix
