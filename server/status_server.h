// The status server: any client that sends something receives the current status line, nothing
// before or after it, and the connection is closed once the reply is written. An empty status
// line closes the connection without a reply. Every connection is served on its own while the
// server keeps listening; a connection that stays silent is closed after a minute, and what
// clients send is thrown away as it arrives. When all 64 places are taken, the connection that
// has been silent longest makes room for a newcomer: clients that connect and never ask cannot
// lock out one that does.
#pragma once

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTimer>
#include <functional>
#include <vector>

#include "station/bytes.h"

class QTcpSocket;

namespace ombrix {

class StatusServer : public QObject {
    Q_OBJECT

  public:
    using TextSource = std::function<Bytes()>;

    static constexpr int kMaxConnections = 64;
    static constexpr int kIdleMs = 60000;

    explicit StatusServer(TextSource statusText, QObject* parent = nullptr);
    ~StatusServer() override;

    // Listens on the port (0: any free one) on all interfaces. False when the port is taken.
    bool Listen(quint16 port, const QHostAddress& address = QHostAddress::Any);
    // Stops listening and drops every connection.
    void Close();

    bool IsListening() const { return server_.isListening(); }
    quint16 Port() const { return server_.serverPort(); }
    int ConnectionCount() const { return static_cast<int>(connections_.size()); }

  private:
    struct Connection {
        QTcpSocket* Socket;
        QDeadlineTimer Idle;
        bool Answered = false;
    };

    void Winsock2_ConnectionRequest();
    void Winsock2_DataArrival(QTcpSocket* socket);
    void Winsock2_AcceptError();
    void Drop(QTcpSocket* socket);
    void CloseIdle();
    void ArmIdleTimer();

    TextSource statusText_;
    QTcpServer server_;
    // Closes connections that stayed silent too long; runs only while connections are open.
    QTimer idleTimer_;
    // In the order of their last activity: the first has been silent longest, so it is the one
    // to make room and the first to reach the idle limit.
    std::vector<Connection> connections_;
};

}  // namespace ombrix
