// The built program as a process for the reliability tests: offscreen, its settings in a
// temporary XDG_CONFIG_HOME, the serial port on a socat pseudo-terminal and the status server on
// a free loopback port, with what /proc tells about it (open files, resident memory) and a
// well-behaved client of the status server on plain sockets.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <optional>

#include "pty_pair.h"

namespace ombrix::test {

inline quint16 FreeLoopbackPort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) return 0;
    return probe.serverPort();
}

// A TCP socket connected to 127.0.0.1:port (blocking), or -1.
inline int ConnectLoopback(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

struct StatusReply {
    bool Answered = false;  // connected, and the server closed after its reply
    QByteArray Text;
    double Ms = 0;  // from the connection attempt to the end of the reply
};

// A well-behaved client: connects, sends one byte, reads until the server closes.
inline StatusReply AskStatus(quint16 port, int timeoutMs = 5000) {
    StatusReply reply;
    QElapsedTimer clock;
    clock.start();
    const int fd = ConnectLoopback(port);
    if (fd < 0) return reply;
    if (::send(fd, "?", 1, MSG_NOSIGNAL) == 1) {
        char buffer[512];
        while (clock.elapsed() < timeoutMs) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(timeoutMs - clock.elapsed())) <= 0) break;
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n > 0) {
                reply.Text.append(buffer, n);
                continue;
            }
            reply.Answered = n == 0;
            break;
        }
    }
    reply.Ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    ::close(fd);
    return reply;
}

class OmbrixProcess {
  public:
    ~OmbrixProcess() { Stop(); }

    // Starts the program with the given settings lines added to the usual ones (a later line
    // for the same key wins). The working folder, where "fehler.log" goes, is Dir()/work.
    bool Start(const QByteArray& extraSettings = {}) {
        if (!dir_.isValid() || !pty_.Start()) return false;
        statusPort_ = FreeLoopbackPort();
        agwPort_ = FreeLoopbackPort();  // nobody listens there unless a test makes an engine
        if (!QDir().mkpath(Path("config/Ombrix")) || !QDir().mkpath(Path("work"))) return false;
        QFile conf(Path("config/Ombrix/Ombrix.conf"));
        if (!conf.open(QIODevice::WriteOnly)) return false;
        conf.write("[Optionen]\nPfadWX=" + Path("wx").toUtf8() +
                   "/\nLage=5130.00N/00730.00E_\nCallTo=APRS\nCallFrom=DL1ABC\n"
                   "CallDigi1=WIDE1-1\nCallDigi2=\nCommPortOmbrix=2\nAGWPEPort=0\n"
                   "CommDevice=" +
                   pty_.Program().toUtf8() + "\nAGWPETcpPort=" + QByteArray::number(agwPort_) +
                   "\nStatusServerPort=" + QByteArray::number(statusPort_) + "\n" + extraSettings);
        conf.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", Path("config"));
        env.insert("XDG_DATA_HOME", Path("data"));
        env.insert("XDG_RUNTIME_DIR", dir_.path());
        env.insert("LC_ALL", "C.UTF-8");
        env.insert("OMBRIX_NO_DIALOGS", "1");
        process_.setProcessEnvironment(env);
        process_.setWorkingDirectory(Path("work"));
        // Into files: a pipe that nobody reads while a test blocks would stop the program.
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.setStandardErrorFile(Path("stderr.log"));
        process_.start(OMBRIX_BINARY, {});
        if (!process_.waitForStarted(20000)) return false;
        // Up once the status server answers (with nothing: no set decoded yet).
        return QTest::qWaitFor([&] { return !Running() || AskStatus(statusPort_, 1000).Answered; },
                               30000) &&
               Running();
    }

    void Stop() {
        pty_.Stop();
        if (!Running()) return;
        process_.terminate();
        if (!process_.waitForFinished(10000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

    bool Running() const { return process_.state() == QProcess::Running; }
    QString Path(const QString& name) const { return dir_.filePath(name); }
    PtyPair& Pty() { return pty_; }
    quint16 StatusPort() const { return statusPort_; }
    quint16 AgwPort() const { return agwPort_; }
    QByteArray StandardError() const {
        QFile f(Path("stderr.log"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Waits until the status server serves a status line (after a decoded set).
    std::optional<QByteArray> WaitForStatusLine(int ms = 20000) {
        std::optional<QByteArray> line;
        (void)QTest::qWaitFor(
            [&] {
                const StatusReply r = AskStatus(statusPort_, 1000);
                if (r.Answered && !r.Text.isEmpty()) line = r.Text;
                return line.has_value() || !Running();
            },
            ms);
        return line;
    }

    // Open file descriptors of the program, from /proc.
    int OpenFiles() const {
        return static_cast<int>(
            QDir(QString("/proc/%1/fd").arg(process_.processId()))
                .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                .size());
    }
    // Resident memory of the program in KiB, from /proc.
    long ResidentKiB() const {
        QFile status(QString("/proc/%1/status").arg(process_.processId()));
        if (!status.open(QIODevice::ReadOnly)) return -1;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ')[0].toLong();
        return -1;
    }
    // Waits until the open files are back to `count`; the last count seen.
    int WaitForOpenFiles(int count, int ms = 10000) const {
        int now = OpenFiles();
        QDeadlineTimer deadline(ms);
        while (now != count && !deadline.hasExpired()) {
            QThread::msleep(20);
            now = OpenFiles();
        }
        return now;
    }

  private:
    QTemporaryDir dir_;
    PtyPair pty_;
    QProcess process_;
    quint16 statusPort_ = 0;
    quint16 agwPort_ = 0;
};

}  // namespace ombrix::test
