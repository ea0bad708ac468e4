// The status server: any client that sends something receives the current status line, nothing
// before or after it, and the connection is closed once the reply is written. An empty status
// line closes the connection without a reply. Every connection is served on its own while the
// server keeps listening; a connection that stays silent is closed after a minute, and what
// clients send is thrown away as it arrives. When all 64 places are taken, the connection that
// has been silent longest makes room for a newcomer: clients that connect and never ask cannot
// lock out one that does.
//
// The server works on plain non-blocking sockets watched by the Qt event loop: a request is
// accepted, read, answered and closed in one turn of the loop, with a handful of system calls.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "station/bytes.h"

class QSocketNotifier;

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

    bool IsListening() const { return listenFd_ >= 0; }
    quint16 Port() const { return port_; }
    int ConnectionCount() const { return static_cast<int>(connections_.size()); }

  private:
    using Clock = std::chrono::steady_clock;
    struct Connection;

    void Winsock2_ConnectionRequest();
    void Winsock2_DataArrival(int fd);
    void Winsock2_SendComplete(int fd);
    void Reply(Connection& c);
    void Drop(int fd);
    void MakeRoom();
    void CloseIdle();
    void ArmIdleTimer();
    Connection* Find(int fd);
    QSocketNotifier* TakeNotifier(std::vector<QSocketNotifier*>& pool, int type, int fd);
    static void ReturnNotifier(std::vector<QSocketNotifier*>& pool, QSocketNotifier*& n);

    TextSource statusText_;
    std::chrono::milliseconds idle_;
    int listenFd_ = -1;
    quint16 port_ = 0;
    std::unique_ptr<QSocketNotifier> listenNotifier_;
    // Accepting pauses briefly when the process runs out of descriptors.
    QTimer acceptPause_;
    // Closes connections that stayed silent too long; runs only while connections are open.
    QTimer idleTimer_;
    std::vector<std::unique_ptr<Connection>> connections_;
    // Notifiers are kept for the next connection rather than made and deleted for every request.
    std::vector<QSocketNotifier*> freeReaders_;
    std::vector<QSocketNotifier*> freeWriters_;
    // Counts events: the connection with the lowest number has been silent longest.
    quint64 lastActivity_ = 0;
};

}  // namespace ombrix
