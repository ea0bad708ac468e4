// The status server with real sockets on the loopback interface.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <memory>
#include <vector>

#include "server/status_server.h"

using ombrix::Bytes;
using ombrix::StatusServer;

namespace {

constexpr int kWaitMs = 5000;
const Bytes kLine = "14 05 9 7 8 0 1 9 205 10 194 1015 91";

std::unique_ptr<QTcpSocket> Connect(quint16 port) {
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, port);
    return socket;
}

// Runs the event loop until the predicate holds, looking again at every change of the socket.
template <class Pred>
bool WaitOn(QTcpSocket& s, Pred pred, int ms = kWaitMs) {
    if (pred()) return true;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto check = [&] {
        if (pred()) loop.quit();
    };
    QObject::connect(&s, &QTcpSocket::stateChanged, &loop, check);
    QObject::connect(&s, &QTcpSocket::readyRead, &loop, check);
    timeout.start(ms);
    loop.exec();
    return pred();
}

bool WaitConnected(QTcpSocket& s) {
    return WaitOn(s, [&] { return s.state() == QAbstractSocket::ConnectedState; });
}

bool WaitClosed(QTcpSocket& s) {
    return WaitOn(s, [&] { return s.state() == QAbstractSocket::UnconnectedState; });
}

// Connects, sends a byte, and returns all that arrives until the server closes.
QByteArray Ask(quint16 port, bool* closed = nullptr) {
    auto s = Connect(port);
    if (!WaitConnected(*s)) return "<not connected>";
    s->write("?");
    QByteArray got;
    const bool ok = WaitOn(*s, [&] {
        got += s->readAll();
        return s->state() == QAbstractSocket::UnconnectedState;
    });
    got += s->readAll();
    if (closed) *closed = ok;
    return got;
}

}  // namespace

class StatusServerTest : public QObject {
    Q_OBJECT

  private:
    Bytes text_ = kLine;
    std::unique_ptr<StatusServer> server_;

    quint16 Start(int idleMs = StatusServer::kIdleMs) {
        server_ = std::make_unique<StatusServer>([this] { return text_; }, nullptr, idleMs);
        if (!server_->Listen(0)) return 0;
        return server_->Port();
    }
    bool WaitNoConnections() {
        return QTest::qWaitFor([&] { return server_->ConnectionCount() == 0; }, kWaitMs);
    }

  private slots:
    void init() { text_ = kLine; }
    void cleanup() { server_.reset(); }

    void replyThenClose() {
        const quint16 port = Start();
        QVERIFY(port != 0);
        bool closed = false;
        QCOMPARE(Ask(port, &closed), QByteArray::fromStdString(kLine));
        QVERIFY(closed);
        QVERIFY(WaitNoConnections());
        QVERIFY(server_->IsListening());
    }

    void replyCarriesTheCurrentLine() {
        const quint16 port = Start();
        QCOMPARE(Ask(port), QByteArray::fromStdString(kLine));
        text_ = Bytes("15 00 10 8 8 0 1 9 205 10 194 1016 90");
        QCOMPARE(Ask(port), QByteArray::fromStdString(text_));
    }

    void emptyLineClosesWithoutReply() {
        text_.clear();
        const quint16 port = Start();
        bool closed = false;
        QCOMPARE(Ask(port, &closed), QByteArray());
        QVERIFY(closed);
    }

    // A client that connects and stays silent blocks nobody.
    void secondClientServedWhileFirstIdles() {
        const quint16 port = Start();
        auto silent = Connect(port);
        QVERIFY(WaitConnected(*silent));
        QVERIFY(QTest::qWaitFor([&] { return server_->ConnectionCount() == 1; }, kWaitMs));
        QCOMPARE(Ask(port), QByteArray::fromStdString(kLine));
        QTest::qWait(100);
        QCOMPARE(silent->state(), QAbstractSocket::ConnectedState);
        QCOMPARE(silent->bytesAvailable(), 0);
        silent->disconnectFromHost();
        QVERIFY(WaitNoConnections());
    }

    void clientThatClosesFirst() {
        const quint16 port = Start();
        for (int i = 0; i < 3; ++i) {
            auto s = Connect(port);
            QVERIFY(WaitConnected(*s));
            QVERIFY(QTest::qWaitFor([&] { return server_->ConnectionCount() == 1; }, kWaitMs));
            s->abort();
            QVERIFY(WaitNoConnections());
        }
        QCOMPARE(Ask(port), QByteArray::fromStdString(kLine));
    }

    void silentClientClosedWhenIdle() {
        const quint16 port = Start(300);
        auto s = Connect(port);
        QVERIFY(WaitConnected(*s));
        QVERIFY(WaitClosed(*s));
        QCOMPARE(s->readAll(), QByteArray());
        QVERIFY(WaitNoConnections());
        QCOMPARE(Ask(port), QByteArray::fromStdString(kLine));
    }

    void twoHundredClientsOneAfterAnother() {
        const quint16 port = Start();
        for (int i = 0; i < 200; ++i) {
            const QByteArray got = Ask(port);
            if (got != QByteArray::fromStdString(kLine))
                QFAIL(qPrintable(QString("client %1 got \"%2\"").arg(i).arg(got)));
        }
        QVERIFY(WaitNoConnections());
    }

