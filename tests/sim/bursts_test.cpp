// Faults on demand and the raw log as the simulator reads it for replay.
#include <gtest/gtest.h>

#include "decode_support.h"
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

// A bad checksum spoils one group in turn; stray bytes follow the burst after a quiet spell.
TEST(FaultPlan, BadChecksumRotatesAndNoiseFollowsTheBurst) {
    const Bytes set = SomeSet();
    Random random(5);
    for (int burst = 1; burst <= 20; ++burst) {
        const BurstPlan plan = PlanBurst(
            burst, set, {{FaultKind::BadChecksum, 1}, {FaultKind::Noise, 1}}, "set", random);
        EXPECT_EQ(plan.Kind, "bad-checksum+noise");
        ASSERT_EQ(plan.Pieces.size(), 2U);
        const Bytes& damaged = plan.Pieces[0].Data;
        ASSERT_EQ(damaged.size(), set.size());
        std::vector<std::size_t> bad;
        for (std::size_t g = 0; g < kGroups.size(); ++g)
            if (!CheckGroup(Mid(damaged, kGroups[g].First, kGroups[g].Length)).Ok())
                bad.push_back(g);
        EXPECT_EQ(bad, std::vector<std::size_t>{static_cast<std::size_t>((burst - 1) % 5)})
            << burst;
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
    ASSERT_EQ(both.Pieces.size(), 2U);
    EXPECT_LT(both.Pieces[1].Delay, 1.0);  // a split stays one burst for the intake
    EXPECT_EQ(test::Decode(Joined(both)).Outcome, SetOutcome::ChecksumFailed);
    EXPECT_EQ(PlanBurst(6, set, faults, "replay", random).Kind, "replay+bad-checksum+split");
    EXPECT_EQ(PlanBurst(5, set, faults, "replay", random).Kind, "replay");
}

TEST(RawLog, LinesGiveBackTheLoggedSets) {
    // Nibbles above nine and bytes above 127 come back as well.
    Bytes everyByte(kTelegramSetLength, '\0');
    for (std::size_t i = 0; i < everyByte.size(); ++i) everyByte[i] = static_cast<char>(i * 37 + 5);
    const std::vector<Bytes> sets{SomeSet(0), SomeSet(10), TestTelegramSet(), everyByte};
    Bytes file = test::LoggedLine(sets[0]);
    file += test::LoggedLine(sets[1], "N0CALL>APRS:_06011410c220s004g005t050r002p004h91b10150");
    file += "\r\n";  // an empty line is skipped
    file += test::LoggedLine(sets[2]) + test::LoggedLine(sets[3]);
    file.resize(file.size() - 2);  // the last line may lack its line end
    EXPECT_EQ(SetsFromRawLog(file, "WX.LOG"), sets);
}

TEST(RawLog, LinesThatAreNoLogLinesAreRefusedWithTheirNumber) {
    const Bytes good = test::LoggedLine(TestTelegramSet());
    Bytes badCharacter = good;
    badCharacter[20 + 100] = '@';
    const std::pair<Bytes, const char*> cases[] = {
        {good.substr(20), "WX.LOG:2: no time stamp"},
        {"2024.06.01 14:00:00" + good.substr(20), "WX.LOG:2: no time"},
        {good.substr(0, 200) + "\r\n", "WX.LOG:2: shorter than"},
        {badCharacter, "WX.LOG:2: character 121 is no nibble"},
    };
    for (const auto& [second, message] : cases) {
        try {
            SetsFromRawLog(good + second, "WX.LOG");
            ADD_FAILURE() << message << ": accepted";
        } catch (const RawLogError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(message, 0), 0U) << e.what();
        }
    }
}

}  // namespace
}  // namespace ombrix::sim
