#include "server/status_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace ombrix {

namespace {

// A turn of the event loop accepts at most this many connections and reads at most this much
// from one client, so that nobody can keep the window from its serial line.
constexpr int kAcceptsPerTurn = 64;
constexpr int kReadsPerTurn = 16;
constexpr std::size_t kReadChunk = 4096;
// When the process has no descriptor left, accepting waits this long before it tries again.
constexpr int kAcceptPauseMs = 100;

// Opens a listening socket; -1 with errno set when it cannot.
int OpenListener(const QHostAddress& address, quint16 port) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family = AF_INET6;
    bool v6only = true;
    switch (address.protocol()) {
        case QAbstractSocket::IPv4Protocol: {
            auto* in = reinterpret_cast<sockaddr_in*>(&storage);
            in->sin_family = AF_INET;
            in->sin_port = htons(port);
            in->sin_addr.s_addr = htonl(address.toIPv4Address());
            length = sizeof(sockaddr_in);
            family = AF_INET;
            break;
        }
        case QAbstractSocket::IPv6Protocol: {
            auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
            in6->sin6_family = AF_INET6;
            in6->sin6_port = htons(port);
            const Q_IPV6ADDR a = address.toIPv6Address();
            std::memcpy(&in6->sin6_addr, a.c, sizeof(a.c));
            length = sizeof(sockaddr_in6);
            break;
        }
        default: {  // any address, IPv6 and IPv4 alike
            auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
            in6->sin6_family = AF_INET6;
            in6->sin6_port = htons(port);
            in6->sin6_addr = in6addr_any;
            length = sizeof(sockaddr_in6);
            v6only = false;
            break;
        }
    }

    int fd = socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0 && family == AF_INET6 && !v6only) {
        // No IPv6 on this machine: any IPv4 address.
        storage = {};
        auto* in = reinterpret_cast<sockaddr_in*>(&storage);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        in->sin_addr.s_addr = htonl(INADDR_ANY);
        length = sizeof(sockaddr_in);
        family = AF_INET;
        fd = socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    }
    if (fd < 0) return -1;

    const int on = 1;
    const int off = 0;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (family == AF_INET6)
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, v6only ? &on : &off, sizeof on);
    if (bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0 ||
        listen(fd, SOMAXCONN) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

quint16 LocalPort(int fd) {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) return 0;
    if (storage.ss_family == AF_INET)
        return ntohs(reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
    return ntohs(reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port);
}

}  // namespace

struct StatusServer::Connection {
    int fd = -1;
    QSocketNotifier* reader = nullptr;
    QSocketNotifier* writer = nullptr;  // only while a reply waits for room in the socket
    quint64 lastActivity = 0;
    Clock::time_point deadline;
    bool answered = false;
    Bytes reply;
    std::size_t sent = 0;
};

StatusServer::StatusServer(TextSource statusText, QObject* parent, int idleMs)
    : QObject(parent), statusText_(std::move(statusText)), idle_(idleMs) {
    acceptPause_.setSingleShot(true);
    connect(&acceptPause_, &QTimer::timeout, this, [this] {
        if (listenNotifier_) listenNotifier_->setEnabled(true);
    });
    idleTimer_.setSingleShot(true);
    connect(&idleTimer_, &QTimer::timeout, this, &StatusServer::CloseIdle);
}

StatusServer::~StatusServer() {
    Close();
}

bool StatusServer::Listen(quint16 port, const QHostAddress& address) {
    if (listenFd_ >= 0) {
        listenNotifier_.reset();
        ::close(listenFd_);
        listenFd_ = -1;
        port_ = 0;
    }
    const int fd = OpenListener(address, port);
    if (fd < 0) return false;
    listenFd_ = fd;
    port_ = LocalPort(fd);
    listenNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(listenNotifier_.get(), &QSocketNotifier::activated, this,
            &StatusServer::Winsock2_ConnectionRequest);
    return true;
}

void StatusServer::Close() {
    acceptPause_.stop();
    if (listenFd_ >= 0) {
        listenNotifier_.reset();
        ::close(listenFd_);
        listenFd_ = -1;
        port_ = 0;
    }
    while (!connections_.empty()) Drop(connections_.back()->fd);
}

void StatusServer::Winsock2_ConnectionRequest() {
    for (int i = 0; i < kAcceptsPerTurn && listenFd_ >= 0; ++i) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // The request stays queued; the notifier would only fire again at once.
                listenNotifier_->setEnabled(false);
                acceptPause_.start(kAcceptPauseMs);
            }
            return;  // EAGAIN: nothing more waiting
        }
        if (static_cast<int>(connections_.size()) >= kMaxConnections) MakeRoom();

        auto c = std::make_unique<Connection>();
        c->fd = fd;
        c->lastActivity = ++lastActivity_;
        c->deadline = Clock::now() + idle_;
        c->reader = TakeNotifier(freeReaders_, QSocketNotifier::Read, fd);
        connections_.push_back(std::move(c));
        ArmIdleTimer();
        // Most clients send their request right after connecting: it may be here already.
        Winsock2_DataArrival(fd);
    }
}