    void fiftyClientsAtOnce() {
        const quint16 port = Start();
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (int i = 0; i < 50; ++i) clients.push_back(Connect(port));
        for (auto& c : clients) QVERIFY(WaitConnected(*c));
        QVERIFY(QTest::qWaitFor([&] { return server_->ConnectionCount() == 50; }, kWaitMs));
        for (auto& c : clients) c->write("x");
        std::vector<QByteArray> got(clients.size());
        QVERIFY(QTest::qWaitFor(
            [&] {
                bool all = true;
                for (std::size_t i = 0; i < clients.size(); ++i) {
                    got[i] += clients[i]->readAll();
                    all = all && clients[i]->state() == QAbstractSocket::UnconnectedState;
                }
                return all;
            },
            kWaitMs * 2));
        for (std::size_t i = 0; i < clients.size(); ++i) {
            got[i] += clients[i]->readAll();
            QCOMPARE(got[i], QByteArray::fromStdString(kLine));
        }
        QVERIFY(WaitNoConnections());
    }

    // At most 64 connections at a time. When every place is taken, the connection that has been
    // silent longest makes room for the newcomer: a client that asks is still served.
    void connectionsAreCapped() {
        const quint16 port = Start();
        constexpr int kMax = StatusServer::kMaxConnections;
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (int i = 0; i < kMax + 6; ++i) {
            clients.push_back(Connect(port));
            QVERIFY(WaitConnected(*clients.back()));
            // One by one, so that the server's order is the clients' order.
            QVERIFY(QTest::qWaitFor(
                [&] {
                    return server_->ConnectionCount() == std::min(i + 1, kMax) &&
                           (i < kMax || clients[static_cast<std::size_t>(i - kMax)]->state() ==
                                            QAbstractSocket::UnconnectedState);
                },
                kWaitMs));
        }
        for (std::size_t i = 0; i < clients.size(); ++i)
            QCOMPARE(clients[i]->state(),
                     i < 6 ? QAbstractSocket::UnconnectedState : QAbstractSocket::ConnectedState);

        // One that speaks keeps its place: it is not the silent one pushed out for the next.
        clients[6]->write("?");
        QVERIFY(WaitClosed(*clients[6]));  // answered and closed
        QVERIFY(QTest::qWaitFor([&] { return server_->ConnectionCount() == kMax - 1; }, kWaitMs));
        QCOMPARE(Ask(port), QByteArray::fromStdString(kLine));  // a free place
        clients.push_back(Connect(port));                       // taken again
        QVERIFY(QTest::qWaitFor([&] { return server_->ConnectionCount() == kMax; }, kWaitMs));
        QCOMPARE(Ask(port), QByteArray::fromStdString(kLine));  // all taken: client 7 goes
        QVERIFY(WaitClosed(*clients[7]));
        QCOMPARE(clients[8]->state(), QAbstractSocket::ConnectedState);
        QCOMPARE(clients.back()->state(), QAbstractSocket::ConnectedState);
    }

    // Whatever a client sends is thrown away; it gets its reply and the connection closes.
    void floodingClientIsAnsweredAndClosed() {
        const quint16 port = Start();
        auto s = Connect(port);
        QVERIFY(WaitConnected(*s));
        const QByteArray flood(1 << 20, 'x');
        s->write(flood);
        QByteArray got;
        QVERIFY(QTest::qWaitFor(
            [&] {
                got += s->readAll();
                return s->state() == QAbstractSocket::UnconnectedState;
            },
            kWaitMs * 2));
        got += s->readAll();
        // One reply per arrival of data, nothing else. The reply may be lost when the server's
        // close meets data it never read (the connection is then reset).
        const auto n = static_cast<qsizetype>(kLine.size());
        QCOMPARE(got, QByteArray::fromStdString(kLine).repeated(got.size() / n));
        QVERIFY(WaitNoConnections());
    }

    // A client that sends its request and closes its side at once still receives the line.
    void halfClosedClientIsAnswered() {
        const quint16 port = Start();
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
        QCOMPARE(send(fd, "?", 1, 0), 1);
        QCOMPARE(shutdown(fd, SHUT_WR), 0);
        QByteArray got;
        bool ended = false;
        for (int turns = 0; turns < 500 && !ended; ++turns) {
            QCoreApplication::processEvents();
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 10) <= 0) continue;
            char buffer[256];
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n > 0)
                got.append(buffer, n);
            else
                ended = true;
        }
        ::close(fd);
        QVERIFY(ended);
        QCOMPARE(got, QByteArray::fromStdString(kLine));
        QVERIFY(WaitNoConnections());
    }

    // A reply larger than the socket takes at once is written in parts, all of it.
    void longReplyIsWrittenWhole() {
        text_ = Bytes(8 << 20, '7');
        text_.back() = '!';
        const quint16 port = Start();
        bool closed = false;
        const QByteArray got = Ask(port, &closed);
        QVERIFY(closed);
        QCOMPARE(got.size(), static_cast<qsizetype>(text_.size()));
        QVERIFY(got == QByteArray::fromStdString(text_));
        QVERIFY(WaitNoConnections());
    }

    void portTakenLeavesServerInactive() {
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::Any, 0));
        StatusServer server([] { return kLine; });
        QVERIFY(!server.Listen(other.serverPort()));
        QVERIFY(!server.IsListening());
    }

    void closeDropsConnections() {
        const quint16 port = Start();
        auto s = Connect(port);
        QVERIFY(WaitConnected(*s));
        QVERIFY(QTest::qWaitFor([&] { return server_->ConnectionCount() == 1; }, kWaitMs));
        server_->Close();
        QVERIFY(!server_->IsListening());
        QCOMPARE(server_->ConnectionCount(), 0);
        QVERIFY(WaitClosed(*s));
    }
};

QTEST_GUILESS_MAIN(StatusServerTest)
#include "status_server_test.moc"
