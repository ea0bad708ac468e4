// The status server with real sockets on the loopback interface: the reply, the idle limit, the
// cap on connections, running out of descriptors and a taken port. Floods, resets and many
// clients in a row against the running program are in reliability_status_hostile_test.
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <QTcpServer>
#include <QTest>
#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

#include "qt_support.h"
#include "server/status_server.h"

using ombrix::Bytes;
using ombrix::StatusServer;
using namespace ombrix::test;
using namespace std::chrono_literals;

namespace {
const QByteArray kLine = "14 05 9 7 8 0 1 9 205 10 194 1015 91";

// The idle limit is a minute of the monotonic clock. Instead of waiting for it, the test winds
// this process's monotonic clock forward: Qt's timers and deadlines and glib's event loop read
// the clock through the definition below, which stands in for the C library's.
std::atomic<std::int64_t> wound{0};
void WindClock(std::chrono::nanoseconds by) {
    wound += by.count();
}
}  // namespace

extern "C" int clock_gettime(clockid_t clock, timespec* ts) noexcept {
    const auto result = static_cast<int>(::syscall(SYS_clock_gettime, clock, ts));
    if (result == 0 && (clock == CLOCK_MONOTONIC || clock == CLOCK_MONOTONIC_COARSE)) {
        const std::int64_t ns = ts->tv_nsec + wound;
        ts->tv_sec += static_cast<time_t>(ns / 1000000000);
        ts->tv_nsec = static_cast<long>(ns % 1000000000);
    }
    return result;
}

class StatusServerTest : public QObject {
    Q_OBJECT

  private:
    Bytes text_;
    std::unique_ptr<StatusServer> server_;
    quint16 port_ = 0;

    bool WaitConnections(int n) {
        return QTest::qWaitFor([&] { return server_->ConnectionCount() == n; }, 5000);
    }

  private slots:
    void init() {
        text_ = kLine.toStdString();
        server_ = std::make_unique<StatusServer>([this] { return text_; });
        QVERIFY(server_->Listen(0));
        port_ = server_->Port();
    }
    void cleanup() { server_.reset(); }

    // Each request gets the line of the moment, nothing before or after it, and the connection
    // closes once it is written; an empty line closes it without a reply.
    void reply_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("halfClose");
        QTest::newRow("empty line") << QByteArray() << false;
        // A client that sends its request and closes its side at once.
        QTest::newRow("half-closed client") << kLine << true;
        // Larger than the socket takes at once: written in parts, all of it.
        QTest::newRow("long reply") << QByteArray(8 << 20, '7') + "!" << false;
    }
    void reply() {
        QFETCH(QByteArray, line);
        QFETCH(bool, halfClose);
        QCOMPARE(AskStatus(port_).Text, kLine);
        text_ = line.toStdString();
        const StatusReply reply = AskStatus(port_, halfClose, 20000);
        QVERIFY(reply.Answered);
        QVERIFY2(reply.Text == line, qPrintable(QString("%1 bytes").arg(reply.Text.size())));
        QVERIFY(WaitConnections(0));
        QVERIFY(server_->IsListening());
    }

    // A connection that stays silent for a minute is closed; one that spoke is served.
    void silentClientClosedAfterAMinute() {
        const int silent = ConnectLoopback(port_);
        QVERIFY(WaitConnections(1));
        WindClock(59s);
        QTest::qWait(100);
        QVERIFY(!ClosedByPeer(silent));
        WindClock(2s);
        QVERIFY(QTest::qWaitFor([&] { return ClosedByPeer(silent); }, 2000));
        ::close(silent);
        QVERIFY(WaitConnections(0));
        QCOMPARE(AskStatus(port_).Text, kLine);
    }

    // At most 64 connections at a time. When every place is taken, the connection that has been
    // silent longest makes room for the newcomer, so a client that asks is still served. Close()
    // ends them all.
    void connectionsAreCapped() {
        constexpr int kMax = 64;
        std::vector<int> fds;
        const auto closed = [&](std::size_t i) { return ClosedByPeer(fds[i]); };
        for (int i = 0; i < kMax + 6; ++i) fds.push_back(ConnectLoopback(port_));
        QVERIFY(QTest::qWaitFor([&] { return closed(5) && server_->ConnectionCount() == kMax; }));
        for (std::size_t i = 0; i < fds.size(); ++i) QCOMPARE(closed(i), i < 6);
        QCOMPARE(AskStatus(port_).Text, kLine);
        QVERIFY(closed(6) && !closed(7));

        server_->Close();
        QVERIFY(!server_->IsListening() && server_->ConnectionCount() == 0);
        QVERIFY(closed(7) && closed(fds.size() - 1));
        QVERIFY(ConnectLoopback(port_) < 0);
        for (int fd : fds) ::close(fd);
    }

    // With no descriptor left, requests wait in the listening queue; once descriptors are free
    // again, every one of them is answered.
    void clientsWaitWhileDescriptorsRunOut() {
        std::vector<int> clients;
        for (int i = 0; i < 3; ++i) {
            clients.push_back(ConnectLoopback(port_));
            QCOMPARE(::send(clients.back(), "?", 1, MSG_NOSIGNAL), ssize_t{1});
        }
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
        rlimit tight = saved;
        tight.rlim_cur = static_cast<rlim_t>(clients.back() + 1);
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &tight), 0);
        std::vector<int> fillers;  // the gaps below the limit
        for (int fd; fillers.size() < 1000 && (fd = ::dup(0)) >= 0;) fillers.push_back(fd);
        QTest::qWait(300);
        QCOMPARE(server_->ConnectionCount(), 0);
        for (int fd : fillers) ::close(fd);
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &saved), 0);
        for (int fd : clients) QCOMPARE(ReadReply(fd, "").Text, kLine);
        QVERIFY(WaitConnections(0));
    }

    void portTakenLeavesServerInactive() {
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::Any, 0));
        StatusServer server([] { return Bytes("x"); });
        QVERIFY(!server.Listen(other.serverPort()));
        QVERIFY(!server.IsListening());
    }
};

QTEST_GUILESS_MAIN(StatusServerTest)
#include "status_server_test.moc"
