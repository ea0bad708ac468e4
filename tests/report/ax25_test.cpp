// Golden bytes of the AX.25 UI frame and the AGWPE header around it.
#include <gtest/gtest.h>

#include <stdexcept>

#include "report/agwpe.h"
#include "report/ax25.h"
#include "report_support.h"
#include "station/errors.h"

namespace ombrix::test {
namespace {

const Bytes kCq = Hex("86 a2 40 40 40 40 e0");          // CQ, command bit, not last
const Bytes kWide33Last = Hex("ae 92 88 8a 66 40 67");  // WIDE3-3, last subfield

TEST(EncodeAx25Address, Subfields) {
    struct Case {
        int Command;
        int Extension;
        Bytes Call;
        Bytes Expected;
    };
    const Case cases[] = {
        {1, 0, "CQ", kCq},
        {0, 1, "Wide3-3", kWide33Last},
        {0, 1, "wide3-3", kWide33Last},  // lower case goes out in upper case
        {0, 1, "WIDE3-3", kWide33Last},
        {0, 0, "DL1ABC", Hex("88 98 62 82 84 86 60")},
        {0, 0, "DL1ABCD", Hex("88 98 62 82 84 86 60")},  // the seventh letter is lost
        {0, 1, "DL1ABC-15", Hex("88 98 62 82 84 86 7f")},
        {1, 1, "CQ", Hex("86 a2 40 40 40 40 e1")},
        {0, 0, "CQ-", Hex("86 a2 40 40 40 40 60")},       // no number after the dash: SSID 0
        {0, 0, "WIDE2-2X", Hex("ae 92 88 8a 64 40 64")},  // the number is read from the start
        {0, 0, "WIDE2-1.0", Hex("ae 92 88 8a 64 40 62")},
        {0, 0, "", Hex("40 40 40 40 40 40 60")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EncodeAx25Address(c.Command, c.Extension, c.Call), c.Expected) << c.Call;
}

TEST(EncodeAx25Address, RefusesWhatWouldCorruptTheAddress) {
    // A byte from 128 on cannot be shifted into one byte; an SSID outside 0..15 would spill into
    // the command and reserved bits.
    for (const Bytes& call :
         {Bytes("D\xC4"
                "1ABC"),
          Bytes("DL1ABC-16"), Bytes("DL1ABC-1.5"), Bytes("DL1ABC--1"), Bytes("CQ-99")}) {
        try {
            EncodeAx25Address(1, 0, call);
            ADD_FAILURE() << "no error for " << call;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.Number, kInvalidProcedureCall) << call;
        }
    }
}

TEST(Ax25UiFrame, DefaultAddressListAndAReport) {
    const Bytes info = "!0000.00N/00000.00E_205/006g006t049r000P004h91b10150";
    const Bytes frame = Ax25UiFrame(0, {"CQ", "DL1ABC", "Wide3-3", "", "", ""}, info);
    EXPECT_EQ(frame,
              Hex("00") + kCq + Hex("88 98 62 82 84 86 60") + kWide33Last + Hex("03 f0") + info);
}

TEST(Ax25UiFrame, AddressListEndsAtTheFirstEmptySuccessor) {
    struct Case {
        AddressList Calls;
        Bytes Addresses;
    };
    const Bytes src = Hex("88 98 62 82 84 86");
    const Case cases[] = {
        {{"CQ", "DL1ABC", "", "", "", ""}, kCq + src + Hex("61")},
        {{"CQ", "DL1ABC", "", "WIDE2-1", "", ""}, kCq + src + Hex("61")},
        {{"CQ", "", "", "", "", ""}, Hex("86 a2 40 40 40 40 e1")},
        {{"CQ", "DL1ABC", "WIDE1-1", "WIDE2-2", "", ""},
         kCq + src + Hex("60") + Hex("ae 92 88 8a 62 40 62") + Hex("ae 92 88 8a 64 40 65")},
        // A text of blanks is not empty: it still counts as an address.
        {{"CQ", "DL1ABC", " ", "", "", ""}, kCq + src + Hex("60") + Hex("40 40 40 40 40 40 61")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Ax25UiFrame(0, c.Calls, ""), Hex("00") + c.Addresses + Hex("03 f0"))
            << c.Calls[1] << "," << c.Calls[2] << "," << c.Calls[3];
}

TEST(Ax25UiFrame, PortByteAndEmptyInfo) {
    const AddressList calls{"CQ", "DL1ABC", "", "", "", ""};
    EXPECT_EQ(Ax25UiFrame(1, calls, "")[0], '\x10');
    EXPECT_EQ(Ax25UiFrame(2, calls, "")[0], '\x20');
    EXPECT_EQ(Ax25UiFrame(15, calls, "")[0], '\xf0');
    EXPECT_EQ(Ax25UiFrame(0, calls, "").substr(15), Hex("03 f0"));
    for (std::int16_t port : {16, -1, 32767})
        EXPECT_THROW(Ax25UiFrame(port, calls, ""), RuntimeError);
}

TEST(AgwFrame, HeaderBytes) {
    RecordingSink sink;
    const Bytes report(50, 'x');
    SendAx25Ui(&sink, 2, {"CQ", "DL1ABC", "WIDE2-1", "", "", ""}, report);
    ASSERT_EQ(sink.frames.size(), 1u);
    const Bytes& wire = sink.frames[0];
    ASSERT_EQ(wire.size(), 36u + 74u);  // port byte, three subfields, control, PID, report
    Bytes header(36, '\0');
    header[0] = '\x02';
    header[4] = 'K';
    header[28] = '\x4a';
    EXPECT_EQ(wire.substr(0, 36), header);
    EXPECT_EQ(wire[36], '\x20');
    EXPECT_EQ(wire.substr(36), Ax25UiFrame(2, {"CQ", "DL1ABC", "WIDE2-1", "", "", ""}, report));
}

TEST(AgwFrame, LengthAndCallFields) {
    EXPECT_EQ(EncodeLength32(Bytes(256, 'a')), Hex("00 01 00 00"));
    EXPECT_EQ(EncodeLength32(Bytes(74, 'a')), Hex("4a 00 00 00"));
    EXPECT_EQ(EncodeLength32(""), Hex("00 00 00 00"));
    EXPECT_EQ(EncodeLength32(Bytes(0x10203, 'a')), Hex("03 02 01 00"));

    RecordingSink sink;
    SendAgwFrame(&sink, 0, "K", "DL1ABC-123456", "CQ", Bytes(256, '\0'));
    ASSERT_EQ(sink.frames.size(), 1u);
    const Bytes& wire = sink.frames[0];
    EXPECT_EQ(wire.size(), 36u + 256u);
    EXPECT_EQ(wire.substr(8, 10), "DL1ABC-123");  // cut to ten bytes
    EXPECT_EQ(wire.substr(18, 10), Bytes("CQ") + Bytes(8, '\0'));
    EXPECT_EQ(wire.substr(28, 8), Hex("00 01 00 00 00 00 00 00"));
    EXPECT_THROW(SendAgwFrame(&sink, 256, "K", "", "", ""), RuntimeError);
    EXPECT_EQ(sink.frames.size(), 1u);
}

TEST(AgwFrame, NothingIsSentWhenTheFrameCannotBeBuilt) {
    RecordingSink sink;
    EXPECT_THROW(SendAx25Ui(&sink, 0, {"CQ", "DL1ABC-16", "", "", "", ""}, "x"), RuntimeError);
    EXPECT_TRUE(sink.frames.empty());
}

TEST(AgwFrame, SinkErrorsAreIgnored) {
    struct Failing : FrameSink {
        void WriteAgwFrame(const Bytes&) override {
            ++calls;
            throw std::runtime_error("broken pipe");
        }
        int calls = 0;
    } sink;
    EXPECT_NO_THROW(SendAx25Ui(&sink, 0, {"CQ", "DL1ABC", "", "", "", ""}, "x"));
    EXPECT_EQ(sink.calls, 1);
    EXPECT_NO_THROW(SendAx25Ui(nullptr, 0, {"CQ", "DL1ABC", "", "", "", ""}, "x"));
}

TEST(IsAssignedCallsign, PlaceholdersAndEmptyAreNotCallsigns) {
    for (const char* call : {"", "N0CALL", "n0call", "NOCALL", "NoCall", "N0CALL-7", "nocall-15",
                             "NOCALL-", " N0CALL ", "N0CALLX", "-5", "      "})
        EXPECT_FALSE(IsAssignedCallsign(call)) << '"' << call << '"';
    for (const char* call : {"DL1ABC", "DL1ABC-9", "N0CAL", "W1AW", "NOCAL-1"})
        EXPECT_TRUE(IsAssignedCallsign(call)) << call;
}

}  // namespace
}  // namespace ombrix::test
