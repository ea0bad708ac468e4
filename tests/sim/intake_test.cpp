// Faults from ombrix-sim through the program's real serial intake on the simulator's own
// pseudo-terminal: each fault has the effect its name promises.
#include <gtest/gtest.h>

#include <QTest>

#include "app/serial_intake.h"
#include "decode_support.h"
#include "support.h"

namespace ombrix::sim {
namespace {

struct FaultEffect {
    const char* Name;
    const char* Fault;
    // What the decoder makes of each burst the intake hands on, in order.
    std::vector<SetOutcome> Outcomes;
};

void PrintTo(const FaultEffect& c, std::ostream* os) {
    *os << c.Name;
}

class SimThroughIntake : public ::testing::TestWithParam<FaultEffect> {};

TEST_P(SimThroughIntake, FaultHasItsEffect) {
    const FaultEffect& c = GetParam();
    test::TempDir dir;
    const std::string link = dir / "station";
    // Three bursts; the second carries the fault.
    test::Process sim(OMBRIX_SIM_PATH, {"--count", "3", "--interval", "2", "--seed", "5", "--link",
                                        link, "--fault", c.Fault});
    ASSERT_FALSE(sim.ReadLine(5).empty()) << sim.Stderr();

    std::vector<Bytes> handedOn;
    SerialIntake intake([&](const Bytes& burst) { handedOn.push_back(burst); });
    ASSERT_EQ(intake.Open(QString::fromStdString(link)), QSerialPort::NoError);
    intake.ArmPauseTimer();

    // The simulator keeps the line open until the intake has closed the last burst.
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.Finished(); }, 15000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !intake.PauseTimerActive(); }, 3000));
    intake.Close();
    EXPECT_EQ(sim.Wait(1), 0) << sim.Stderr();
    EXPECT_FALSE(test::Exists(link));
    const std::string kind = std::string(c.Fault).substr(0, std::string(c.Fault).find(':'));
    EXPECT_NE(sim.Stdout().find("\n2 " + kind + " "), std::string::npos) << sim.Stdout();

    std::vector<SetOutcome> outcomes;
    for (const Bytes& burst : handedOn) {
        const test::Decoded d = test::Decode(burst);
        outcomes.push_back(d.Outcome);
        if (d.Outcome != SetOutcome::ChecksumFailed) continue;
        // The five checksum rows, exactly one of them with two different numbers.
        ASSERT_EQ(d.Table.RowCount(), 5);
        int unequal = 0;
        for (const TableRow& row : d.Table.Rows()) unequal += row[0] != row[1] ? 1 : 0;
        EXPECT_EQ(unequal, 1);
    }
    EXPECT_EQ(outcomes, c.Outcomes);
}

using enum SetOutcome;

const FaultEffect kEffects[] = {
    // A bad checksum reaches the decoder, which shows the five checksum rows.
    {"BadChecksum", "bad-checksum:2", {Valid, ChecksumFailed, Valid}},
    // Pieces 0.3 s apart are still one burst.
    {"Split", "split:2", {Valid, Valid, Valid}},
    // Pieces 1.5 s apart are two bursts of 70 and 71 bytes: too short to be handed on.
    {"Gap", "gap:2", {Valid, Valid}},
    // Stray bytes in the pause are dropped; the next burst decodes.
    {"Noise", "noise:2", {Valid, Valid, Valid}},
    // 120 bytes are handed on and rejected by their length, as are two sets back to back.
    {"Short", "short:2", {Valid, WrongLength, Valid}},
    {"Double", "double:2", {Valid, WrongLength, Valid}},
};

INSTANTIATE_TEST_SUITE_P(Faults, SimThroughIntake, ::testing::ValuesIn(kEffects),
                         [](const auto& test) { return std::string(test.param.Name); });

}  // namespace
}  // namespace ombrix::sim
