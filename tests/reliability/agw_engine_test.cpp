// The AGWPE link against packet engines on 127.0.0.1: one that is killed and started again
// several times (a socat process ended with SIGKILL), one that talks back, stays connected and
// stops reading, and one that never answers. Frames arrive whole and replies are ignored; the
// link must never block the program, never hold more than 64 KiB of frames, drop the oldest
// frames first, send the next report once the engine takes frames again, and never say a word
// about it.
#include <signal.h>

#include <QRegularExpression>

#include "app/agw_link.h"
#include "qt_support.h"

using ombrix::AgwLink;
using ombrix::Bytes;
using namespace ombrix::test;

namespace {

// An AGWPE frame of kind "K" whose data part is `size` bytes: the number n, then bytes 0xFF.
QByteArray NumberedFrame(std::uint32_t n, std::size_t size) {
    QByteArray wire = QByteArray(36, '\0') + QByteArray(static_cast<qsizetype>(size), '\xff');
    wire[4] = 'K';
    for (int i = 0; i < 4; ++i) {
        wire[28 + i] = static_cast<char>(size >> (8 * i));
        wire[36 + i] = static_cast<char>(n >> (8 * i));
    }
    return wire;
}
void Write(AgwLink& link, const QByteArray& frame) {
    link.WriteAgwFrame(Bytes(frame.constData(), static_cast<std::size_t>(frame.size())));
}

// The numbers of the frames in a byte stream; false when the stream is no run of whole frames.
bool FrameNumbers(const QByteArray& stream, std::vector<std::uint32_t>& numbers) {
    const auto* b = reinterpret_cast<const unsigned char*>(stream.constData());
    const auto word = [&](qsizetype at) {
        return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t{b[at + 3]} << 24;
    };
    for (qsizetype at = 0; at < stream.size(); at += 36 + word(at + 28)) {
        if (stream.size() - at < 40 || b[at + 4] != 'K' || stream.size() - at < 36 + word(at + 28))
            return false;
        numbers.push_back(word(at + 36));
    }
    return true;
}

// Reads what the engine's end of the connection holds, without waiting.
void Drain(int fd, QByteArray& stream) {
    char buffer[65536];
    for (ssize_t got; (got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
        stream.append(buffer, got);
}

}  // namespace

class AgwEngineTest : public QObject {
    Q_OBJECT

  private slots:
    // As the program starts: nothing has touched SIGPIPE, and the link must not raise it.
    void initTestCase() { ::signal(SIGPIPE, SIG_DFL); }
    void init() { QTest::failOnWarning(QRegularExpression(".*")); }

    void EngineKilledAndRestartedSeveralTimes() {
        QTemporaryDir dir;
        const quint16 port = FreePort();
        QVERIFY(dir.isValid() && port != 0);
        AgwLink link("127.0.0.1", port);
        link.Connect();
        QProcess engine;  // keeps what it receives in a file
        engine.setProcessChannelMode(QProcess::MergedChannels);
        QByteArray expected;
        std::uint32_t n = 0;
        for (int round = 0; round < 4; ++round) {
            engine.start("socat", {"-d", "-d", "-u",
                                   QString("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr").arg(port),
                                   "OPEN:" + dir.filePath("received") + ",creat,append"});
            // socat says when it listens (a probe connection would take its one connection).
            QByteArray said;
            QVERIFY2(QTest::qWaitFor(
                         [&] { return (said += engine.readAll()).contains("listening on"); }, 5000),
                     said.constData());
            // The next report after the engine came back reaches it, the link reconnecting.
            const QByteArray report = NumberedFrame(++n, 80);
            expected += report;
            Write(link, report);
            QVERIFY2(QTest::qWaitFor([&] { return ReadFile(dir.filePath("received")) == expected; },
                                     8000),
                     qPrintable(QString("round %1").arg(round)));

            ::kill(static_cast<pid_t>(engine.processId()), SIGKILL);  // gone without a word
            QVERIFY(engine.waitForFinished(5000));
            // Reports while the engine is dead: two into the dying connection before the link
            // has seen it go (the second meets the reset the first one drew: EPIPE), then one
            // refused. Lost, but the program neither waits nor keeps them beyond their five
            // seconds.
            Write(link, NumberedFrame(++n, 80));
            QThread::msleep(50);
            Write(link, NumberedFrame(++n, 80));
            QTest::qWait(100);
            Write(link, NumberedFrame(++n, 80));
            QVERIFY(QTest::qWaitFor(
                [&] { return !link.IsConnected() && link.WaitingFrames() == 0; }, 8000));
        }
        QCOMPARE(ReadFile(dir.filePath("received")), expected);
    }

    void EngineThatStopsReading() {
        // A listening socket with a small receive buffer; the connection is accepted, not read.
        quint16 port = 0;
        const int listener = ListenLoopback(1, port, 4096);
        QVERIFY(listener >= 0);
        AgwLink link("127.0.0.1", port);
        link.Connect();
        QVERIFY(QTest::qWaitFor([&] { return link.IsConnected(); }, 5000));
        const int engine = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        QVERIFY(engine >= 0);
        const QByteArray reply(100000, 'R');  // whatever the engine says
        QVERIFY(::send(engine, reply.constData(), reply.size(), MSG_DONTWAIT) > 0);
        // A frame too large to be kept at all is dropped on its own.
        Write(link, NumberedFrame(0, AgwLink::kMaxWaitingBytes));
        QCOMPARE(link.DroppedFrames(), std::size_t{1});

        // Reports pile up: first in the kernel, then in the link, which must stay within its
        // 64 KiB and let each write return at once (a blocking write would hang this test).
        constexpr std::size_t kFrameData = 1000;
        std::uint32_t written = 0;
        qsizetype mostWaiting = 0;
        while (written < 20000 && link.DroppedFrames() < 500) {  // 20 MB: beyond any kernel buffer
            Write(link, NumberedFrame(++written, kFrameData));
            mostWaiting = std::max(mostWaiting, link.WaitingBytes());
            if (written % 100 == 0) QCoreApplication::processEvents();
        }
        QVERIFY2(link.DroppedFrames() >= 500, qPrintable(QString("%1 frames taken").arg(written)));
        QVERIFY(mostWaiting <= AgwLink::kMaxWaitingBytes);
        QVERIFY(mostWaiting >= AgwLink::kMaxWaitingBytes - 2 * qsizetype{kFrameData});

        // The engine reads again: everything still held arrives, whole frames only, newest last.
        QByteArray stream;
        const QByteArray last = NumberedFrame(written, kFrameData);
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         Drain(engine, stream);
                         return link.WaitingBytes() == 0 && stream.endsWith(last);
                     },
                     20000),
                 qPrintable(QString("%1 bytes read").arg(stream.size())));
        std::vector<std::uint32_t> numbers;
        QVERIFY2(FrameNumbers(stream, numbers), "a frame was cut");
        QVERIFY(std::is_sorted(numbers.begin(), numbers.end()));
        QCOMPARE(numbers.size() + link.DroppedFrames(), std::size_t{written} + 1);
        // Oldest dropped first: after the gap, an unbroken run of the newest frames, as many as
        // fit.
        std::size_t run = 1;
        while (run < numbers.size() &&
               numbers[numbers.size() - run - 1] + 1 == numbers[numbers.size() - run])
            ++run;
        QVERIFY(run >= AgwLink::kMaxWaitingBytes / (36 + kFrameData) - 1);

