// The status server: any client that sends something receives the current status line, nothing
// before or after it, and the connection is closed once the reply is written. An empty status
// line closes the connection without a reply. Every connection is served on its own while the
// server keeps listening; a connection that stays silent is closed after a minute, and what
// clients send is thrown away as it arrives.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QSet>
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

    TextSource statusText_;
    int idleMs_;
    QTcpServer server_;
    QSet<QTcpSocket*> connections_;
};

}  // namespace ombrix
