// The AGWPE link under a packet engine that misbehaves: one that is killed and started again
// several times (a separate process, ended with SIGKILL), and one that stays connected but stops
// reading. The link must never block the program, never hold more than 64 KiB of frames, drop
// the oldest frames first and send the next report once the engine takes frames again.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstring>

#include "qt_support.h"
#include "report/agw_link.h"

namespace ombrix::test {
namespace {

// An AGWPE frame of kind "K" whose data part is `size` bytes carrying the number n.
Bytes NumberedFrame(std::uint32_t n, std::size_t size) {
    Bytes wire(36 + size, '\0');
    wire[4] = 'K';
    for (int i = 0; i < 4; ++i) wire[28 + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
    for (int i = 0; i < 4; ++i) wire[36 + i] = static_cast<char>((n >> (8 * i)) & 0xFF);
    return wire;
}

// The numbers of the frames in a byte stream; false when the stream is no run of whole frames.
bool FrameNumbers(const QByteArray& stream, std::vector<std::uint32_t>& numbers) {
    qsizetype at = 0;
    while (at < stream.size()) {
        if (stream.size() - at < 40) return false;
        const auto* h = reinterpret_cast<const unsigned char*>(stream.constData() + at);
        const std::uint32_t length = h[28] | h[29] << 8 | h[30] << 16 | h[31] << 24;
        if (h[4] != 'K' || stream.size() - at < 36 + static_cast<qsizetype>(length)) return false;
        numbers.push_back(h[36] | h[37] << 8 | h[38] << 16 |
                          static_cast<std::uint32_t>(h[39]) << 24);
        at += 36 + length;
    }
    return true;
}

QByteArray Q(const Bytes& b) {
    return QByteArray(b.data(), static_cast<qsizetype>(b.size()));
}

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class AgwEngineTest : public ::testing::Test {
  protected:
    void SetUp() override { ::signal(SIGPIPE, SIG_DFL); }  // a broken pipe must not end us
    void TearDown() override { EXPECT_EQ(watch_.messages(), std::vector<std::string>{}); }
    MessageWatch watch_;
};

// The engine as a process of its own that keeps what it receives in a file: socat.
class EngineProcess {
  public:
    explicit EngineProcess(QString file) : file_(std::move(file)) {}
    ~EngineProcess() { Kill(); }

    bool Start(quint16 port) {
        log_.clear();
        process_.start(
            "socat", {"-d", "-d", "-u", QString("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr").arg(port),
                      "OPEN:" + file_ + ",creat,append"});
        if (!process_.waitForStarted(5000)) return false;
        // socat says when it listens (a probe connection would take its one connection).
        WaitUntil(
            [&] {
                log_ += process_.readAllStandardError();
                return log_.contains("listening on") || process_.state() != QProcess::Running;
            },
            5000);
        return log_.contains("listening on") && process_.state() == QProcess::Running;
    }
    // Gone without a word, like a crashed engine.
    void Kill() {
        if (process_.state() == QProcess::NotRunning) return;
        ::kill(static_cast<pid_t>(process_.processId()), SIGKILL);
        process_.waitForFinished(5000);
    }
    std::string Log() const { return log_.toStdString(); }
    QByteArray Received() const {
        QFile f(file_);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

  private:
    QString file_;
    QProcess process_;
    QByteArray log_;
};

TEST_F(AgwEngineTest, EngineKilledAndRestartedSeveralTimes) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const quint16 port = FreePort();
    ASSERT_NE(port, 0);
    EngineProcess engine(dir.filePath("received"));
    AgwLink link("127.0.0.1", port);
    link.Connect();

    QByteArray expected;
    std::uint32_t n = 0;
    for (int round = 0; round < 4; ++round) {
        ASSERT_TRUE(engine.Start(port)) << "round " << round << ": " << engine.Log();
        // The next report after the engine came back reaches it, the link reconnecting by itself.
        const Bytes report = NumberedFrame(++n, 80);
        link.WriteAgwFrame(report);
        expected += Q(report);
        ASSERT_TRUE(WaitUntil([&] { return engine.Received() == expected; }, 8000))
            << "round " << round << ": " << engine.Received().size() << " bytes";

        engine.Kill();
        // Reports while the engine is dead: into the dying connection, then refused. Lost, but
        // the program neither waits nor keeps them beyond their five seconds.
        link.WriteAgwFrame(NumberedFrame(++n, 80));
        Spin(100);
        link.WriteAgwFrame(NumberedFrame(++n, 80));
        ASSERT_TRUE(
            WaitUntil([&] { return !link.IsConnected() && link.WaitingFrames() == 0; }, 8000));
        EXPECT_LE(link.WaitingBytes(), AgwLink::kMaxWaitingBytes);
    }
    EXPECT_EQ(engine.Received(), expected);
}

TEST_F(AgwEngineTest, EngineThatStopsReading) {
    // A listening socket with a small receive buffer; the connection is accepted but not read.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    const int small = 4096;
    ::setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);

    AgwLink link("127.0.0.1", ntohs(address.sin_port));
    link.Connect();
    ASSERT_TRUE(WaitUntil([&] { return link.IsConnected(); }, 5000));
    const int engine = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    ASSERT_GE(engine, 0);

    // Reports pile up: first in the kernel, then in the link, which must stay within its 64 KiB
    // and let each write return at once (a blocking write would hang this test).
    constexpr std::size_t kFrameData = 1000;
    constexpr std::uint32_t kMaxFrames = 20000;  // 20 MB: far beyond any kernel buffer
    std::uint32_t written = 0;
    qsizetype mostWaiting = 0;
    qint64 slowestWriteUs = 0;
    QElapsedTimer clock;
    while (written < kMaxFrames && link.DroppedFrames() < 500) {
        clock.start();
        link.WriteAgwFrame(NumberedFrame(++written, kFrameData));
        slowestWriteUs = std::max(slowestWriteUs, clock.nsecsElapsed() / 1000);
        mostWaiting = std::max(mostWaiting, link.WaitingBytes());
        if (written % 100 == 0) QCoreApplication::processEvents();
    }
    ASSERT_GE(link.DroppedFrames(), 500u) << "the kernel took " << written << " frames";
    EXPECT_LE(mostWaiting, AgwLink::kMaxWaitingBytes);
    EXPECT_GE(mostWaiting, AgwLink::kMaxWaitingBytes - 2 * static_cast<qsizetype>(kFrameData));
    Spin(200);  // the link keeps trying; nothing changes while the engine does not read
    EXPECT_LE(link.WaitingBytes(), AgwLink::kMaxWaitingBytes);
    std::printf(
        "[ figures ] %u frames written, %zu dropped, at most %lld bytes waiting, "
        "slowest write %lld us\n",
        written, link.DroppedFrames(), static_cast<long long>(mostWaiting),
        static_cast<long long>(slowestWriteUs));

    // The engine reads again: everything still held arrives, whole frames only, the newest last.
    QByteArray stream;
    const bool all = WaitUntil(
        [&] {
            char buffer[65536];
            for (ssize_t got; (got = ::recv(engine, buffer, sizeof buffer, 0)) > 0;)
                stream.append(buffer, got);
            return link.WaitingBytes() == 0 && stream.size() >= 40 &&
                   stream.endsWith(Q(NumberedFrame(written, kFrameData)));
        },
        20000);
    ASSERT_TRUE(all) << stream.size() << " bytes read, " << link.WaitingBytes() << " waiting";
    std::vector<std::uint32_t> numbers;
    ASSERT_TRUE(FrameNumbers(stream, numbers)) << "a frame was cut";
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
    EXPECT_EQ(numbers.size() + link.DroppedFrames(), written);
    // Oldest dropped first: after the gap, an unbroken run of the newest frames, as many as fit.
    std::size_t run = 1;
    while (run < numbers.size() &&
           numbers[numbers.size() - run - 1] + 1 == numbers[numbers.size() - run])
        ++run;
    EXPECT_GE(run, static_cast<std::size_t>(AgwLink::kMaxWaitingBytes) / (36 + kFrameData) - 1);

    // And the next report goes straight through.
    const Bytes next = NumberedFrame(++written, 80);
    link.WriteAgwFrame(next);
    ASSERT_TRUE(WaitUntil(
        [&] {
            char buffer[4096];
            for (ssize_t got; (got = ::recv(engine, buffer, sizeof buffer, 0)) > 0;)
                stream.append(buffer, got);
            return stream.endsWith(Q(next));
        },
        5000));
    ::close(engine);
    ::close(listener);
}

// A frame too large to be kept at all is dropped on its own; the link goes on.
TEST_F(AgwEngineTest, FrameLargerThanTheLimitIsDropped) {
    Peer engine;
    ASSERT_TRUE(engine.Listen());
    AgwLink link("127.0.0.1", engine.Port());
    link.Connect();
    ASSERT_TRUE(WaitUntil([&] { return link.IsConnected(); }, 5000));
    link.WriteAgwFrame(NumberedFrame(1, AgwLink::kMaxWaitingBytes));
    EXPECT_EQ(link.DroppedFrames(), 1u);
    const Bytes small = NumberedFrame(2, 50);
    link.WriteAgwFrame(small);
    ASSERT_TRUE(WaitUntil([&] { return engine.received == Q(small); }, 5000));
}

}  // namespace
}  // namespace ombrix::test
