// The client connection to the AGWPE packet engine (127.0.0.1:8000 by default). It only writes:
// each frame goes out in one piece, whatever the engine sends back is discarded, and no error of
// the connection ever reaches the program. A dead engine cannot take the program down: Qt's
// socket ignores SIGPIPE from its first write on, so a frame written into a connection the engine
// has just dropped ends that connection with an error instead of ending the process.
//
// When a frame is due and the connection is down, a new connection is started and the frame is
// sent once it stands, if that happens within five seconds; otherwise the frame is dropped
// without a message, like any frame the engine never got.
//
// An engine that stays connected but stops reading cannot make the program wait or grow: the
// socket holds one frame at a time, the others wait here, at most 64 KiB of them all; beyond
// that the oldest that has not started on the wire is dropped, so the newest report goes out
// once the engine reads again.
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <vector>

#include "report/agwpe.h"

class QTcpSocket;

namespace ombrix {

class AgwLink : public QObject, public FrameSink {
    Q_OBJECT

  public:
    static constexpr int kConnectWaitMs = 5000;
    static constexpr std::size_t kMaxWaitingFrames = 16;
    // Frames waiting for the engine, in bytes; beyond this the oldest are dropped whole.
    static constexpr qsizetype kMaxWaitingBytes = 64 * 1024;

    explicit AgwLink(QString host = QStringLiteral("127.0.0.1"), quint16 port = 8000,
                     QObject* parent = nullptr);
    ~AgwLink() override;

    // Starts connecting in the background; the outcome is not reported.
    void Connect();
    // Drops the connection and any frame still waiting for one.
    void Close();

    void WriteAgwFrame(const Bytes& wire) override;

    bool IsConnected() const;
    // Frames waiting for a connection.
    std::size_t WaitingFrames() const { return waiting_.size(); }
    // Bytes of all frames not yet handed to the kernel, waiting for a connection or for room.
    qsizetype WaitingBytes() const;
    // Frames dropped so far to keep within kMaxWaitingBytes.
    std::size_t DroppedFrames() const { return dropped_; }

  signals:
    // The connection to the engine has come up or gone down (IsConnected() tells which).
    void ConnectionChanged();

  private:
    struct Waiting {
        QByteArray Wire;
        QDeadlineTimer Deadline;
    };

    void OnConnected();
    void OnSocketError();
    void OnDeadline();
    void Send(const QByteArray& wire);
    void HandOver();

    QString host_;
    quint16 port_;
    QTcpSocket* socket_;
    QTimer deadline_;
    std::vector<Waiting> waiting_;
    // Frames for the standing connection behind the one the socket holds, oldest first.
    std::deque<QByteArray> unsent_;
    std::size_t dropped_ = 0;
};

}  // namespace ombrix