// One reply per connection, to the first data that arrives; the data itself is thrown away.
void StatusServer::Winsock2_DataArrival(int fd) {
    Connection* c = Find(fd);
    if (c == nullptr) return;
    char buffer[kReadChunk];
    std::size_t got = 0;
    bool ended = false;
    for (int i = 0; i < kReadsPerTurn; ++i) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            if (static_cast<std::size_t>(n) < sizeof buffer) break;  // drained
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        ended = true;  // closed by the client, or broken
        break;
    }
    if (got > 0) {
        c->lastActivity = ++lastActivity_;
        c->deadline = Clock::now() + idle_;
        // A client that sends its request and then closes its side still gets the reply.
        if (!c->answered) {
            Reply(*c);
            return;
        }
    }
    if (ended) Drop(fd);
}

void StatusServer::Reply(Connection& c) {
    c.answered = true;
    c.reply = statusText_ ? statusText_() : Bytes();
    if (c.reply.empty()) {
        Drop(c.fd);
        return;
    }
    Winsock2_SendComplete(c.fd);
}

// Sends what is left of the reply; the connection closes once all of it is written.
void StatusServer::Winsock2_SendComplete(int fd) {
    Connection* c = Find(fd);
    if (c == nullptr) return;
    while (c->sent < c->reply.size()) {
        const ssize_t n = send(fd, c->reply.data() + c->sent, c->reply.size() - c->sent,
                               MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            c->sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (c->writer == nullptr)
                c->writer = TakeNotifier(freeWriters_, QSocketNotifier::Write, fd);
            return;
        }
        break;  // the client is gone
    }
    Drop(fd);
}

// The connection silent for the longest time goes.
void StatusServer::MakeRoom() {
    const auto oldest = std::min_element(
        connections_.cbegin(), connections_.cend(),
        [](const auto& a, const auto& b) { return a->lastActivity < b->lastActivity; });
    if (oldest != connections_.cend()) Drop((*oldest)->fd);
}

void StatusServer::CloseIdle() {
    const Clock::time_point now = Clock::now();
    // From the back: a dropped connection's place is taken by the last one, already looked at.
    for (std::size_t i = connections_.size(); i-- > 0;)
        if (connections_[i]->deadline <= now) Drop(connections_[i]->fd);
    ArmIdleTimer();
}

// The timer is set for the earliest deadline. Activity only moves deadlines later, so a timer
// that is already running may fire early; it then looks again.
void StatusServer::ArmIdleTimer() {
    if (connections_.empty()) {
        idleTimer_.stop();
        return;
    }
    if (idleTimer_.isActive()) return;
    Clock::time_point earliest = connections_.front()->deadline;
    for (const auto& c : connections_) earliest = std::min(earliest, c->deadline);
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(earliest - Clock::now());
    idleTimer_.start(std::max(wait, std::chrono::milliseconds(1)));
}

void StatusServer::Drop(int fd) {
    const auto it = std::find_if(connections_.begin(), connections_.end(),
                                 [fd](const auto& c) { return c->fd == fd; });
    if (it == connections_.end()) return;
    ReturnNotifier(freeReaders_, (*it)->reader);
    ReturnNotifier(freeWriters_, (*it)->writer);
    ::close(fd);
    std::swap(*it, connections_.back());
    connections_.pop_back();
    if (connections_.empty()) idleTimer_.stop();
}

StatusServer::Connection* StatusServer::Find(int fd) {
    for (const auto& c : connections_)
        if (c->fd == fd) return c.get();
    return nullptr;
}

QSocketNotifier* StatusServer::TakeNotifier(std::vector<QSocketNotifier*>& pool, int type, int fd) {
    QSocketNotifier* n = nullptr;
    if (pool.empty()) {
        n = new QSocketNotifier(static_cast<QSocketNotifier::Type>(type), this);
        const bool reads = type == QSocketNotifier::Read;
        connect(n, &QSocketNotifier::activated, this,
                [this, reads](QSocketDescriptor socket, QSocketNotifier::Type) {
                    const int ready = static_cast<int>(static_cast<qintptr>(socket));
                    if (reads)
                        Winsock2_DataArrival(ready);
                    else
                        Winsock2_SendComplete(ready);
                });
    } else {
        n = pool.back();
        pool.pop_back();
    }
    n->setSocket(fd);
    n->setEnabled(true);
    return n;
}

// A notifier must let go of its descriptor before the descriptor is closed.
void StatusServer::ReturnNotifier(std::vector<QSocketNotifier*>& pool, QSocketNotifier*& n) {
    if (n == nullptr) return;
    n->setEnabled(false);
    pool.push_back(n);
    n = nullptr;
}

}  // namespace ombrix
