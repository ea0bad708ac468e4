// The report against a real packet engine: Debian's direwolf, started headless on a free port
// with no sound card, takes the AGWPE frame and puts it on the air. Its transmit audio, decoded
// by direwolf's own modem (atest) and read by its APRS decoder (decode_aprs), shows that the
// report's fields are read as they were meant.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "qt_support.h"
#include "report/agw_link.h"
#include "report_support.h"

extern char** environ;

namespace ombrix::test {
namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Terminal colour sequences (ESC [ ... letter) taken out of a tool's output.
std::string Plain(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\x1b' && i + 1 < text.size() && text[i + 1] == '[') {
            i += 2;
            while (i < text.size() && !std::isalpha(static_cast<unsigned char>(text[i]))) ++i;
            continue;
        }
        out.push_back(text[i]);
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

// A free AGW port in the range direwolf accepts; it binds every interface, so probe those.
quint16 FreeAgwPort() {
    for (int attempt = 0; attempt < 50; ++attempt) {
        const auto port = static_cast<quint16>(QRandomGenerator::global()->bounded(20000, 49152));
        QTcpServer probe;
        if (probe.listen(QHostAddress::AnyIPv4, port)) return port;
    }
    return 0;
}

// One headless direwolf: audio in from a FIFO that never ends (the process holds it open for
// reading and writing), transmit audio to a raw file through ALSA's file plugin.
class Direwolf {
  public:
    Direwolf() {
        char pattern[] = "/tmp/omXXXXXX";  // short: direwolf cuts the device text at 29
        if (::mkdtemp(pattern) != nullptr) dir_ = pattern;
    }
    ~Direwolf() {
        Stop();
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }

    bool Start(quint16 port = 0) {
        if (dir_.empty()) return false;
        for (int attempt = 0; attempt < 3; ++attempt) {
            port_ = port != 0 ? port : FreeAgwPort();
            if (port_ != 0 && Launch() && WaitReady()) return true;
            Stop();
            if (port != 0) QThread::msleep(500);  // a fixed port may still be closing
        }
        return false;
    }

    void Stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        for (int i = 0; i < 300 && ::waitpid(pid_, nullptr, WNOHANG) == 0; ++i) QThread::msleep(10);
        if (::waitpid(pid_, nullptr, WNOHANG) == 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }

    quint16 Port() const { return port_; }
    std::string Log() const { return ReadFile(dir_ + "/log"); }
    std::string AudioPath() const { return dir_ + "/a"; }
    const std::string& Dir() const { return dir_; }

  private:
    bool Launch() {
        const std::string fifo = dir_ + "/in";
        ::unlink(fifo.c_str());
        if (::mkfifo(fifo.c_str(), 0600) != 0) return false;
        std::ofstream(dir_ + "/dw.conf") << "ADEVICE stdin file:" << AudioPath() << ",raw\n"
                                         << "CHANNEL 0\nMYCALL DL0TST\nMODEM 1200\n"
                                         << "KISSPORT 0\nAGWPORT " << port_ << "\n"
                                         << "PERSIST 255\nSLOTTIME 1\nDWAIT 0\n";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, fifo.c_str(), O_RDWR, 0);
        const std::string log = dir_ + "/log";
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const std::string conf = dir_ + "/dw.conf";
        const char* argv[] = {"direwolf", "-t", "0", "-c", conf.c_str(), nullptr};
        const int rc = ::posix_spawnp(&pid_, "direwolf", &actions, nullptr,
                                      const_cast<char* const*>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) pid_ = -1;
        return rc == 0;
    }

    bool WaitReady() {
        const std::string ready =
            "Ready to accept AGW client application 0 on port " + std::to_string(port_) + " ...";
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 5000) {
            if (HasLine(Log(), ready)) return true;
            if (::waitpid(pid_, nullptr, WNOHANG) != 0) {
                pid_ = -1;
                return false;
            }
            QThread::msleep(20);
        }
        return false;
    }

    std::string dir_;
    pid_t pid_ = -1;
    quint16 port_ = 0;
};

// S16_LE mono 44100 Hz samples wrapped as a WAV file.
void WriteWav(const std::string& path, const std::string& samples) {
    auto le = [](std::uint32_t v, int bytes) {
        std::string s;
        for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 255));
        return s;
    };
    const auto n = static_cast<std::uint32_t>(samples.size());
    std::ofstream(path, std::ios::binary)
        << "RIFF" << le(36 + n, 4) << "WAVEfmt " << le(16, 4) << le(1, 2) << le(1, 2)
        << le(44100, 4) << le(88200, 4) << le(2, 2) << le(16, 2) << "data" << le(n, 4) << samples;
}

std::string RunTool(const QString& program, const QStringList& args, const QByteArray& input = {}) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForStarted(5000)) return "";
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(10000);
    return p.readAll().toStdString();
}

