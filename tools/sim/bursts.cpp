#include "tools/sim/bursts.h"

#include <array>
#include <charconv>

#include "logs/raw_log.h"
#include "station/telegram_set.h"

namespace ombrix::sim {

namespace {

struct FaultInfo {
    FaultKind Kind;
    const char* Name;
};

constexpr std::array<FaultInfo, 6> kFaults{{
    {FaultKind::BadChecksum, "bad-checksum"},
    {FaultKind::Split, "split"},
    {FaultKind::Gap, "gap"},
    {FaultKind::Noise, "noise"},
    {FaultKind::Short, "short"},
    {FaultKind::Double, "double"},
}};

bool Due(const std::vector<Fault>& faults, FaultKind kind, long long number) {
    for (const Fault& f : faults)
        if (f.Kind == kind && number % f.Every == 0) return true;
    return false;
}

// How often the fault has hit up to this burst, counting from 0 (the first fault of a kind
// with the smallest period decides).
long long Occurrence(const std::vector<Fault>& faults, FaultKind kind, long long number) {
    for (const Fault& f : faults)
        if (f.Kind == kind && number % f.Every == 0) return number / f.Every - 1;
    return 0;
}

void AddKind(std::string& kind, const char* name) {
    if (!kind.empty()) kind += '+';
    kind += name;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// "yyyy.mm.dd hh:mm:ss " with digits where digits belong.
bool IsTimeStamp(BytesView s) {
    static constexpr std::string_view kShape = "dddd.dd.dd dd:dd:dd ";
    if (s.size() < kShape.size()) return false;
    for (std::size_t i = 0; i < kShape.size(); ++i) {
        if (kShape[i] == 'd' ? !IsDigit(s[i]) : s[i] != kShape[i]) return false;
    }
    return true;
}

}  // namespace

const char* FaultName(FaultKind kind) {
    for (const FaultInfo& f : kFaults)
        if (f.Kind == kind) return f.Name;
    return "?";
}

std::optional<Fault> ParseFault(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const std::string_view name = text.substr(0, colon);
    const std::string_view count = text.substr(colon + 1);
    int every = 0;
    const auto [end, error] = std::from_chars(count.data(), count.data() + count.size(), every);
    if (error != std::errc() || end != count.data() + count.size() || every < 1)
        return std::nullopt;
    for (const FaultInfo& f : kFaults)
        if (name == f.Name) return Fault{f.Kind, every};
    return std::nullopt;
}

BurstPlan PlanBurst(long long number, const Bytes& set, const std::vector<Fault>& faults,
                    std::string_view base, Random& random) {
    BurstPlan plan;
    std::string kind;
    Bytes data = set;

    if (Due(faults, FaultKind::BadChecksum, number) && data.size() == kTelegramSetLength) {
        const long long g = Occurrence(faults, FaultKind::BadChecksum, number) % 5;
        const std::size_t at = kGroups[static_cast<std::size_t>(g)].First;  // 0-based: byte 2
        data[at] = static_cast<char>(Code(data[at]) + 1);
        AddKind(kind, FaultName(FaultKind::BadChecksum));
    }
    if (Due(faults, FaultKind::Short, number)) {
        data.resize(std::min(data.size(), kShortLength));
        AddKind(kind, FaultName(FaultKind::Short));
    }
    if (Due(faults, FaultKind::Double, number)) {
        data += data;
        AddKind(kind, FaultName(FaultKind::Double));
    }

    double pause = -1.0;
    if (Due(faults, FaultKind::Gap, number)) {
        pause = kGapPause;
        AddKind(kind, FaultName(FaultKind::Gap));
    } else if (Due(faults, FaultKind::Split, number)) {
        pause = kSplitPause;
        AddKind(kind, FaultName(FaultKind::Split));
    }
    if (pause >= 0 && data.size() > 1) {
        const std::size_t cut = data.size() / 2;
        plan.Pieces.push_back({0.0, data.substr(0, cut)});
        plan.Pieces.push_back({pause, data.substr(cut)});
    } else {
        plan.Pieces.push_back({0.0, data});
    }

    if (Due(faults, FaultKind::Noise, number)) {
        const int count = 1 + static_cast<int>(random.Uniform() * 20);
        Bytes noise;
        for (int i = 0; i < count; ++i) noise += static_cast<char>(random.Uniform() * 256);
        plan.Pieces.push_back({kQuiet, noise});
        AddKind(kind, FaultName(FaultKind::Noise));
    }

    if (kind.empty()) {
        plan.Kind = base;
    } else {
        plan.Kind = base == "replay" ? "replay+" + kind : kind;
    }
    return plan;
}

std::vector<Bytes> SetsFromRawLog(BytesView text, const std::string& name) {
    std::vector<Bytes> sets;
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == BytesView::npos) end = text.size();
        BytesView line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;

        auto fail = [&](const std::string& what) {
            throw RawLogError(name + ":" + std::to_string(lineNumber) + ": " + what);
        };
        if (!IsTimeStamp(line)) fail("no time stamp \"yyyy.mm.dd hh:mm:ss \" at the start");
        if (line.size() < kRawLogStampLength + kNibbleStringLength)
            fail("shorter than a time stamp and 282 nibbles");
        Bytes set(kTelegramSetLength, '\0');
        for (std::size_t i = 0; i < kNibbleStringLength; ++i) {
            const unsigned c = Code(line[kRawLogStampLength + i]);
            if (c < '0' || c > '0' + 15)
                fail("character " + std::to_string(kRawLogStampLength + i + 1) +
                     " is no nibble (\"0\" to \"?\")");
            const unsigned nibble = c - '0';
            set[i / 2] = static_cast<char>(Code(set[i / 2]) | (i % 2 == 0 ? nibble : nibble << 4));
        }
        sets.push_back(std::move(set));
    }
    return sets;
}

}  // namespace ombrix::sim
