// Event-loop helpers of the link tests: bounded waits, a stand-in engine and a watch on Qt's
// messages (the link must never say anything).
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ombrix::test {

// Runs the event loop until done() or the time is up; returns done().
inline bool WaitUntil(const std::function<bool()>& done, int ms) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

// Runs the event loop for a while.
inline void Spin(int ms) {
    WaitUntil([] { return false; }, ms);
}

// A stand-in for the engine: accepts clients on 127.0.0.1 and keeps what they send.
class Peer {
  public:
    bool Listen(quint16 port = 0) {
        server_ = std::make_unique<QTcpServer>();
        QObject::connect(server_.get(), &QTcpServer::newConnection, [this] {
            while (QTcpSocket* client = server_->nextPendingConnection()) {
                clients.push_back(client);
                QObject::connect(client, &QTcpSocket::readyRead,
                                 [this, client] { received += client->readAll(); });
            }
        });
        return server_->listen(QHostAddress::LocalHost, port);
    }
    quint16 Port() const { return server_->serverPort(); }
    // The engine goes away: every connection and the listening socket are closed.
    void Stop() {
        for (QTcpSocket* client : clients) {
            client->abort();
            client->deleteLater();
        }
        clients.clear();
        server_.reset();
    }
    ~Peer() { Stop(); }

    std::vector<QTcpSocket*> clients;
    QByteArray received;

  private:
    std::unique_ptr<QTcpServer> server_;
};

// Collects every message Qt would print while it lives.
class MessageWatch {
  public:
    MessageWatch() {
        messages().clear();
        previous_ =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
                messages().push_back(text.toStdString());
            });
    }
    ~MessageWatch() { qInstallMessageHandler(previous_); }
    static std::vector<std::string>& messages() {
        static std::vector<std::string> all;
        return all;
    }

  private:
    QtMessageHandler previous_;
};

}  // namespace ombrix::test
