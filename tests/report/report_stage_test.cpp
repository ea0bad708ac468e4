// The report stage over sequences of sets: counter cycle, status lines, reports, the running wind
// values, the "Zähler" row, the report's field widths and the rule for unconfigured stations.
#include <gtest/gtest.h>

#include <clocale>
#include <locale>

#include "decode_support.h"
#include "report/report_stage.h"

namespace ombrix::test {
namespace {

const Bytes kTestSetReport = "!4903.50N/07201.75W_205/006g006t049r000P004h91b10150";

// 121 sets; a rejected one follows each that composes a report or a status line at a half hour.
TEST(ReportStage, SixtySetCycle) {
    LoggerHarness h;
    for (int n = 1; n <= 121; ++n) {
        h.now = At(14, n % 60, 0);
        h.Decode(TestTelegramSet());
        const CallOutputs& last = h.logger.LastCall();
        const bool status = n % 60 % 6 == 1;
        EXPECT_EQ(last.StatusComposed, status) << n;
        EXPECT_EQ(last.AprsText.empty(), n % 60 != 1) << n;
        EXPECT_EQ(last.Frame.empty(), last.AprsText.empty()) << n;
        EXPECT_EQ(h.logger.Report().Counter(), n % 60) << n;
        EXPECT_EQ(h.ZaehlerCell(1), NumberText(n % 60)) << n;
        EXPECT_EQ(h.ZaehlerCell(2), status ? " 14" : "") << n;
        EXPECT_EQ(h.ZaehlerCell(3), status ? NumberText(n % 60) : "") << n;
        EXPECT_TRUE(!status || h.logger.StatusText().starts_with("14 " + TwoDigits(n % 60) + " "))
            << n;
        if (n % 30 == 1) {  // a rejected set changes nothing: no count, status, report or log
            Bytes broken = TestTelegramSet();
            broken[120] = static_cast<char>(broken[120] + 1);
            EXPECT_NE(h.Decode(n % 60 == 1 ? broken : broken.substr(1)), SetOutcome::Valid);
            EXPECT_FALSE(h.logger.LastCall().StatusComposed ||
                         !h.logger.LastCall().AprsText.empty());
        }
    }
    EXPECT_EQ(h.appended.size(), 121u);
    EXPECT_EQ(h.sink.frames.size(), 3u);
    EXPECT_TRUE(h.records.empty() && h.warnings.empty());
}

TEST(ReportStage, GustDirectionOnTies) {
    LoggerHarness h;
    const struct {
        std::vector<Edit> Wind;  // speeds in tenths of m/s
        int GustDirection;
    } steps[] = {
        // Equal speeds: the peak's direction (the report of set 1 then restarts GustMax).
        {{{kGustSpeed, 20}, {kGustDirection, 200}, {kMeanSpeed, 20}, {kMeanDirection, 100}}, 200},
        // The mean beats the peak: its direction, GustMax 7.2 km/h.
        {{{kGustSpeed, 10}, {kGustDirection, 130}, {kMeanSpeed, 20}, {kMeanDirection, 120}}, 120},
        // A peak equal to GustMax takes over.
        {{{kGustSpeed, 20}, {kGustDirection, 140}, {kMeanSpeed, 5}, {kMeanDirection, 10}}, 140},
    };
    for (const auto& s : steps) {
        h.Decode(TestSetWith(s.Wind));
        EXPECT_EQ(h.logger.Report().GustDirection(), s.GustDirection);
    }
    EXPECT_EQ(h.logger.Report().GustMax(), 7.2F);
}

TEST(ReportStage, DirectionAverage) {
    const struct {
        std::vector<int> Directions;
        int Average;
    } cases[] = {
        {{350, 10}, 0},         // (350 + 370) / 2 = 360
        {{10, 350}, 0},         // (370 + 350) / 2 = 360
        {{350, 10, 20}, 7},     // (0 × 2 + 20) / 3 = 6.67
        {{90, 180}, 135},       //
        {{0, 1}, 0},            // 0.5: halves go to the even neighbour
        {{1, 2}, 2},            // 1.5
        {{180, 0}, 90},         // exactly opposite: no turn over north
        {{300, 100, 100}, 47},  // (300 + 460) / 2 = 380 -> 20, then (20 × 2 + 100) / 3
    };
    for (const auto& c : cases) {
        LoggerHarness h;
        for (int d : c.Directions) h.Decode(TestSetWith({{kMeanDirection, d}}));
        EXPECT_EQ(h.logger.Report().AvgDirection(), c.Average) << c.Directions.back();
        EXPECT_EQ(h.ZaehlerCell(5), NumberText(c.Average));
    }
}

// "Zähler=0" late in a cycle: the next set is a report set again. Its gust covers the whole
// cycle so far; its direction is that of the set alone.
TEST(ReportStage, CounterResetMidCycle) {
    LoggerHarness h;
    // Peak 7.2 km/h, mean 3.6 km/h; on set 30 a peak of 54 km/h from 90°.
    const std::vector<Edit> calm{
        {kGustSpeed, 20}, {kGustDirection, 110}, {kMeanSpeed, 10}, {kMeanDirection, 100}};
    std::vector<Edit> gusty = calm, next = calm;
    gusty.insert(gusty.end(), {{kGustSpeed, 150}, {kGustDirection, 90}});
    next.push_back({kMeanDirection, 300});
    for (int n = 1; n <= 59; ++n) h.Decode(TestSetWith(n == 30 ? gusty : calm));
    const ReportStage& r = h.logger.Report();
    EXPECT_EQ(r.Counter(), 59);
    EXPECT_DOUBLE_EQ(r.GustMax(), 54.0);
    EXPECT_EQ(r.GustDirection(), 90);  // later, weaker peaks do not take over
    EXPECT_EQ(r.AvgDirection(), 100);
    h.logger.ResetCounter();
    h.logger.ResetCounter();
    EXPECT_EQ(r.Counter(), 0);
    EXPECT_EQ(h.sink.frames.size(), 1u);
    EXPECT_EQ(h.ZaehlerCell(1), " 59");  // the table shows the reset only with the next set

    h.Decode(TestSetWith(next));
    EXPECT_EQ(h.sink.frames.size(), 2u);
    // Mean speed 3.6 km/h = 2 mph, gust 54 km/h = 34 mph.
    EXPECT_EQ(h.logger.LastCall().AprsText.substr(20, 11), "300/002g034");
    EXPECT_TRUE(h.logger.LastCall().StatusComposed);
    EXPECT_EQ(h.ZaehlerCell(1), " 1");
    EXPECT_EQ(r.GustMax(), 0);
}

TEST(ReportStage, StatusLineFields) {
    LoggerHarness h;
    h.now = At(9, 3, 59);
    const std::vector<Edit> weather{{kOutdoorHumidity.Current, 5},
                                    {kRainHour, 12},
                                    {kRainToday, 1345},
                                    {kOutdoorTemperature.Current, -3.6},
                                    {kSeaLevelPressure, 9876}};
    const Bytes set = TestSetWith(weather);
    h.Decode(set);
    EXPECT_EQ(h.logger.StatusText(), "09 03 -4 7 8 12 1345 9 205 10 194 988 5");
    EXPECT_EQ(h.ZaehlerCell(2), " 9");
    EXPECT_EQ(h.ZaehlerCell(3), " 3");
    h.Decode(set);  // second set: no status line, the text keeps the last one
    EXPECT_FALSE(h.logger.LastCall().StatusComposed);
    EXPECT_EQ(h.logger.StatusText(), "09 03 -4 7 8 12 1345 9 205 10 194 988 5");
}

TEST(AprsText, FieldWidthsAndClamps) {
    const ReportValues base{205, 9.36, 10.08, 9.4, 0, 1, 91, 1015.0};
    auto with = [&](auto change) {
        ReportValues v = base;
        change(v);
        return v;
    };
    const struct {
        ReportValues Values;
        const char* Expected;
    } cases[] = {
        {base, "!L205/006g006t049r000P004h91b10150"},
        {with([](auto& v) { v.Temperature = -17.5; }), "!L205/006g006t001r000P004h91b10150"},
        {with([](auto& v) { v.Temperature = -22.5; }), "!L205/006g006t-09r000P004h91b10150"},
        {with([](auto& v) { v.Temperature = -17.9; }), "!L205/006g006t000r000P004h91b10150"},
        {with([](auto& v) { v.Temperature = -80; }), "!L205/006g006t-99r000P004h91b10150"},
        {with([](auto& v) { v.Temperature = 600; }), "!L205/006g006t999r000P004h91b10150"},
        {with([](auto& v) { v.Temperature = 37.8; }), "!L205/006g006t100r000P004h91b10150"},
        {with([](auto& v) { v.Humidity = 150; }), "!L205/006g006t049r000P004h00b10150"},
        {with([](auto& v) { v.Humidity = 0; }), "!L205/006g006t049r000P004h01b10150"},
        {with([](auto& v) { v.Humidity = 5; }), "!L205/006g006t049r000P004h05b10150"},
        {with([](auto& v) { v.RainToday = 254; }), "!L205/006g006t049r000P999h91b10150"},
        {with([](auto& v) { v.RainToday = 25; }), "!L205/006g006t049r000P098h91b10150"},
        {with([](auto& v) { v.Pressure = 1015.3; }), "!L205/006g006t049r000P004h91b10153"},
        {with([](auto& v) { v.Pressure = 850; }), "!L205/006g006t049r000P004h91b08500"},
        {with([](auto& v) { v.Pressure = 10000; }), "!L205/006g006t049r000P004h91b99999"},
        {with([](auto& v) { v.Direction = 360; }), "!L360/006g006t049r000P004h91b10150"},
        {with([](auto& v) { v.Direction = 361; }), "!L.../006g006t049r000P004h91b10150"},
        {with([](auto& v) { v.Gust = 1609 * 2; }), "!L205/006g999t049r000P004h91b10150"},
        {with([](auto& v) { v.Direction = v.MeanSpeed = v.Gust = 0; }),
         "!L000/000g000t049r000P004h91b10150"},
    };
    for (const auto& c : cases) EXPECT_EQ(AprsText("L", c.Values), c.Expected);
    ReportValues unknown = base;
    unknown.Pressure.reset();
    EXPECT_EQ(AprsText("L", unknown), "!L205/006g006t049r000P004h91b.....");
    EXPECT_EQ(AprsText("", base), "!205/006g006t049r000P004h91b10150");
}

// The report reads temperature and pressure as the station sent them, in every locale: a
// comma as decimal separator once turned 9.4 °C into t048 and 1015.3 mb into b10150.
TEST(AprsText, TemperatureAndPressureDoNotDependOnTheLocale) {
    struct Comma : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
    };
    const std::locale previous =
        std::locale::global(std::locale(std::locale::classic(), new Comma));
    const std::string cLocale = std::setlocale(LC_ALL, nullptr);
    const bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;

