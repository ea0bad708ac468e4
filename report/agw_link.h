// The client connection to the AGWPE packet engine (127.0.0.1:8000 by default). It only writes:
// each frame goes out in one piece, whatever the engine sends back is discarded, and no error of
// the connection ever reaches the program. A dead engine cannot take the program down.
//
// When a frame is due and the connection is down, a new connection is started and the frame is
// sent once it stands, if that happens within five seconds; otherwise the frame is dropped
// without a message, like any frame the engine never got.
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <vector>

#include "report/agwpe.h"

class QTcpSocket;

namespace ombrix {

class AgwLink : public QObject, public FrameSink {
    Q_OBJECT

  public:
    static constexpr int kConnectWaitMs = 5000;
    static constexpr std::size_t kMaxWaitingFrames = 16;
    // Bytes the engine has not taken yet; beyond this, new frames are dropped whole.
    static constexpr qsizetype kMaxUnsentBytes = 1 << 20;
    static constexpr int kRetryMs = 50;

    explicit AgwLink(QString host = QStringLiteral("127.0.0.1"), quint16 port = 8000,
                     QObject* parent = nullptr);
    ~AgwLink() override;

    // Starts connecting in the background; the outcome is not reported.
    void Connect();
    // Drops the connection and any frame still waiting for one.
    void Close();

    void WriteAgwFrame(const Bytes& wire) override;

    bool IsConnected() const;
    std::size_t WaitingFrames() const { return waiting_.size(); }

  private:
    struct Waiting {
        QByteArray Wire;
        QDeadlineTimer Deadline;
    };

    void OnConnected();
    void OnSocketError();
    void OnDeadline();
    void Send(const QByteArray& wire);
    void Flush();

    QString host_;
    quint16 port_;
    QTcpSocket* socket_;
    QTimer deadline_;
    QTimer retry_;  // the engine's receive window was full: try the rest again shortly
    std::vector<Waiting> waiting_;
    QByteArray unsent_;
};

}  // namespace ombrix
