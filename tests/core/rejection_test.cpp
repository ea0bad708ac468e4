// Sets the decoder rejects (wrong length, failed checksums) and sets it must accept although they
// look odd (all zeros, other lead bytes), alone and in sequence.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace ombrix::test {
namespace {

using ChecksumRows = std::vector<std::pair<std::string, std::string>>;

ChecksumRows ChecksumCells(const MeasurementTable& table) {
    ChecksumRows rows;
    for (const TableRow& row : table.Rows()) {
        rows.emplace_back(row[0], row[1]);
        for (int i = 2; i < kColumnCount; ++i)
            EXPECT_EQ(row[static_cast<std::size_t>(i)], "") << "checksum row column " << i;
    }
    return rows;
}

TEST(Rejection, WrongLengthLeavesTheTableEmpty) {
    const Bytes& good = TestTelegramSet();
    const Bytes variants[] = {
        good.substr(0, 140), good + '\0', good.substr(1), Bytes(),
        good + good,  // a test set with the next burst appended to it
    };
    for (const Bytes& set : variants) {
        DecodeHarness h;
        ASSERT_EQ(h.Decode(good), SetOutcome::Valid);
        EXPECT_EQ(h.Decode(set), SetOutcome::WrongLength) << set.size() << " bytes";
        EXPECT_EQ(h.Table().RowCount(), 0) << set.size() << " bytes";
        EXPECT_TRUE(h.records.empty());
    }
}

TEST(Rejection, OneChangedByteInGroupFourShowsFiveChecksumRows) {
    Bytes set = TestTelegramSet();
    set[101] = '\x05';  // set position 102, a rain byte
    DecodeHarness h;
    EXPECT_EQ(h.Decode(set), SetOutcome::ChecksumFailed);
    const ChecksumRows expected{
        {" 149", " 149"}, {" 28", " 28"}, {" 223", " 223"}, {" 111", " 106"}, {" 52", " 52"}};
    EXPECT_EQ(ChecksumCells(h.Table()), expected);
    EXPECT_TRUE(h.records.empty());
}

TEST(Rejection, WrongFirstChecksumStillChecksAllFiveGroups) {
    Bytes set = TestTelegramSet();
    set[34] = '\x96';
    DecodeHarness h;
    EXPECT_EQ(h.Decode(set), SetOutcome::ChecksumFailed);
    const ChecksumRows expected{
        {" 149", " 150"}, {" 28", " 28"}, {" 223", " 223"}, {" 106", " 106"}, {" 52", " 52"}};
    EXPECT_EQ(ChecksumCells(h.Table()), expected);
}

TEST(Rejection, EveryGroupWrongShowsEveryPair) {
    Bytes set = TestTelegramSet();
    for (const GroupBounds& g : kGroups) set[g.First - 1 + g.Length - 1] = '\0';
    DecodeHarness h;
    EXPECT_EQ(h.Decode(set), SetOutcome::ChecksumFailed);
    const ChecksumRows expected{
        {" 149", " 0"}, {" 28", " 0"}, {" 223", " 0"}, {" 106", " 0"}, {" 52", " 0"}};
    EXPECT_EQ(ChecksumCells(h.Table()), expected);
}

TEST(Rejection, ChecksumSumsWrapAtTwoHundredFiftySix) {
    // 34 bytes of 0xFF: 34 × 255 = 8670, low byte 222.
    Bytes set = TestTelegramSet();
    for (std::size_t i = 0; i < 34; ++i) set[i] = '\xFF';
    set[34] = static_cast<char>(222);
    const GroupChecksum sum = CheckGroup(Mid(set, 1, 35));
    EXPECT_EQ(sum.Computed, 222u);
    EXPECT_TRUE(sum.Ok());
}

TEST(Rejection, AllZeroSetIsValid) {
    DecodeHarness h(",");
    ASSERT_EQ(h.Decode(Bytes(141, '\0')), SetOutcome::Valid);
    ASSERT_EQ(h.Table().RowCount(), 21);
    EXPECT_TRUE(h.records.empty());
    struct Cell {
        int Row, Column;
        const char* Text;
    };
    const Cell cells[] = {
        {1, 1, "00:00:00"},
        {1, 9, "12-Stunden"},
        {2, 1, "00.00"},
        {2, 9, "Tag.Monat"},
        {3, 1, "0%"},
        {5, 1, "0,0°C"},
        {5, 9, "°C"},
        {6, 6, "0,0°F"},
        {7, 1, "000mb"},
        {7, 7, " 1mb"},
        {7, 9, "inches"},
        {7, 10, ""},
        {8, 1, "000,0mb"},
        {8, 10, ""},
        {9, 7, "1°C:"},
        {11, 1, "0mm"},
        {13, 10, "Reset: 00:00 / 00.00"},
        {14, 1, "0,0km/h 0°"},
        {14, 2, "0,0km/h0°"},
        {14, 9, "mph"},
        {16, 1, "0°C"},
        {16, 7, "0°F"},
        {17, 1, "Netz (AC)"},
        {19, 1, "Zeit"},
        {20, 1, "0"},
        {21, 1, "Hauptwert"},
    };
    for (const Cell& c : cells)
        EXPECT_EQ(h.Cell(c.Row, c.Column), c.Text) << c.Row << "/" << c.Column;
    EXPECT_EQ(h.slots[8].Value, 0.0F);
    EXPECT_EQ(h.slots[8].Name, "Luftdruck");
}

TEST(Rejection, LeadBytesAreNotTested) {
    Bytes set = TestTelegramSet();
    for (const GroupBounds& g : kGroups) set[g.First - 1] = '\x01';
    FixChecksums(set);
    DecodeHarness other, reference;
    ASSERT_EQ(other.Decode(set), SetOutcome::Valid);
    ASSERT_EQ(reference.Decode(TestTelegramSet()), SetOutcome::Valid);
    EXPECT_EQ(other.Table().Rows(), reference.Table().Rows());
}

TEST(Rejection, ValidBadValidSequences) {
    DecodeHarness h;
    DecodeHarness reference;
    reference.Decode(TestTelegramSet());
    Bytes badChecksum = TestTelegramSet();
    badChecksum[60] = '\x09';
    const Bytes shortSet = TestTelegramSet().substr(0, 140);

    EXPECT_EQ(h.Decode(TestTelegramSet()), SetOutcome::Valid);
    EXPECT_EQ(h.Table().RowCount(), 21);
    EXPECT_EQ(h.Decode(badChecksum), SetOutcome::ChecksumFailed);
    EXPECT_EQ(h.Table().RowCount(), 5);
    EXPECT_EQ(h.Decode(TestTelegramSet()), SetOutcome::Valid);
    EXPECT_EQ(h.Table().Rows(), reference.Table().Rows());
    EXPECT_EQ(h.Decode(shortSet), SetOutcome::WrongLength);
    EXPECT_EQ(h.Table().RowCount(), 0);
    EXPECT_EQ(h.Decode(badChecksum), SetOutcome::ChecksumFailed);
    EXPECT_EQ(h.Table().RowCount(), 5);
    EXPECT_EQ(h.Decode(shortSet), SetOutcome::WrongLength);
    EXPECT_EQ(h.Table().RowCount(), 0);
    EXPECT_EQ(h.Decode(TestTelegramSet()), SetOutcome::Valid);
    EXPECT_EQ(h.Table().Rows(), reference.Table().Rows());
    EXPECT_TRUE(h.records.empty());
}

}  // namespace
}  // namespace ombrix::test
