// Faults on demand and the raw log as the simulator reads it for replay.
#include <gtest/gtest.h>

#include "sim_support.h"
#include "tools/sim/bursts.h"

namespace ombrix::sim {
namespace {

Bytes SomeSet(int minutes = 0) {
    WeatherModel model(3, ToConsoleTime({2024, 6, 1, 14, 0, 0}));
    model.Advance(60.0 * minutes);
    return EncodeTelegramSet(model.Station());
}

Bytes Joined(const BurstPlan& plan) {
    Bytes all;
    for (const Piece& p : plan.Pieces) all += p.Data;
    return all;
}

TEST(ParseFault, AcceptsKnownKindsWithAPositiveCount) {
    struct Case {
        const char* Text;
        bool Valid;
        FaultKind Kind;
        int Every;
    };
    const Case cases[] = {
        {"bad-checksum:3", true, FaultKind::BadChecksum, 3},
        {"split:1", true, FaultKind::Split, 1},
        {"gap:10", true, FaultKind::Gap, 10},
        {"noise:2", true, FaultKind::Noise, 2},
        {"short:5", true, FaultKind::Short, 5},
        {"double:7", true, FaultKind::Double, 7},
        {"split", false, {}, 0},
        {"split:0", false, {}, 0},
        {"split:-2", false, {}, 0},
        {"split:2x", false, {}, 0},
        {"checksum:2", false, {}, 0},
    };
    for (const Case& c : cases) {
        const std::optional<Fault> f = ParseFault(c.Text);
        ASSERT_EQ(f.has_value(), c.Valid) << c.Text;
        if (!f) continue;
        EXPECT_EQ(f->Kind, c.Kind) << c.Text;
        EXPECT_EQ(f->Every, c.Every) << c.Text;
        EXPECT_EQ(std::string(FaultName(f->Kind)) + ":" + std::to_string(f->Every), c.Text);
    }
}

// What each fault does to the burst it hits (every second burst), and that it leaves the others
// alone.
struct FaultCase {
    const char* Text;
    std::vector<std::size_t> PieceSizes;
    std::vector<double> Delays;
    SetOutcome Joined;  // the decoder's verdict on all pieces together
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.Text;
}

class FaultPlan : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultPlan, HitsEveryNthBurstOnly) {
    const FaultCase& c = GetParam();
    const std::vector<Fault> faults{*ParseFault(c.Text)};
    const Bytes set = SomeSet();
    Random random(1);

    const BurstPlan clean = PlanBurst(1, set, faults, "set", random);
    EXPECT_EQ(clean.Kind, "set");
    ASSERT_EQ(clean.Pieces.size(), 1U);
    EXPECT_EQ(clean.Pieces[0].Data, set);

