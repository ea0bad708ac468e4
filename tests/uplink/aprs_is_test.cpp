// The APRS-IS report, its login and the server's answers, the rain of the last day from the
// archive, and wxnow.txt, through the uplink's public functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sample_reading.h"
#include "uplink/aprs_is.h"

namespace ombrix {
namespace {

constexpr std::int64_t kAt = 1796640750;  // 2026-12-07 10:52:30 UTC
constexpr const char* kLage = "4903.50N/00831.20E_";

Quantity Q(double value, QuantityState state = QuantityState::Valid) {
    return {value, state};
}

StationReading Reading() {
    return test::SampleReading();
}

struct PacketRow {
    const char* Name;
    void (*Change)(StationReading&);
    std::optional<double> Gust, RainDay;
    const char* Fields;
};

const PacketRow kPackets[] = {
    {"all valid", [](StationReading&) {}, 5.0, 2.54, "205/006g011t049r000p010P004h91b10153"},
    {"unknown quantities are dots of their width",
     [](StationReading& r) {
         r.OutdoorHumidity.State = QuantityState::OutOfRange;
         r.SeaLevelPressure = Q(0, QuantityState::NotDecoded);
         r.MeanSpeed.State = QuantityState::OutOfRange;
         r.OutdoorTemperature.State = QuantityState::NotDecoded;
     },
     std::nullopt, std::nullopt, "205/...g...t...r000p...P004h..b....."},
    {"clamps, 100 % and a direction above 360",
     [](StationReading& r) {
         r.MeanDirection = Q(361);
         r.MeanSpeed = Q(500);
         r.OutdoorTemperature = Q(-80);
         r.OutdoorHumidity = Q(100);
         r.RainToday = Q(3000);
     },
     0.0, 0.0, ".../999g000t-99r000p000P999h00b10153"},
    {"below zero a sign and two digits", [](StationReading& r) { r.OutdoorTemperature = Q(-30); },
     0.0, 0.0, "205/006g000t-22r000p000P004h91b10153"},
};

TEST(AprsIs, PacketFields) {
    for (const PacketRow& row : kPackets) {
        StationReading r = Reading();
        row.Change(r);
        const UploadValues v = UploadValuesOf(r, row.Gust, row.RainDay);
        EXPECT_EQ(AprsIsPacket("DL1ABC-13", kLage, kAt, v),
                  std::string("DL1ABC-13>APRS,TCPIP*:@071052z") + kLage + row.Fields)
            << row.Name;
    }
}

TEST(AprsIs, LoginAndServerLines) {
    EXPECT_EQ(AprsIsLogin("DL1ABC", "-1", "0.1.0"), "user DL1ABC pass -1 vers Ombrix 0.1.0\r\n");
    const std::pair<const char*, ServerLine> lines[] = {
        {"# aprsc 2.1.14-g5e22b37", ServerLine::Comment},
        {"# logresp DL1ABC unverified, server T2TEST", ServerLine::LoginAccepted},
        {"# logresp DL1ABC verified, server T2TEST", ServerLine::LoginAccepted},
        {"# logresp DL1ABC", ServerLine::Comment},
        {"# logresp DL1ABC refused", ServerLine::Comment},
        {"HTTP/1.1 400 Bad Request", ServerLine::Other},
        {"", ServerLine::Other},
    };
    for (const auto& [line, kind] : lines) EXPECT_EQ(ClassifyServerLine(line), kind) << line;
}

// Five-minute records of 0.1 mm up to `now`, without those whose index (counted back from the
// newest, 0) is listed.
std::vector<ArchiveRecord> Day(std::int64_t now, std::vector<int> missing, int count = 288) {
    std::vector<ArchiveRecord> records;
    for (int i = 0; i < count; ++i) {
        if (std::find(missing.begin(), missing.end(), i) != missing.end()) continue;
        ArchiveRecord r;
        r.DateTime = now - 300 * i;
        r.Rain = 0.1;
        records.push_back(r);
    }
    return records;
}

TEST(AprsIs, RainOfTheLastDay) {
    const std::int64_t now = 1796640600;
    struct Row {
        const char* Name;
        std::vector<ArchiveRecord> Records;
        std::int64_t Now;
        std::optional<double> Rain;
    };
    const Row rows[] = {
        {"whole day", Day(now, {}), now, 28.8},
        {"older and newer records left out", Day(now + 600, {}, 400), now, 28.8},
        {"three intervals missing", Day(now, {100, 101, 102}), now, 28.5},
        {"four intervals missing", Day(now, {100, 101, 102, 103}), now, std::nullopt},
        {"the last fifteen minutes missing", Day(now, {}), now + 900, 28.5},
        {"the last twenty minutes missing", Day(now, {}), now + 1200, std::nullopt},
        {"the first hours missing", Day(now, {}, 200), now, std::nullopt},
        {"no archive", {}, now, std::nullopt},
    };
    for (const Row& row : rows) {
        const std::optional<double> rain = RainOfLastDay(row.Records, row.Now);
        ASSERT_EQ(rain.has_value(), row.Rain.has_value()) << row.Name;
        EXPECT_NEAR(rain.value_or(0), row.Rain.value_or(0), 1e-9) << row.Name;
    }
}

TEST(AprsIs, WxnowLines) {
    const UploadValues v = UploadValuesOf(Reading(), 5.0, 2.54);
    EXPECT_EQ(WxnowText({2026, 12, 6, 22, 52, 7}, v),
              "Dec 06 2026 22:52\r\n205/006g011t049r000p010P004h91b10153\r\n");
    EXPECT_EQ(WxnowText({2027, 5, 1, 7, 5, 0}, v).substr(0, 19), "May 01 2027 07:05\r\n");
}

}  // namespace
}  // namespace ombrix
