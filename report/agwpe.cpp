#include "report/agwpe.h"

#include "station/errors.h"

namespace ombrix {

namespace {

Bytes CallField(BytesView call) {
    Bytes field(call.substr(0, kAgwCallLength));
    field.resize(kAgwCallLength, '\0');
    return field;
}

void AppendField(Bytes& wire, BytesView field, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) wire.push_back(i < field.size() ? field[i] : '\0');
}

}  // namespace

Bytes EncodeLength32(BytesView data) {
    std::uint64_t n = data.size();
    Bytes result;
    for (int i = 0; i < 4; ++i) {
        result.push_back(static_cast<char>(n % 256));
        n /= 256;
    }
    return result;
}

Bytes AgwWireBytes(const AgwHeader& header, BytesView data) {
    Bytes wire;
    wire.reserve(kAgwHeaderLength + data.size());
    wire.push_back(static_cast<char>(header.Port));
    AppendField(wire, {}, 3);
    wire.push_back(static_cast<char>(header.DataKind));
    AppendField(wire, {}, 1);
    wire.push_back(static_cast<char>(header.Pid));
    AppendField(wire, {}, 1);
    AppendField(wire, header.FromCall, kAgwCallLength);
    AppendField(wire, header.ToCall, kAgwCallLength);
    AppendField(wire, header.DataLen, 4);
    AppendField(wire, {}, 4);  // User
    wire.append(data);
    return wire;
}

void SendAgwFrame(FrameSink* sink, std::int16_t port, BytesView kind, BytesView fromCall,
                  BytesView toCall, BytesView data) {
    if (port < 0 || port > 255) Raise(kInvalidProcedureCall);
    AgwHeader header;
    header.Port = static_cast<unsigned char>(port);
    header.DataKind = kind.empty() ? 0 : static_cast<unsigned char>(kind[0]);
    header.Pid = 0;
    header.FromCall = CallField(fromCall);
    header.ToCall = CallField(toCall);
    header.DataLen = EncodeLength32(data);
    WriteAgwFrame(sink, header, data);
}

void WriteAgwFrame(FrameSink* sink, const AgwHeader& header, BytesView data) noexcept {
    if (sink == nullptr) return;
    try {
        sink->WriteAgwFrame(AgwWireBytes(header, data));
    } catch (...) {
        // The engine's link reports nothing; a frame that cannot be written is lost.
    }
}

}  // namespace ombrix
