// The simulator's faults on demand as the program's serial intake takes them.
#include <gtest/gtest.h>

#include "decode_support.h"
#include "tools/sim/bursts.h"

namespace ombrix::sim {
namespace {

// The bursts the program's serial intake makes of each fault: the pieces run together unless the
// line falls quiet for a second between them, and a burst of 100 bytes or fewer is dropped. What
// the decoder says to each burst handed on. A fault hits every Nth burst, here every second one of
// twenty (the stray bytes are random).
TEST(FaultPlan, EachFaultHasItsEffectOnTheIntake) {
    using enum SetOutcome;
    const struct {
        FaultKind Kind;
        const char* Name;
        std::vector<SetOutcome> Outcomes;
    } cases[] = {
        {FaultKind::BadChecksum, "bad-checksum", {ChecksumFailed}},
        {FaultKind::Split, "split", {Valid}},
        {FaultKind::Gap, "gap", {}},           // two bursts of 70 and 71 bytes
        {FaultKind::Noise, "noise", {Valid}},  // the stray bytes come after a quiet spell
        {FaultKind::Short, "short", {WrongLength}},
        {FaultKind::Double, "double", {WrongLength}},
    };
    const Bytes set =
        EncodeTelegramSet(WeatherModel(3, ToConsoleTime({2024, 6, 1, 14, 0, 0})).Station());
    Random random(5);
    for (const auto& c : cases) {
        for (int burst = 1; burst <= 20; ++burst) {
            const BurstPlan plan = PlanBurst(burst, set, {{c.Kind, 2}}, "set", random);
            const bool hit = burst % 2 == 0;
            EXPECT_EQ(plan.Kind, hit ? c.Name : "set");
            std::vector<Bytes> bursts;
            for (const Piece& p : plan.Pieces) {
                if (bursts.empty() || p.Delay >= 1.0) bursts.emplace_back();
                bursts.back() += p.Data;
            }
            std::vector<SetOutcome> outcomes;
            for (const Bytes& b : bursts)
                if (b.size() > 100) outcomes.push_back(test::Decode(b).Outcome);
            EXPECT_EQ(outcomes, hit ? c.Outcomes : std::vector{Valid}) << c.Name << ", " << burst;
        }
    }
}

}  // namespace
}  // namespace ombrix::sim
