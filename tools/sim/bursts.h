// How a telegram set goes on the line: as one burst, or damaged on purpose the way a flaky cable,
// a busy console or a confused adapter would damage it, and what a raw log file holds to replay.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "station/bytes.h"
#include "tools/sim/weather_model.h"

namespace ombrix::sim {

enum class FaultKind {
    BadChecksum,  // one data byte of one group changed (the group rotates from fault to fault)
    Split,        // the burst in two pieces 0.3 s apart: still one burst to the intake
    Gap,          // the burst in two pieces 1.5 s apart: two short bursts to the intake
    Noise,        // a few stray bytes in the pause after the burst
    Short,        // only the first 120 bytes
    Double,       // the set twice, back to back
};

struct Fault {
    FaultKind Kind = FaultKind::BadChecksum;
    int Every = 1;  // the fault hits bursts Every, 2 x Every, ...
};

const char* FaultName(FaultKind kind);

// "split:3" and the like; nothing for an unknown name or a count below 1.
std::optional<Fault> ParseFault(std::string_view text);

// Pauses on the line, seconds.
constexpr double kSplitPause = 0.3;
constexpr double kGapPause = 1.5;
// Quiet before stray bytes and before every burst: longer than the one second after which the
// intake takes what it has gathered as a burst.
constexpr double kQuiet = 1.5;
// How long the line stays open after the last burst, so that a reader can take all of it.
constexpr double kLinger = 2.0;
constexpr std::size_t kShortLength = 120;

// Bytes to write after waiting Delay seconds from the end of the previous piece.
struct Piece {
    double Delay = 0.0;
    Bytes Data;
};

struct BurstPlan {
    std::string Kind;  // "set", "replay", or the faults applied, such as "split" or "replay+gap"
    std::vector<Piece> Pieces;
};

// The pieces for burst `number` (counted from 1) carrying `set`. `base` names an undamaged burst
// ("set" or "replay"); `random` supplies the stray bytes.
BurstPlan PlanBurst(long long number, const Bytes& set, const std::vector<Fault>& faults,
                    std::string_view base, Random& random);

// A raw log file that does not hold what the logger writes.
class RawLogError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The telegram sets recorded in a raw log file, in order. Each line is a 20-character time stamp
// "yyyy.mm.dd hh:mm:ss ", the 282 nibbles of the set as characters "0" to "?" (nibble + 48, the
// low nibble of each byte first) and the logger's rain and report text. Empty lines are skipped;
// `name` labels the errors ("name:line: ...").
std::vector<Bytes> SetsFromRawLog(BytesView text, const std::string& name);

}  // namespace ombrix::sim
