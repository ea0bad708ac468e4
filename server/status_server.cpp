#include "server/status_server.h"

#include <sys/socket.h>

#include <QTcpSocket>
#include <algorithm>
#include <utility>

namespace ombrix {

namespace {
// What a client sends is never looked at; Qt takes at most this much of it from the kernel at a
// time, so a client that floods the server costs no memory.
constexpr qint64 kReadBufferSize = 4096;
// When the process has no descriptor left for a new connection, accepting rests this long; the
// clients wait in the listening queue meanwhile.
constexpr int kAcceptPauseMs = 100;
}  // namespace

StatusServer::StatusServer(TextSource statusText, QObject* parent)
    : QObject(parent), statusText_(std::move(statusText)) {
    connect(&server_, &QTcpServer::newConnection, this, &StatusServer::Winsock2_ConnectionRequest);
    connect(&server_, &QTcpServer::acceptError, this, &StatusServer::Winsock2_AcceptError);
    idleTimer_.setSingleShot(true);
    connect(&idleTimer_, &QTimer::timeout, this, &StatusServer::CloseIdle);
}

StatusServer::~StatusServer() {
    Close();
}

bool StatusServer::Listen(quint16 port, const QHostAddress& address) {
    if (server_.isListening()) server_.close();
    // Clients that come all at once, or while descriptors have run out, wait in the kernel's
    // queue, as many as it allows, instead of being turned away.
    server_.setListenBacklogSize(SOMAXCONN);
    return server_.listen(address, port);
}

void StatusServer::Close() {
    server_.close();
    while (!connections_.empty()) Drop(connections_.back().Socket);
}

void StatusServer::Winsock2_ConnectionRequest() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        if (connections_.size() >= kMaxConnections) Drop(connections_.front().Socket);
        socket->setReadBufferSize(kReadBufferSize);
        connect(socket, &QTcpSocket::readyRead, this,
                [this, socket] { Winsock2_DataArrival(socket); });
        // Closed by the client, reset, or closed by us once the reply is written.
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Drop(socket); });
        connections_.push_back({socket, QDeadlineTimer(kIdleMs)});
        ArmIdleTimer();
    }
}

// One reply per connection, to the first data that arrives; the data itself is thrown away.
void StatusServer::Winsock2_DataArrival(QTcpSocket* socket) {
    socket->skip(socket->bytesAvailable());
    const auto it = std::find_if(connections_.begin(), connections_.end(),
                                 [socket](const Connection& c) { return c.Socket == socket; });
    if (it == connections_.end()) return;
    Connection c = *it;
    connections_.erase(it);
    c.Idle = QDeadlineTimer(kIdleMs);
    const bool answered = std::exchange(c.Answered, true);
    connections_.push_back(c);
    if (answered) return;

    const Bytes text = statusText_ ? statusText_() : Bytes();
    if (!text.empty()) {
        socket->write(text.data(), static_cast<qint64>(text.size()));
        // Into the kernel now: a reply that fits is gone before this turn of the event loop
        // ends, and the connection with it.
        socket->flush();
    }
    // Closes once the rest of the reply is written, however large it is.
    socket->disconnectFromHost();
}

// Closes the connection at once and forgets it.
void StatusServer::Drop(QTcpSocket* socket) {
    const auto it = std::find_if(connections_.begin(), connections_.end(),
                                 [socket](const Connection& c) { return c.Socket == socket; });
    if (it == connections_.end()) return;
    connections_.erase(it);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    if (connections_.empty()) idleTimer_.stop();
}

// Qt stops accepting when an accept fails for want of descriptors (or for any other lasting
// reason) rather than trying again at once: the request would only fail again, in a busy loop.
void StatusServer::Winsock2_AcceptError() {
    server_.pauseAccepting();
    QTimer::singleShot(kAcceptPauseMs, &server_, &QTcpServer::resumeAccepting);
}

void StatusServer::CloseIdle() {
    while (!connections_.empty() && connections_.front().Idle.hasExpired())
        Drop(connections_.front().Socket);
    ArmIdleTimer();
}

// The timer is set for the first connection's limit. Activity only moves limits later, so a
// timer that is already running may fire early; it then looks again.
void StatusServer::ArmIdleTimer() {
    if (connections_.empty() || idleTimer_.isActive()) return;
    idleTimer_.start(std::max<qint64>(1, connections_.front().Idle.remainingTime()));
}

}  // namespace ombrix
