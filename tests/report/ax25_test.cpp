// Golden bytes of the AX.25 UI frame and the AGWPE header around it.
#include <gtest/gtest.h>

#include <stdexcept>

#include "decode_support.h"
#include "report/agwpe.h"
#include "report/ax25.h"
#include "station/errors.h"

namespace ombrix::test {
namespace {

// "86 a2 40" and the like: bytes written as hex pairs, blanks between them ignored.
Bytes Hex(std::string_view hex) {
    Bytes out;
    for (std::size_t i = 0; i < hex.size(); i += hex[i] == ' ' ? 1 : 2)
        if (hex[i] != ' ')
            out.push_back(char(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return out;
}

const Bytes kCq = Hex("86 a2 40 40 40 40 e0");          // CQ, command bit, not last
const Bytes kSource = Hex("88 98 62 82 84 86 60");      // DL1ABC, not last
const Bytes kWide33Last = Hex("ae 92 88 8a 66 40 67");  // WIDE3-3, last subfield

TEST(EncodeAx25Address, Subfields) {
    const struct {
        int Command;
        int Extension;
        Bytes Call;
        Bytes Expected;  // empty: the call is refused with error 5
    } cases[] = {
        {1, 0, "CQ", kCq},
        {0, 1, "Wide3-3", kWide33Last},  // lower case goes out in upper case
        {0, 0, "DL1ABC", kSource},
        {0, 0, "DL1ABCD", kSource},  // the seventh letter is lost
        {0, 1, "DL1ABC-15", Hex("88 98 62 82 84 86 7f")},
        {1, 1, "CQ", Hex("86 a2 40 40 40 40 e1")},
        {0, 0, "CQ-", Hex("86 a2 40 40 40 40 60")},       // no number after the dash: SSID 0
        {0, 0, "WIDE2-2X", Hex("ae 92 88 8a 64 40 64")},  // the number is read from the start
        {0, 0, "WIDE2-1.0", Hex("ae 92 88 8a 64 40 62")},
        {0, 0, "", Hex("40 40 40 40 40 40 60")},
        // A byte from 128 on cannot be shifted into one byte; an SSID outside 0..15 would spill
        // into the command and reserved bits.
        {0, 0, "DL1AB\xC4", ""},
        {0, 0, "DL1ABC-16", ""},
        {0, 0, "DL1ABC-1.5", ""},
        {0, 0, "DL1ABC--1", ""},
    };
    for (const auto& c : cases) {
        if (!c.Expected.empty()) {
            EXPECT_EQ(EncodeAx25Address(c.Command, c.Extension, c.Call), c.Expected) << c.Call;
            continue;
        }
        try {
            EncodeAx25Address(c.Command, c.Extension, c.Call);
            ADD_FAILURE() << "no error for " << c.Call;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.Number, kInvalidProcedureCall) << c.Call;
        }
    }
}

// The port in the high nibble of the first byte; the address list ends at the first empty
// successor; control 0x03 and PID 0xF0 before the report.
TEST(Ax25UiFrame, PortAddressListAndInfo) {
    const Bytes info = "!0000.00N/00000.00E_205/006g006t049r000P004h91b10150";
    const Bytes src = kSource.substr(0, 6);
    const struct {
        std::int16_t Port;
        AddressList Calls;
        Bytes Info;
        Bytes Addresses;  // after the port byte
    } cases[] = {
        {0, {"CQ", "DL1ABC", "Wide3-3", "", "", ""}, info, kCq + kSource + kWide33Last},
        {0, {"CQ", "DL1ABC", "", "", "", ""}, info, kCq + src + Hex("61")},
        {0, {"CQ", "DL1ABC", "", "WIDE2-1", "", ""}, info, kCq + src + Hex("61")},
        {0, {"CQ", "", "", "", "", ""}, info, Hex("86 a2 40 40 40 40 e1")},
        {0,
         {"CQ", "DL1ABC", "WIDE1-1", "WIDE2-2", "", ""},
         info,
         kCq + kSource + Hex("ae 92 88 8a 62 40 62 ae 92 88 8a 64 40 65")},
        // A text of blanks is not empty: it still counts as an address.
        {0, {"CQ", "DL1ABC", " ", "", "", ""}, info, kCq + kSource + Hex("40 40 40 40 40 40 61")},
        {15, {"CQ", "DL1ABC", "", "", "", ""}, "", kCq + src + Hex("61")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Ax25UiFrame(c.Port, c.Calls, c.Info),
                  Bytes(1, char(c.Port * 16)) + c.Addresses + Hex("03 f0") + c.Info)
            << c.Port << ":" << c.Calls[1] << "," << c.Calls[2] << "," << c.Calls[3];
    }
    for (std::int16_t port : {16, -1, 32767})
        EXPECT_THROW(Ax25UiFrame(port, {"CQ", "DL1ABC", "", "", "", ""}, ""), RuntimeError);
}

TEST(AgwFrame, HeaderBytes) {
    RecordingSink sink;
    const Bytes report(50, 'x');
    const AddressList calls{"CQ", "DL1ABC", "WIDE2-1", "", "", ""};
    SendAx25Ui(&sink, 2, calls, report);
    ASSERT_EQ(sink.frames.size(), 1u);
    // Port 2, kind "K", DataLen 0x4A: port byte, three subfields, control, PID and the report.
    EXPECT_EQ(sink.frames[0], Hex("02 000000 4b 000000") + Bytes(20, '\0') +
                                  Hex("4a000000 00000000") + Ax25UiFrame(2, calls, report));
    EXPECT_EQ(sink.frames[0][36], '\x20');

    EXPECT_EQ(EncodeLength32(""), Hex("00 00 00 00"));
    EXPECT_EQ(EncodeLength32(Bytes(0x10203, 'a')), Hex("03 02 01 00"));
    SendAgwFrame(&sink, 0, "K", "DL1ABC-123456", "CQ", Bytes(256, '\0'));
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_EQ(sink.frames[1].size(), 36u + 256u);
    EXPECT_EQ(sink.frames[1].substr(8, 10), "DL1ABC-123");  // cut to ten bytes
    EXPECT_EQ(sink.frames[1].substr(18, 10), Bytes("CQ") + Bytes(8, '\0'));
    EXPECT_EQ(sink.frames[1].substr(28, 8), Hex("00 01 00 00 00 00 00 00"));
}

// A sink that fails (the engine went away mid-write) does not stop the report stage.
TEST(AgwFrame, SinkErrorsAreIgnored) {
    struct Failing : FrameSink {
        void WriteAgwFrame(const Bytes&) override {
            ++calls;
            throw std::runtime_error("broken pipe");
        }
        int calls = 0;
    } failing;
    EXPECT_NO_THROW(SendAx25Ui(&failing, 0, {"CQ", "DL1ABC", "", "", "", ""}, "x"));
    EXPECT_EQ(failing.calls, 1);
}

}  // namespace
}  // namespace ombrix::test