    LoggerSettings settings = LoggerDefaults();
    settings.DecimalSeparator = ",";
    LoggerHarness h(settings);
    h.Decode(TestSetWith({{kSeaLevelPressure, 10153}}));
    EXPECT_EQ(h.logger.Table().Row(8)[1], "1015,3mb");  // the table does follow the separator
    EXPECT_EQ(h.logger.LastCall().AprsText, "!4903.50N/07201.75W_205/006g006t049r000P004h91b10153");

    std::locale::global(previous);
    std::setlocale(LC_ALL, cLocale.c_str());
    if (!german) GTEST_LOG_(INFO) << "no de_DE locale installed; C++ locale and separator tested";
}

// No source callsign, or a placeholder: the report is composed and logged but never sent, and
// the program says why once per run. Callsigns that only look like one are sent.
TEST(ReportStage, UnconfiguredStationComposesButDoesNotSend) {
    const std::pair<const char*, bool> calls[] = {
        {"", false},         {"n0call", false},  {"NOCALL-7", false}, {"NOCALL-", false},
        {" N0CALL ", false}, {"DL1ABC-9", true}, {"N0CAL", true},     {"NOCAL-1", true},
    };
    for (const auto& [call, sent] : calls) {
        SCOPED_TRACE(std::string("\"") + call + "\"");
        LoggerSettings settings = LoggerDefaults();
        settings.AddressCalls[1] = call;
        LoggerHarness h(settings);
        for (std::size_t report = 1; report <= 2; ++report) {
            h.Decode(TestTelegramSet());
            EXPECT_EQ(h.logger.LastCall().AprsText, kTestSetReport);
            ASSERT_EQ(h.appended.size(), report);
            EXPECT_TRUE(h.appended.back().second.ends_with(kTestSetReport + "\r\n"));
            h.logger.ResetCounter();
        }
        EXPECT_EQ(h.sink.frames.size(), sent ? 2u : 0u);
        ASSERT_EQ(h.warnings.size(), sent ? 0u : 1u);
        EXPECT_TRUE(sent || h.warnings[0].find("\"CallFrom\"") != std::string::npos);
        EXPECT_TRUE(sent || h.warnings[0].find('\n') == std::string::npos) << h.warnings[0];
        EXPECT_TRUE(h.records.empty());
    }
}

TEST(ReportStage, FrameErrorIsLoggedAndTheRawLogStillRuns) {
    LoggerSettings settings = LoggerDefaults();
    settings.AddressCalls[2] = "WIDE1-16";
    LoggerHarness h(settings);
    h.Decode(TestTelegramSet());
    EXPECT_TRUE(h.sink.frames.empty());
    ASSERT_EQ(h.records.size(), 1u);
    EXPECT_NE(h.records[0].find("Err.Number:  5 \r\n"), std::string::npos);
    EXPECT_NE(h.records[0].find("NewItem.Index:  22"), std::string::npos);  // the "Zähler" row
    EXPECT_EQ(h.logger.LastCall().AprsText, kTestSetReport);
    EXPECT_EQ(h.appended.size(), 1u);
    EXPECT_EQ(h.logger.Report().Counter(), 1);
    EXPECT_EQ(h.logger.Report().GustMax(), 0);
}

}  // namespace
}  // namespace ombrix::test
