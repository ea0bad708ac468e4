// The status server of the running program under hostile clients, all on 127.0.0.1: 64 idle
// connections and more trying, a client that sends 100 MB, clients that close or reset the
// connection before, while and after asking, and 10,000 connections in a row. A well-behaved
// client is answered throughout, and the program's open files return to their idle count.
// Latency and memory are printed as figures (lines starting with "figures:"), not asserted.
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "ombrix_process.h"
#include "station/telegram_set.h"

using namespace ombrix::test;

namespace {

// Median and worst of the well-behaved clients' latencies.
QString Summary(std::vector<double> ms) {
    if (ms.empty()) return "none";
    std::sort(ms.begin(), ms.end());
    return QString("%1 clients, median %2 ms, 99 % %3 ms, max %4 ms")
        .arg(ms.size())
        .arg(ms[ms.size() / 2], 0, 'f', 2)
        .arg(ms[std::min(ms.size() - 1, ms.size() * 99 / 100)], 0, 'f', 2)
        .arg(ms.back(), 0, 'f', 2);
}

void Figure(const QString& text) {
    std::printf("figures: %s\n", qPrintable(text));
    std::fflush(stdout);
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
    std::vector<double> latencies_;  // of the well-behaved clients since the last figure

    // A well-behaved client is answered with the status line.
    bool Answered() {
        const StatusReply reply = AskStatus(ombrix_.StatusPort());
        latencies_.push_back(reply.Ms);
        peakKiB_ = std::max(peakKiB_, ombrix_.ResidentKiB());
        return reply.Answered && reply.Text == status_;
    }
    // The figures of a load, and its end: the open files back to their idle count.
    void Done(const QString& load) {
        const int files = ombrix_.WaitForOpenFiles(idleFiles_);
        Figure(QString("%1: %2; %3 open files (idle %4), resident %5 KiB (idle %6 KiB)")
                   .arg(load, Summary(std::exchange(latencies_, {})))
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
        QVERIFY(ombrix_.Pty().Send(ombrix::TestTelegramSet()));
        const std::optional<QByteArray> line = ombrix_.WaitForStatusLine();
        QVERIFY2(line, "no status line after the test set");
        status_ = *line;
        QTest::qWait(1000);  // settled: the report's connection attempt is over
        idleFiles_ = ombrix_.OpenFiles();
        peakKiB_ = idleKiB_ = ombrix_.ResidentKiB();
        for (int i = 0; i < 50; ++i) QVERIFY(Answered());
        Done("idle");
    }

    void cleanupTestCase() {
        Figure(QString("resident memory: idle %1 KiB, peak %2 KiB").arg(idleKiB_).arg(peakKiB_));
        QVERIFY(ombrix_.Running());
    }

    // 64 connections that never send take every place; more keep coming. The longest silent
    // connection makes room for each newcomer, so a well-behaved client still gets through.
    void idleConnectionsAndMoreTrying() {
        std::vector<int> hogs;
        for (int i = 0; i < 64 + 32; ++i) hogs.push_back(ConnectLoopback(ombrix_.StatusPort()));
        QVERIFY(std::count(hogs.begin(), hogs.end(), -1) == 0);
        int reconnected = 0;
        for (int round = 0; round < 40; ++round) {
            for (int& fd : hogs) {  // whoever was pushed out tries again at once
                if (!ClosedByPeer(fd)) continue;
                ::close(fd);
                fd = ConnectLoopback(ombrix_.StatusPort());
                QVERIFY(fd >= 0);
                ++reconnected;
            }
            QVERIFY2(Answered(), qPrintable(QString("round %1").arg(round)));
        }
        for (int fd : hogs) ::close(fd);
        Done(QString("96 idle connections held open, %1 reconnections").arg(reconnected));
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
            for (QDeadlineTimer deadline(60000); sent < kTotal && !deadline.hasExpired();) {
                const int fd = ConnectLoopback(port);
                if (fd < 0) break;
                ++connections;
                for (pollfd p{fd, POLLOUT, 0}; sent<kTotal&& ::poll(&p, 1, 2000)> 0;) {
                    const ssize_t n = ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL);
                    if (n <= 0) break;
                    sent += n;
                }
                ::close(fd);
            }
            done = true;
        });
        bool answered = true;
        while (!done) {
            answered = Answered() && answered;
            QThread::msleep(20);
        }
        flood.join();
        QVERIFY(answered);
        QVERIFY(sent >= kTotal);
        Done(QString("flood of %1 MB on %2 connections").arg(sent >> 20).arg(connections));
    }

    // 600 clients that end their connection early: closing before they ask, resetting right
    // after asking, and resetting once the first bytes of the reply are there.
    void clientsClosingOrResettingEarly() {
        for (int i = 0; i < 600; ++i) {
            const int fd = ConnectLoopback(ombrix_.StatusPort());
            QVERIFY(fd >= 0);
            if (i % 3 > 0) ::send(fd, "?", 1, MSG_NOSIGNAL);
            if (i % 3 == 2) {
                pollfd p{fd, POLLIN, 0};
                ::poll(&p, 1, 1000);
            }
            if (i % 3 > 0) {  // a reset instead of an orderly close
                const linger hard{1, 0};
                ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            }
            ::close(fd);
        }
        for (int i = 0; i < 20; ++i) QVERIFY(Answered());
        Done("after 600 early ends");
    }

    // 10,000 clients one after another (OMBRIX_HOSTILE_CONNECTIONS), each answered.
    void tenThousandInARow() {
        const int count = qEnvironmentVariableIntValue("OMBRIX_HOSTILE_CONNECTIONS");
        for (int i = 0; i < (count > 0 ? count : 10000); ++i)
            if (!Answered()) QFAIL(qPrintable(QString("client %1 was not answered").arg(i + 1)));
        Done("connections in a row");
    }
};

QTEST_GUILESS_MAIN(StatusHostileTest)
#include "status_hostile_test.moc"
