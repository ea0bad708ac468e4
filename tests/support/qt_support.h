// What the tests on Qt's event loop share: a socat pseudo-terminal pair for the serial line, free
// loopback ports, the settings of a test station, and plain sockets on 127.0.0.1: a listener that
// does not answer and a client of the status server.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace ombrix::test {

// Asks the process to end, and kills it when it has not ended within `ms`.
inline void EndProcess(QProcess& process, int ms = 3000) {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();
    if (!process.waitForFinished(ms)) process.kill(), process.waitForFinished(3000);
}

// Two linked pseudo-terminals made by socat, raw on both ends: the program opens Program() as its
// serial port, the test plays the station on Station(). Stop() is a USB adapter pulled out.
class PtyPair {
  public:
    ~PtyPair() { Stop(); }

    bool Start() {
        socat_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        socat_.start("socat",
                     {"pty,raw,echo=0,link=" + Program(), "pty,raw,echo=0,link=" + Station()});
        const auto linked = [&] {
            return QFileInfo::exists(Program()) && QFileInfo::exists(Station());
        };
        return dir_.isValid() && socat_.waitForStarted(5000) && QTest::qWaitFor(linked, 10000) &&
               socat_.state() == QProcess::Running;
    }
    void Stop() {
        if (station_ >= 0) ::close(station_);
        station_ = -1;
        EndProcess(socat_);
    }
    QString Program() const { return dir_.filePath("program"); }
    QString Station() const { return dir_.filePath("station"); }

    // Writes all the bytes as the station would.
    bool Send(const std::string& bytes) {
        if (station_ < 0) {
            station_ =
                ::open(Station().toUtf8().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            termios tio{};
            if (station_ < 0 || ::tcgetattr(station_, &tio) != 0) return false;
            ::cfmakeraw(&tio);
            ::tcsetattr(station_, TCSANOW, &tio);
        }
        QDeadlineTimer deadline(5000);
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::write(station_, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else if (n < 0 && (errno == EAGAIN || errno == EINTR) && !deadline.hasExpired())
                QTest::qWait(5);
            else
                return false;
        }
        return true;
    }

  private:
    QTemporaryDir dir_;
    QProcess socat_;
    int station_ = -1;
};

inline QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline quint16 FreePort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// The settings of a test station that may send: its serial port on `device`, the engine and the
// status server on the given ports, the raw logs in `pfadWX`.
inline QByteArray StationSettings(const QString& pfadWX, const QString& device, quint16 agwPort,
                                  quint16 statusPort) {
    return "[Optionen]\nPfadWX=" + pfadWX.toUtf8() +
           "\nLage=5130.00N/00730.00E_\nCallTo=APRS\nCallFrom=DL1ABC\nCallDigi1=WIDE1-1\n"
           "CallDigi2=\nCommPortOmbrix=2\nAGWPEPort=0\nCommDevice=" +
           device.toUtf8() + "\nAGWPETcpPort=" + QByteArray::number(agwPort) +
           "\nStatusServerPort=" + QByteArray::number(statusPort) + "\n";
}

// The report of the built-in test set at the test station.
inline const QByteArray kTestSetReport = "!5130.00N/00730.00E_205/006g006t049r000P004h91b10150";

inline sockaddr_in Loopback(quint16 port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A TCP connection to 127.0.0.1:port, or -1.
inline int ConnectLoopback(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to = Loopback(port);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

// A listening socket on a free port of 127.0.0.1 that nobody serves (its port goes to `port`),
// with room for `backlog` waiting connections and, when given, a small receive buffer; or -1.
inline int ListenLoopback(int backlog, quint16& port, int receiveBuffer = 0) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return -1;
    port = ntohs(address.sin_port);
    return fd;
}

// True when the peer has closed or reset this connection (what it sent is read and dropped).
inline bool ClosedByPeer(int fd) {
    char b[256];
    const ssize_t n = ::recv(fd, b, sizeof b, MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

struct StatusReply {
    bool Answered = false;  // the server closed after its reply
    QByteArray Text;
};

// Sends `request` on the connection (nothing when empty), half-closes it when asked, and reads
// until the server closes; the connection is closed after. The event loop runs meanwhile, so that
// a server in this process is served as well.
inline StatusReply ReadReply(int fd, const char* request = "?", bool halfClose = false,
                             int ms = 5000) {
    StatusReply reply;
    if (fd < 0) return reply;
    const std::size_t length = std::strlen(request);
    const bool sent = length == 0 || ::send(fd, request, length, MSG_NOSIGNAL) > 0;
    if (sent && halfClose) ::shutdown(fd, SHUT_WR);
    for (QDeadlineTimer deadline(ms); sent && !deadline.hasExpired();) {
        QCoreApplication::processEvents();
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5) <= 0) continue;
        char buffer[65536];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            reply.Answered = n == 0;
            break;
        }
        reply.Text.append(buffer, n);
    }
    ::close(fd);
    return reply;
}

// A well-behaved client: connects, asks, reads the reply to the end.
inline StatusReply AskStatus(quint16 port, bool halfClose = false, int ms = 5000) {
    return ReadReply(ConnectLoopback(port), "?", halfClose, ms);
}

}  // namespace ombrix::test
