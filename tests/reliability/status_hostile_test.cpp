// The status server of the running program under hostile clients, all on 127.0.0.1: 64 idle
// connections and more trying, a client that sends 100 MB, clients that reset the connection
// in the middle of the reply, and 10,000 connections in a row. A well-behaved client is answered
// throughout, and the program's open files return to their idle count. Latency and memory are
// printed as figures (lines starting with "figures:"), not asserted.
#include <netinet/tcp.h>
#include <signal.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "ombrix_process.h"
#include "station/telegram_set.h"

using ombrix::TestTelegramSet;
using ombrix::test::AskStatus;
using ombrix::test::ConnectLoopback;
using ombrix::test::OmbrixProcess;
using ombrix::test::StatusReply;

namespace {

// Latencies of the well-behaved clients, for the figures.
struct Latencies {
    std::vector<double> Ms;
    void Add(double ms) { Ms.push_back(ms); }
    QString Text() {
        if (Ms.empty()) return "none";
        std::sort(Ms.begin(), Ms.end());
        const auto at = [&](double q) {
            return Ms[std::min(Ms.size() - 1, static_cast<std::size_t>(q * Ms.size()))];
        };
        return QString("%1 clients, median %2 ms, 99%% %3 ms, max %4 ms")
            .arg(Ms.size())
            .arg(at(0.5), 0, 'f', 2)
            .arg(at(0.99), 0, 'f', 2)
            .arg(Ms.back(), 0, 'f', 2)
            .replace("%%", "%");
    }
};

// Ends a connection with a reset instead of an orderly close.
void Reset(int fd) {
    const linger hard{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(fd);
}

// True when the server has closed (or reset) this connection.
bool ClosedByServer(int fd) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return false;
    char b[256];
    const ssize_t n = ::recv(fd, b, sizeof b, MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

}  // namespace

class StatusHostileTest : public QObject {
    Q_OBJECT

  private:
    OmbrixProcess ombrix_;
    QByteArray status_;
    int idleFiles_ = 0;
    long idleKiB_ = 0;
    long peakKiB_ = 0;

    void Figure(const QString& text) { std::printf("figures: %s\n", qPrintable(text)); }

    void Sample() { peakKiB_ = std::max(peakKiB_, ombrix_.ResidentKiB()); }

    // A well-behaved client is answered with the status line.
    void CheckAnswered(Latencies& latencies) {
        const StatusReply reply = AskStatus(ombrix_.StatusPort());
        QVERIFY2(reply.Answered, "the well-behaved client was not answered");
        QCOMPARE(reply.Text, status_);
        latencies.Add(reply.Ms);
        Sample();
    }

    void CheckFilesBackToIdle(const char* after) {
        const int files = ombrix_.WaitForOpenFiles(idleFiles_);
        Figure(QString("after %1: %2 open files (idle %3), resident %4 KiB (idle %5 KiB)")
                   .arg(after)
                   .arg(files)
                   .arg(idleFiles_)
                   .arg(ombrix_.ResidentKiB())
                   .arg(idleKiB_));
        QCOMPARE(files, idleFiles_);
    }

  private slots:
    void initTestCase() {
        ::signal(SIGPIPE, SIG_IGN);
        QVERIFY2(ombrix_.Start(), "the program did not start");
        QVERIFY(ombrix_.Pty().Send(TestTelegramSet()));
        const std::optional<QByteArray> line = ombrix_.WaitForStatusLine();
        QVERIFY2(line.has_value(), "no status line after the test set");
        status_ = *line;
        QTest::qWait(1000);  // settled: the report's connection attempt is over
        idleFiles_ = ombrix_.OpenFiles();
        idleKiB_ = ombrix_.ResidentKiB();
        peakKiB_ = idleKiB_;
        Latencies quiet;
        for (int i = 0; i < 50; ++i) CheckAnswered(quiet);
        Figure("idle: " + quiet.Text() +
               QString(", %1 open files, resident %2 KiB").arg(idleFiles_).arg(idleKiB_));
    }

    void cleanupTestCase() {
        Figure(QString("resident memory: idle %1 KiB, peak %2 KiB, end %3 KiB")
                   .arg(idleKiB_)
                   .arg(peakKiB_)
                   .arg(ombrix_.ResidentKiB()));
        QVERIFY(ombrix_.Running());
    }

    // 64 connections that never send take every place; more keep coming. The longest silent
    // connection makes room for each newcomer, so a well-behaved client still gets through.
    void idleConnectionsAndMoreTrying() {
        std::vector<int> hogs;
        for (int i = 0; i < 64 + 32; ++i) {
            const int fd = ConnectLoopback(ombrix_.StatusPort());
            QVERIFY(fd >= 0);
            hogs.push_back(fd);
        }
        Latencies busy;
        int reconnected = 0;
        for (int round = 0; round < 40; ++round) {
            // Whoever was pushed out tries again at once.
            for (int& fd : hogs) {
                if (!ClosedByServer(fd)) continue;
                ::close(fd);
                fd = ConnectLoopback(ombrix_.StatusPort());
                QVERIFY(fd >= 0);
                ++reconnected;
            }
            CheckAnswered(busy);
        }
        Figure("96 idle connections held open, " + QString::number(reconnected) +
               " reconnections: " + busy.Text());
        for (int fd : hogs) ::close(fd);
        CheckFilesBackToIdle("idle connections");
    }

    // A client that sends 100 MB without reading: what it sends is thrown away as it comes;
    // each connection gets its reply and is closed, and the client carries on on a new one.
    void clientSending100MB() {
        constexpr long long kTotal = 100LL * 1024 * 1024;
        std::atomic<long long> sent{0};
        std::atomic<int> connections{0};
        std::atomic<bool> done{false};
        const quint16 port = ombrix_.StatusPort();
        std::thread flood([&] {
            const std::string chunk(64 * 1024, 'F');
            QElapsedTimer clock;
            clock.start();
            while (sent < kTotal && clock.elapsed() < 60000) {
                const int fd = ConnectLoopback(port);
                if (fd < 0) break;
                ++connections;
                while (sent < kTotal) {
                    pollfd p{fd, POLLOUT, 0};
                    if (::poll(&p, 1, 2000) <= 0) break;
                    const ssize_t n = ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL);
                    if (n <= 0) break;
                    sent += n;
                }
                ::close(fd);
            }
            done = true;
        });
        Latencies during;
        QElapsedTimer clock;
        clock.start();
        while (!done) {
            CheckAnswered(during);
            QThread::msleep(20);
        }
        flood.join();
        Figure(QString("flood: %1 MB sent on %2 connections in %3 ms; meanwhile %4")
                   .arg(sent / 1024.0 / 1024.0, 0, 'f', 1)
                   .arg(connections)
                   .arg(clock.elapsed())
                   .arg(during.Text()));
        QVERIFY(sent >= kTotal);
        CheckFilesBackToIdle("the flood");
    }

    // Clients that reset the connection while the reply is on its way, or right after asking.
    void clientsResettingMidReply() {
        for (int i = 0; i < 500; ++i) {
            const int fd = ConnectLoopback(ombrix_.StatusPort());
            QVERIFY(fd >= 0);
            ::send(fd, "?", 1, MSG_NOSIGNAL);
            if (i % 2 == 1) {  // wait for the first bytes of the reply
                pollfd p{fd, POLLIN, 0};
                ::poll(&p, 1, 1000);
            }
            Reset(fd);
        }
        Latencies after;
        for (int i = 0; i < 20; ++i) CheckAnswered(after);
        Figure("after 500 resets: " + after.Text());
        CheckFilesBackToIdle("the resets");
    }

    // 10,000 clients one after another, each answered.
    void tenThousandInARow() {
        const int count = qEnvironmentVariableIntValue("OMBRIX_HOSTILE_CONNECTIONS") > 0
                              ? qEnvironmentVariableIntValue("OMBRIX_HOSTILE_CONNECTIONS")
                              : 10000;
        Latencies row;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < count; ++i) {
            const StatusReply reply = AskStatus(ombrix_.StatusPort());
            if (!reply.Answered || reply.Text != status_)
                QFAIL(qPrintable(QString("client %1 was not answered").arg(i + 1)));
            row.Add(reply.Ms);
            if (i % 500 == 0) Sample();
        }
        Figure(QString("%1 in a row in %2 ms: ").arg(count).arg(clock.elapsed()) + row.Text());
        CheckFilesBackToIdle("the connections in a row");
    }
};

QTEST_GUILESS_MAIN(StatusHostileTest)
#include "status_hostile_test.moc"