class DirewolfTest : public ::testing::Test {
  protected:
    void SetUp() override {
        settings_.Lage = "4903.50N/07201.75W_";
        settings_.AddressCalls = {"CQ", "DL1ABC", "Wide3-3", "", "", ""};
    }
    void TearDown() override {
        EXPECT_EQ(records_, std::vector<Bytes>{});
        EXPECT_EQ(watch_.messages(), std::vector<std::string>{});
    }
    std::unique_ptr<WeatherLogger> Logger(FrameSink* link) {
        return std::make_unique<WeatherLogger>(
            settings_, [] { return At(14, 5, 9); }, link, nullptr,
            [this](const Bytes& r) { records_.push_back(r); },
            [this](const std::string& w) { records_.push_back(w); });
    }

    LoggerSettings settings_;
    std::vector<Bytes> records_;
    MessageWatch watch_;
};

TEST_F(DirewolfTest, ReportGoesOnTheAirAndIsReadBack) {
    Direwolf engine;
    ASSERT_TRUE(engine.Start()) << engine.Log();
    AgwLink link("127.0.0.1", engine.Port());
    link.Connect();
    ASSERT_TRUE(WaitUntil([&] { return link.IsConnected(); }, 5000));
    auto logger = Logger(&link);

    SetReadings r;
    r.Temperature = -20.0;
    r.Humidity = 100;
    r.RainHour = 1;
    logger->DecodeTelegramSet(MakeSet(r));
    const Bytes report = logger->LastCall().AprsText;
    ASSERT_EQ(report, "!4903.50N/07201.75W_205/006g006t-04r004P004h00b10150");
    const std::string packet = "DL1ABC>CQ,WIDE3-3:" + report;
    ASSERT_TRUE(WaitUntil([&] { return HasLine(engine.Log(), "[0L] " + packet); }, 10000))
        << engine.Log();

    // The transmitted audio, once complete, through direwolf's modem and APRS decoder.
    std::uintmax_t size = 0;
    WaitUntil(
        [&] {
            std::error_code ec;
            const std::uintmax_t now = std::filesystem::file_size(engine.AudioPath(), ec);
            const bool stable = !ec && now > 0 && now == size;
            size = ec ? 0 : now;
            if (!stable) QThread::msleep(200);
            return stable;
        },
        10000);
    engine.Stop();
    const std::string wav = engine.Dir() + "/a.wav";
    WriteWav(wav, ReadFile(engine.AudioPath()));
    const std::string heard = RunTool("atest", {QString::fromStdString(wav)});
    EXPECT_TRUE(HasLine(heard, "[0] " + packet)) << Plain(heard);
    EXPECT_NE(heard.find("1 packets decoded"), std::string::npos) << Plain(heard);

    const std::string read =
        Plain(RunTool("decode_aprs", {}, QByteArray::fromStdString(packet + "\n")));
    EXPECT_NE(read.find("Weather Report"), std::string::npos) << read;
    EXPECT_NE(read.find("temperature -4,"), std::string::npos) << read;
    EXPECT_NE(read.find("humidity 100,"), std::string::npos) << read;
    EXPECT_NE(read.find("rain 0.04 in last hour"), std::string::npos) << read;
    EXPECT_NE(read.find("barometer 29.9"), std::string::npos) << read;  // 1015.0 hPa
}

TEST_F(DirewolfTest, EngineStoppedMidRunAndRestarted) {
    Direwolf engine;
    ASSERT_TRUE(engine.Start()) << engine.Log();
    const quint16 port = engine.Port();
    AgwLink link("127.0.0.1", port);
    link.Connect();
    ASSERT_TRUE(WaitUntil([&] { return link.IsConnected(); }, 5000));
    auto logger = Logger(&link);
    auto sendReport = [&](double celsius) {
        SetReadings r;
        r.Temperature = celsius;
        logger->ResetCounter();
        logger->DecodeTelegramSet(MakeSet(r));
        return "[0L] DL1ABC>CQ,WIDE3-3:" + logger->LastCall().AprsText;
    };

    const std::string first = sendReport(10.0);
    ASSERT_TRUE(WaitUntil([&] { return HasLine(engine.Log(), first); }, 10000)) << engine.Log();

    engine.Stop();
    sendReport(11.0);  // into the dead connection
    ASSERT_TRUE(WaitUntil([&] { return !link.IsConnected(); }, 5000));
    sendReport(12.0);  // engine down: refused, dropped
    Spin(200);

    ASSERT_TRUE(engine.Start(port)) << engine.Log();
    const std::string resumed = sendReport(13.0);
    ASSERT_TRUE(WaitUntil([&] { return HasLine(engine.Log(), resumed); }, 10000)) << engine.Log();
    const std::string log = engine.Log();
    EXPECT_EQ(log.find("t052"), std::string::npos) << log;  // 11 °C never arrived
    EXPECT_EQ(log.find("t054"), std::string::npos) << log;  // 12 °C neither
}

}  // namespace
}  // namespace ombrix::test
