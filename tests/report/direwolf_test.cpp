// The report against a real packet engine: Debian's direwolf, started headless on a free port
// with no sound card, takes the AGWPE frame and puts it on the air; the packet it logs, read by its
// APRS decoder (decode_aprs), shows that the report's fields are read as they were meant.
#include <gtest/gtest.h>

#include <QProcess>
#include <QRandomGenerator>
#include <cctype>
#include <sstream>

#include "app/agw_link.h"
#include "decode_support.h"
#include "qt_support.h"
#include "support.h"

namespace ombrix::test {
namespace {

// A tool's output without its terminal colour sequences (ESC [ ... letter).
std::string Plain(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\x1b[") != 0) {
            out.push_back(text[i]);
            continue;
        }
        for (i += 2; i < text.size() && !std::isalpha(static_cast<unsigned char>(text[i]));) ++i;
    }
    return out;
}

bool HasLine(const std::string& text, const std::string& line) {
    std::istringstream in(Plain(text));
    for (std::string l; std::getline(in, l);) {
        while (!l.empty() && (l.back() == '\r' || l.back() == ' ')) l.pop_back();
        if (l == line) return true;
    }
    return false;
}

// One headless direwolf in a folder of its own: audio in from a FIFO that never ends (the shell
// opens it for reading and writing), transmit audio to the raw file "a" through ALSA's file
// plugin, everything it says to the file "log".
class Direwolf {
  public:
    ~Direwolf() { Stop(); }

    // On a free port in the range direwolf accepts (it binds every interface, so the probe does
    // too); on another one when direwolf did not get it after all.
    bool Start() {
        for (int attempt = 0; attempt < 3; ++attempt) {
            port_ = 0;
            for (int probe = 0; port_ == 0 && probe < 50; ++probe) {
                const auto p =
                    static_cast<quint16>(QRandomGenerator::global()->bounded(20000, 49152));
                if (QTcpServer().listen(QHostAddress::AnyIPv4, p)) port_ = p;
            }
            std::ofstream(dir_ / "dw.conf") << "ADEVICE stdin file:" << dir_ / "a"
                                            << ",raw\n"
                                            << "CHANNEL 0\nMYCALL DL0TST\nMODEM 1200\n"
                                            << "KISSPORT 0\nAGWPORT " << port_ << "\n"
                                            << "PERSIST 255\nSLOTTIME 1\nDWAIT 0\n";
            process_.setWorkingDirectory(QString::fromStdString(dir_.Path));
            process_.start(
                "sh",
                {"-c", "rm -f in; mkfifo in && exec direwolf -t 0 -c dw.conf <>in >log 2>&1"});
            const std::string ready = "Ready to accept AGW client application 0 on port " +
                                      std::to_string(port_) + " ...";
            (void)QTest::qWaitFor(
                [&] { return HasLine(Log(), ready) || process_.state() == QProcess::NotRunning; },
                5000);
            if (process_.state() == QProcess::Running && HasLine(Log(), ready)) return true;
            Stop();
        }
        return false;
    }

    void Stop() { EndProcess(process_); }

    quint16 Port() const { return port_; }
    std::string Log() const { return ReadFile(dir_ / "log"); }
    const TempDir& Dir() const { return dir_; }

  private:
    TempDir dir_;
    QProcess process_;
    quint16 port_ = 0;
};

// A forged set through the whole chain: -20 °C is -4 °F, 100 % humidity, 1 mm of rain. The logger
// neither warns nor writes an error record.
TEST(DirewolfTest, ReportGoesOnTheAirAndIsReadBack) {
    Direwolf engine;
    ASSERT_TRUE(engine.Start()) << engine.Log();
    AgwLink link("127.0.0.1", engine.Port());
    link.Connect();
    ASSERT_TRUE(QTest::qWaitFor([&] { return link.IsConnected(); }, 5000));
    LoggerHarness h(LoggerDefaults(), &link);
    h.Decode(TestSetWith(
        {{kOutdoorHumidity.Current, 100}, {kOutdoorTemperature.Current, -20.0}, {kRainHour, 1}}));
    const std::string packet =
        "DL1ABC>CQ,WIDE3-3:!4903.50N/07201.75W_205/006g006t-04r004P004h00b10150";
    ASSERT_EQ("DL1ABC>CQ,WIDE3-3:" + h.logger.LastCall().AprsText, packet);
    ASSERT_TRUE(QTest::qWaitFor([&] { return HasLine(engine.Log(), "[0L] " + packet); }, 10000))
        << engine.Log();
    EXPECT_EQ(h.records, std::vector<Bytes>{});
    EXPECT_EQ(h.warnings, std::vector<std::string>{});

    // The packet through direwolf's APRS decoder.
    const TempDir& dir = engine.Dir();
    const ToolRun read = RunTool(dir.Path, "decode_aprs", {}, WriteFile(dir / "p", packet + "\n"));
    for (const char* field : {"Weather Report", "temperature -4,", "humidity 100,",
                              "rain 0.04 in last hour", "barometer 29.9" /* 1015.0 hPa */})
        EXPECT_NE(Plain(read.Out).find(field), std::string::npos) << field << "\n"
                                                                  << Plain(read.Out);
}

// A direction above 360 and a sea-level pressure that does not decode (its 5-digit field beyond
// 16 bits) are APRS's unknowns, which direwolf's decoder leaves out instead of showing 999° or 0
// hPa.
TEST(DirewolfTest, ValuesOfAFaultyStationAreSentAsUnknown) {
    LoggerHarness h;
    h.Decode(TestSetWith({{kMeanDirection, 400}, {149, "4"}}));
    const std::string packet = "DL1ABC>CQ:" + h.logger.LastCall().AprsText;
    EXPECT_EQ(packet, "DL1ABC>CQ:!4903.50N/07201.75W_.../006g006t049r000P004h91b.....");
    TempDir dir;
    const std::string read =
        Plain(RunTool(dir.Path, "decode_aprs", {}, WriteFile(dir / "p", packet + "\n")).Out);
    EXPECT_NE(read.find("wind 6.9 mph, gust 6, temperature 49,"), std::string::npos) << read;
    EXPECT_EQ(read.find("direction"), std::string::npos) << read;
    EXPECT_EQ(read.find("barometer"), std::string::npos) << read;
}

}  // namespace
}  // namespace ombrix::test
