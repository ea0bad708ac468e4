// The status server: any client that sends something receives the current status line, nothing
// before or after it, and the connection is closed once the reply is written. An empty status
// line closes the connection without a reply. Every connection is served on its own while the
// server keeps listening; a connection that stays silent is closed after a minute, and what
// clients send is thrown away as it arrives. When all 64 places are taken, the connection that
// has been silent longest makes room for a newcomer: clients that connect and never ask cannot
// lock out one that does.
#pragma once

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <functional>

#include "station/bytes.h"

class QTcpSocket;

namespace ombrix {

class StatusServer : public QObject {
    Q_OBJECT

  public:
    using TextSource = std::function<Bytes()>;

    static constexpr int kMaxConnections = 64;
    static constexpr int kIdleMs = 60000;

    explicit StatusServer(TextSource statusText, QObject* parent = nullptr, int idleMs = kIdleMs);
    ~StatusServer() override;

    // Listens on the port (0: any free one) on all interfaces. False when the port is taken.
    bool Listen(quint16 port, const QHostAddress& address = QHostAddress::Any);
    // Stops listening and drops every connection.
    void Close();

    bool IsListening() const { return server_.isListening(); }
    quint16 Port() const { return server_.serverPort(); }
    int ConnectionCount() const { return static_cast<int>(connections_.size()); }

  private:
    void Winsock2_ConnectionRequest();
    void Winsock2_DataArrival(QTcpSocket* socket);
    void Drop(QTcpSocket* socket);
    void MakeRoom();

    TextSource statusText_;
    int idleMs_;
    QTcpServer server_;
    // Each connection with the moment of its last activity, counted in events: a later one has
    // the higher number.
    QHash<QTcpSocket*, quint64> connections_;
    quint64 lastActivity_ = 0;
};

}  // namespace ombrix
