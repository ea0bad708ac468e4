// The status server of the running program under hostile clients, all on 127.0.0.1: a client
// that sends 100 MB, and 10,000 connections in a row with clients among them that close or reset
// the connection before, while and after asking. A well-behaved client is answered throughout,
// and the program's open files return to their idle count. (Latency and memory under load are
// benchmarks/soak.py's.) The cap on connections, the idle limit and running out of descriptors are
// tested on the server itself (app_status_server_test).
#include <signal.h>

#include <atomic>
#include <thread>

#include "ombrix_process.h"
#include "station/telegram_set.h"

using namespace ombrix::test;

class StatusHostileTest : public QObject {
    Q_OBJECT

  private:
    OmbrixProcess ombrix_;
    QByteArray status_;
    int idleFiles_ = 0;

    // A well-behaved client is answered with the status line.
    bool Answered() {
        const StatusReply reply = AskStatus(ombrix_.StatusPort());
        return reply.Answered && reply.Text == status_;
    }
    // The end of a load: the open files back to their idle count.
    void Done() { QCOMPARE(ombrix_.WaitForOpenFiles(idleFiles_), idleFiles_); }

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
    }

    void cleanupTestCase() { QVERIFY(ombrix_.Running()); }

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
        QVERIFY(connections > 1);
        Done();
    }

    // 10,000 clients one after another (OMBRIX_HOSTILE_CONNECTIONS), each answered; after every
    // 50th, three that end their connection early: one closes before it asks, one resets right
    // after asking, one resets once the first bytes of the reply are there.
    void tenThousandInARowAndEarlyEnds() {
        const int count = qEnvironmentVariableIntValue("OMBRIX_HOSTILE_CONNECTIONS");
        for (int i = 1; i <= (count > 0 ? count : 10000); ++i) {
            if (!Answered()) QFAIL(qPrintable(QString("client %1 was not answered").arg(i)));
            for (int kind = 0; i % 50 == 0 && kind < 3; ++kind) {
                const int fd = ConnectLoopback(ombrix_.StatusPort());
                QVERIFY(fd >= 0);
                if (kind > 0) ::send(fd, "?", 1, MSG_NOSIGNAL);
                pollfd p{fd, POLLIN, 0};
                if (kind == 2) ::poll(&p, 1, 1000);
                const linger hard{1, 0};  // a reset instead of an orderly close
                if (kind > 0) ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
                ::close(fd);
            }
        }
        Done();
    }
};

QTEST_GUILESS_MAIN(StatusHostileTest)
#include "status_hostile_test.moc"
