// The status server with real sockets on the loopback interface. Many clients in a row, floods,
// resets and hoards of idle connections against the running program are in
// reliability_status_hostile_test.
#include <sys/resource.h>
#include <unistd.h>

#include <QTcpServer>
#include <QTest>
#include <memory>
#include <utility>
#include <vector>

#include "qt_support.h"
#include "server/status_server.h"

using ombrix::Bytes;
using ombrix::StatusServer;
using namespace ombrix::test;

namespace {
const QByteArray kLine = "14 05 9 7 8 0 1 9 205 10 194 1015 91";
}

class StatusServerTest : public QObject {
    Q_OBJECT

  private:
    Bytes text_;
    std::unique_ptr<StatusServer> server_;
    quint16 port_ = 0;

    void Start(int idleMs) {
        server_ = std::make_unique<StatusServer>([this] { return text_; }, nullptr, idleMs);
        port_ = server_->Listen(0) ? server_->Port() : 0;
    }
    bool WaitConnections(int n) {
        return QTest::qWaitFor([&] { return server_->ConnectionCount() == n; }, 5000);
    }

  private slots:
    void init() {
        text_ = kLine.toStdString();
        Start(StatusServer::kIdleMs);
        QVERIFY(port_ != 0);
    }
    void cleanup() { server_.reset(); }

    // Each request gets the line of the moment, nothing before or after it, and the connection
    // closes once it is written; an empty line closes it without a reply.
    void reply_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("halfClose");
        QTest::newRow("another line")
            << QByteArray("15 00 10 8 8 0 1 9 205 10 194 1016 90") << false;
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

    // A client that connects and stays silent blocks nobody.
    void secondClientServedWhileFirstIdles() {
        const int silent = ConnectLoopback(port_);
        QVERIFY(WaitConnections(1));
        QCOMPARE(AskStatus(port_).Text, kLine);
        QTest::qWait(100);
        char b;
        QCOMPARE(::recv(silent, &b, 1, MSG_DONTWAIT), ssize_t{-1});  // open, and nothing sent
        ::close(silent);
        QVERIFY(WaitConnections(0));
    }

    void fiftyClientsAtOnce() {
        std::vector<int> fds;
        for (int i = 0; i < 50; ++i) fds.push_back(ConnectLoopback(port_));
        QVERIFY(WaitConnections(50));
        for (int fd : fds) QCOMPARE(::send(fd, "x", 1, MSG_NOSIGNAL), ssize_t{1});
        for (int fd : fds) QCOMPARE(ReadReply(fd, "").Text, kLine);
        QVERIFY(WaitConnections(0));
    }

    void silentClientClosedWhenIdle() {
        Start(300);
        const StatusReply silent = ReadReply(ConnectLoopback(port_), "");
        QVERIFY(silent.Answered);
        QCOMPARE(silent.Text, QByteArray());
        QVERIFY(WaitConnections(0));
        QCOMPARE(AskStatus(port_).Text, kLine);
    }

    // At most 64 connections at a time. When every place is taken, the connection that has been
    // silent longest makes room for the newcomer: a client that asks is still served.
    void connectionsAreCapped() {
        constexpr int kMax = StatusServer::kMaxConnections;
        std::vector<int> fds;
        const auto closed = [&](std::size_t i) { return ClosedByPeer(fds[i]); };
        for (int i = 0; i < kMax + 6; ++i) {
            fds.push_back(ConnectLoopback(port_));
            // One by one, so that the server's order is the clients' order.
            QVERIFY(QTest::qWaitFor(
                [&] {
                    return server_->ConnectionCount() == std::min(i + 1, kMax) &&
                           (i < kMax || closed(static_cast<std::size_t>(i - kMax)));
                },
                5000));
        }
        for (std::size_t i = 0; i < fds.size(); ++i) QCOMPARE(closed(i), i < 6);

        // One that speaks keeps its place: it is not the silent one pushed out for the next.
        QCOMPARE(ReadReply(std::exchange(fds[6], -1)).Text, kLine);
        QVERIFY(WaitConnections(kMax - 1));
        QCOMPARE(AskStatus(port_).Text, kLine);  // a free place
        fds.push_back(ConnectLoopback(port_));   // taken again
        QVERIFY(WaitConnections(kMax));
        QCOMPARE(AskStatus(port_).Text, kLine);  // all taken: client 7 goes
        QVERIFY(QTest::qWaitFor([&] { return closed(7); }, 5000));
        QVERIFY(!closed(8) && !closed(fds.size() - 1));
        for (int fd : fds)
            if (fd >= 0) ::close(fd);
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

    void closeDropsConnections() {
        const int fd = ConnectLoopback(port_);
        QVERIFY(WaitConnections(1));
        server_->Close();
        QVERIFY(!server_->IsListening());
        QCOMPARE(server_->ConnectionCount(), 0);
        const StatusReply dropped = ReadReply(fd, "");
        QVERIFY(dropped.Answered && dropped.Text.isEmpty());
        QVERIFY(ConnectLoopback(port_) < 0);
    }
};

QTEST_GUILESS_MAIN(StatusServerTest)
#include "status_server_test.moc"