    const BurstPlan hit = PlanBurst(2, set, faults, "set", random);
    EXPECT_EQ(hit.Kind, std::string(c.Text).substr(0, std::string(c.Text).find(':')));
    ASSERT_EQ(hit.Pieces.size(), c.PieceSizes.size());
    for (std::size_t i = 0; i < hit.Pieces.size(); ++i) {
        EXPECT_EQ(hit.Pieces[i].Data.size(), c.PieceSizes[i]) << i;
        EXPECT_DOUBLE_EQ(hit.Pieces[i].Delay, c.Delays[i]) << i;
    }
    EXPECT_EQ(test::Decode(Joined(hit)).Outcome, c.Joined);
}

const FaultCase kFaultCases[] = {
    {"bad-checksum:2", {141}, {0.0}, SetOutcome::ChecksumFailed},
    {"split:2", {70, 71}, {0.0, kSplitPause}, SetOutcome::Valid},
    {"gap:2", {70, 71}, {0.0, kGapPause}, SetOutcome::Valid},
    {"short:2", {kShortLength}, {0.0}, SetOutcome::WrongLength},
    {"double:2", {282}, {0.0}, SetOutcome::WrongLength},
};

INSTANTIATE_TEST_SUITE_P(Faults, FaultPlan, ::testing::ValuesIn(kFaultCases), [](const auto& info) {
    std::string name = info.param.Text;
    name = name.substr(0, name.find(':'));
    std::erase(name, '-');
    return name;
});

TEST(FaultPlan, BadChecksumSpoilsOneGroupInTurn) {
    const std::vector<Fault> faults{{FaultKind::BadChecksum, 1}};
    const Bytes set = SomeSet();
    Random random(1);
    for (int burst = 1; burst <= 10; ++burst) {
        const Bytes damaged = Joined(PlanBurst(burst, set, faults, "set", random));
        ASSERT_EQ(damaged.size(), set.size());
        int bad = -1;
        int badCount = 0;
        for (std::size_t g = 0; g < kGroups.size(); ++g) {
            if (!CheckGroup(Mid(damaged, kGroups[g].First, kGroups[g].Length)).Ok()) {
                bad = static_cast<int>(g);
                ++badCount;
            }
        }
        EXPECT_EQ(badCount, 1) << burst;
        EXPECT_EQ(bad, (burst - 1) % 5) << burst;
        // The decoder shows the five checksum rows, one of them with two different numbers.
        const test::Decoded d = test::Decode(damaged);
        ASSERT_EQ(d.Table.RowCount(), 5);
        EXPECT_NE(d.Table.Row(bad + 1)[0], d.Table.Row(bad + 1)[1]);
    }
}

TEST(FaultPlan, NoiseFollowsTheBurstAfterAQuietSpell) {
    const std::vector<Fault> faults{{FaultKind::Noise, 1}};
    const Bytes set = SomeSet();
    Random random(5);
    for (int burst = 1; burst <= 20; ++burst) {
        const BurstPlan plan = PlanBurst(burst, set, faults, "set", random);
        EXPECT_EQ(plan.Kind, "noise");
        ASSERT_EQ(plan.Pieces.size(), 2U);
        EXPECT_EQ(plan.Pieces[0].Data, set);
        EXPECT_GT(plan.Pieces[1].Delay, 1.0);  // the intake has closed the burst by then
        EXPECT_GE(plan.Pieces[1].Data.size(), 1U);
        EXPECT_LE(plan.Pieces[1].Data.size(), 100U);  // too short to be handed to the decoder
    }
}

TEST(FaultPlan, FaultsOnTheSameBurstCombine) {
    const std::vector<Fault> faults{{FaultKind::Split, 2}, {FaultKind::BadChecksum, 3}};
    const Bytes set = SomeSet();
    Random random(1);
    EXPECT_EQ(PlanBurst(4, set, faults, "set", random).Kind, "split");
    EXPECT_EQ(PlanBurst(3, set, faults, "set", random).Kind, "bad-checksum");
    const BurstPlan both = PlanBurst(6, set, faults, "set", random);
    EXPECT_EQ(both.Kind, "bad-checksum+split");
    EXPECT_EQ(both.Pieces.size(), 2U);
    EXPECT_EQ(test::Decode(Joined(both)).Outcome, SetOutcome::ChecksumFailed);
    EXPECT_EQ(PlanBurst(6, set, faults, "replay", random).Kind, "replay+bad-checksum+split");
    EXPECT_EQ(PlanBurst(5, set, faults, "replay", random).Kind, "replay");
}

// A raw log line as the logger writes it.
Bytes RawLogLine(BytesView set, const char* stamp, const char* tail) {
    Bytes line = stamp;
    for (char n : BuildNibbleString(set)) line += static_cast<char>(Code(n) + 48);
    return line + tail + "\r\n";
}

TEST(RawLog, LinesGiveBackTheLoggedSets) {
    const std::vector<Bytes> sets{SomeSet(0), SomeSet(10), TestTelegramSet()};
    Bytes file = RawLogLine(sets[0], "2024.06.01 14:00:00 ", " r= 1 p= 3 ");
    file += RawLogLine(sets[1], "2024.06.01 14:10:00 ",
                       " r= 2 p= 4 N0CALL>APRS:_06011410c220s004g005t050r002p004h91b10150");
    file += "\r\n";  // an empty line is skipped
    file += RawLogLine(sets[2], "2024.06.01 14:20:00 ", " r= 0 p= 1 ");
    file.resize(file.size() - 2);  // the last line may lack its line end
    EXPECT_EQ(SetsFromRawLog(file, "WX.LOG"), sets);
}

TEST(RawLog, NibblesAboveNineAndBytesAbove127Survive) {
    Bytes set(kTelegramSetLength, '\0');
    for (std::size_t i = 0; i < set.size(); ++i) set[i] = static_cast<char>(i * 37 + 5);
    const std::vector<Bytes> sets =
        SetsFromRawLog(RawLogLine(set, "2024.06.01 14:00:00 ", " "), "WX.LOG");
    ASSERT_EQ(sets.size(), 1U);
    EXPECT_EQ(sets[0], set);
}

TEST(RawLog, LinesThatAreNoLogLinesAreRefusedWithTheirNumber) {
    const Bytes good = RawLogLine(TestTelegramSet(), "2024.06.01 14:00:00 ", " r= 0 p= 1 ");
    Bytes badCharacter = good;
    badCharacter[20 + 100] = '@';
    struct Case {
        const char* Name;
        Bytes Second;
        const char* Message;
    };
    const Case cases[] = {
        {"no stamp", good.substr(20), "WX.LOG:2: no time stamp"},
        {"stamp without blank", "2024.06.01 14:00:00" + good.substr(20), "WX.LOG:2: no time"},
        {"cut short", good.substr(0, 200) + "\r\n", "WX.LOG:2: shorter than"},
        {"not a nibble", badCharacter, "WX.LOG:2: character 121 is no nibble"},
    };
    for (const Case& c : cases) {
        try {
            SetsFromRawLog(good + c.Second, "WX.LOG");
            ADD_FAILURE() << c.Name << ": accepted";
        } catch (const RawLogError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(c.Message, 0), 0U) << c.Name << ": " << e.what();
        }
    }
}

}  // namespace
}  // namespace ombrix::sim
