// The AGWPE link against a stand-in engine on 127.0.0.1: frames arrive whole, replies are
// ignored, and an absent, dying or slow engine costs frames but never a crash or a message.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>

#include "qt_support.h"
#include "report/agw_link.h"
#include "report_support.h"

namespace ombrix::test {
namespace {

// A frame of `size` bytes that starts with a NUL and a byte above 127.
Bytes Frame(char fill, std::size_t size) {
    return Bytes("\0\xff", 2) + Bytes(size - 2, fill);
}

QByteArray Q(const Bytes& b) {
    return QByteArray(b.data(), static_cast<qsizetype>(b.size()));
}

class AgwLinkTest : public ::testing::Test {
  protected:
    // A broken connection must not end the process: no SIGPIPE handler of our own may hide it.
    void SetUp() override { ::signal(SIGPIPE, SIG_DFL); }
    void TearDown() override { EXPECT_EQ(watch_.messages(), std::vector<std::string>{}); }
    MessageWatch watch_;
};

TEST_F(AgwLinkTest, FramesArriveWholeAndRepliesAreIgnored) {
    Peer engine;
    ASSERT_TRUE(engine.Listen());
    AgwLink link("127.0.0.1", engine.Port());
    link.Connect();
    ASSERT_TRUE(WaitUntil([&] { return link.IsConnected() && !engine.clients.empty(); }, 3000));

    engine.clients[0]->write(QByteArray(100000, 'R'));  // whatever the engine says
    const Bytes a = Frame('a', 110);
    const Bytes b = Frame('b', 4000);
    link.WriteAgwFrame(a);
    link.WriteAgwFrame(b);
    ASSERT_TRUE(WaitUntil([&] { return engine.received.size() >= Q(a + b).size(); }, 3000));
    Spin(50);
    EXPECT_EQ(engine.received, Q(a + b));
    EXPECT_TRUE(link.IsConnected());
}

// No engine at start: the connection is refused and the frames due meanwhile are dropped. Once
// an engine listens, a frame due before a connection stands is sent as soon as one does.
TEST_F(AgwLinkTest, EngineAbsentThenStarted) {
    Peer engine;
    ASSERT_TRUE(engine.Listen());
    const quint16 port = engine.Port();
    engine.Stop();  // nobody listens on the port now
    AgwLink link("127.0.0.1", port);
    link.Connect();
    Spin(100);
    EXPECT_FALSE(link.IsConnected());
    link.WriteAgwFrame(Frame('a', 80));
    link.WriteAgwFrame(Frame('b', 80));
    EXPECT_TRUE(WaitUntil([&] { return link.WaitingFrames() == 0; }, 3000));  // refused: dropped
    EXPECT_FALSE(link.IsConnected());

    ASSERT_TRUE(engine.Listen(port));
    const Bytes c = Frame('c', 90);
    link.WriteAgwFrame(c);
    EXPECT_EQ(link.WaitingFrames(), 1u);
    ASSERT_TRUE(WaitUntil([&] { return engine.received.size() >= Q(c).size(); }, 3000));
    EXPECT_EQ(engine.received, Q(c));
    EXPECT_EQ(link.WaitingFrames(), 0u);
}

TEST_F(AgwLinkTest, EngineStoppedMidRunAndRestarted) {
    auto engine = std::make_unique<Peer>();
    ASSERT_TRUE(engine->Listen());
    const quint16 port = engine->Port();
    AgwLink link("127.0.0.1", port);
    link.Connect();
    ASSERT_TRUE(WaitUntil([&] { return !engine->clients.empty(); }, 3000));
    const Bytes a = Frame('a', 90);
    link.WriteAgwFrame(a);
    ASSERT_TRUE(WaitUntil([&] { return engine->received == Q(a); }, 3000));

    // The engine dies. Frames written before the link has noticed go into a dead socket: the
    // second one meets the reset connection, which must not raise SIGPIPE.
    engine.reset();
    link.WriteAgwFrame(Frame('b', 90));
    QThread::msleep(50);
    link.WriteAgwFrame(Frame('c', 90));
    ASSERT_TRUE(WaitUntil([&] { return !link.IsConnected(); }, 3000));

    // Due while the engine is down: refused, dropped.
    link.WriteAgwFrame(Frame('d', 90));
    ASSERT_TRUE(WaitUntil([&] { return link.WaitingFrames() == 0; }, 3000));

    // The engine is back on its port: the next report reconnects and goes through alone.
    Peer restarted;
    ASSERT_TRUE(restarted.Listen(port));
    const Bytes e = Frame('e', 90);
    link.WriteAgwFrame(e);
    ASSERT_TRUE(WaitUntil([&] { return restarted.received.size() >= Q(e).size(); }, 3000));
    Spin(50);
    EXPECT_EQ(restarted.received, Q(e));
    EXPECT_TRUE(link.IsConnected());
}

TEST_F(AgwLinkTest, FrameIsDroppedWhenNoConnectionStandsWithinFiveSeconds) {
    // An engine that does not answer: its one-place accept queue is taken, so connection
    // attempts hang in the handshake.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const int filler = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&address), length), 0);

    AgwLink link("127.0.0.1", ntohs(address.sin_port));
    QElapsedTimer clock;
    clock.start();
    link.WriteAgwFrame(Frame('a', 90));
    Spin(1000);
    EXPECT_EQ(link.WaitingFrames(), 1u);  // still waiting for the handshake
    ASSERT_TRUE(WaitUntil([&] { return link.WaitingFrames() == 0; }, 6000));
    EXPECT_GE(clock.elapsed(), AgwLink::kConnectWaitMs - 100);
    EXPECT_FALSE(link.IsConnected());

    ::close(filler);
    ::close(listener);
}

}  // namespace
}  // namespace ombrix::test