        // And the next report goes straight through.
        const QByteArray next = NumberedFrame(++written, 80);
        Write(link, next);
        QVERIFY(QTest::qWaitFor(
            [&] {
                Drain(engine, stream);
                return stream.endsWith(next);
            },
            5000));
        QVERIFY(link.IsConnected());
        ::close(engine);
        ::close(listener);
    }

    // An engine that does not answer: its one-place accept queue is taken, so connection
    // attempts hang in the handshake. The frame waits its five seconds and is dropped.
    void FrameIsDroppedWhenNoConnectionStandsWithinFiveSeconds() {
        quint16 port = 0;
        const int listener = ListenLoopback(0, port);
        QVERIFY(listener >= 0);
        const int filler = ConnectLoopback(port);
        QVERIFY(filler >= 0);
        AgwLink link("127.0.0.1", port);
        QElapsedTimer clock;
        clock.start();
        Write(link, NumberedFrame(1, 90));
        QTest::qWait(1000);
        QCOMPARE(link.WaitingFrames(), std::size_t{1});  // still waiting for the handshake
        QVERIFY(QTest::qWaitFor([&] { return link.WaitingFrames() == 0; }, 6000));
        QVERIFY(clock.elapsed() >= AgwLink::kConnectWaitMs - 100);
        QVERIFY(!link.IsConnected());
        ::close(filler);
        ::close(listener);
    }
};

QTEST_GUILESS_MAIN(AgwEngineTest)
#include "agw_engine_test.moc"
