#include "server/status_server.h"

#include <QTcpSocket>
#include <QTimer>
#include <utility>

namespace ombrix {

namespace {
// What a client sends is never read; the socket keeps at most this much of it at a time.
constexpr qint64 kReadBufferSize = 4096;
}  // namespace

StatusServer::StatusServer(TextSource statusText, QObject* parent, int idleMs)
    : QObject(parent), statusText_(std::move(statusText)), idleMs_(idleMs) {
    connect(&server_, &QTcpServer::newConnection, this, &StatusServer::Winsock2_ConnectionRequest);
}

StatusServer::~StatusServer() {
    Close();
}

bool StatusServer::Listen(quint16 port, const QHostAddress& address) {
    if (server_.isListening()) server_.close();
    return server_.listen(address, port);
}

void StatusServer::Close() {
    server_.close();
    const QList<QTcpSocket*> open = connections_.keys();
    for (QTcpSocket* socket : open) socket->abort();
    for (QTcpSocket* socket : open) Drop(socket);
}

void StatusServer::Winsock2_ConnectionRequest() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        if (connections_.size() >= kMaxConnections) MakeRoom();
        connections_.insert(socket, ++lastActivity_);
        socket->setReadBufferSize(kReadBufferSize);

        auto* idle = new QTimer(socket);
        idle->setSingleShot(true);
        idle->start(idleMs_);
        connect(idle, &QTimer::timeout, this, [this, socket] {
            socket->abort();
            Drop(socket);
        });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, idle] {
            idle->start(idleMs_);
            if (const auto it = connections_.find(socket); it != connections_.end())
                *it = ++lastActivity_;
            Winsock2_DataArrival(socket);
        });
        // The reply is written: close.
        connect(socket, &QTcpSocket::bytesWritten, this, [socket] {
            if (socket->bytesToWrite() == 0) socket->disconnectFromHost();
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Drop(socket); });
        if (socket->bytesAvailable() > 0) Winsock2_DataArrival(socket);
    }
}

// One reply per arrival of data; the data itself is thrown away.
void StatusServer::Winsock2_DataArrival(QTcpSocket* socket) {
    socket->skip(socket->bytesAvailable());
    if (socket->state() != QAbstractSocket::ConnectedState) return;
    const Bytes text = statusText_ ? statusText_() : Bytes();
    if (text.empty()) {
        socket->disconnectFromHost();
        return;
    }
    socket->write(text.data(), static_cast<qint64>(text.size()));
}

// The connection silent for the longest time goes.
void StatusServer::MakeRoom() {
    QTcpSocket* oldest = nullptr;
    quint64 since = 0;
    for (auto it = connections_.cbegin(); it != connections_.cend(); ++it) {
        if (oldest == nullptr || it.value() < since) {
            oldest = it.key();
            since = it.value();
        }
    }
    if (oldest == nullptr) return;
    oldest->abort();
    Drop(oldest);
}

void StatusServer::Drop(QTcpSocket* socket) {
    if (!connections_.remove(socket)) return;
    socket->disconnect(this);
    socket->deleteLater();
}

}  // namespace ombrix
