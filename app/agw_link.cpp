#include "app/agw_link.h"

#include <QTcpSocket>
#include <algorithm>

namespace ombrix {

AgwLink::AgwLink(QString host, quint16 port, QObject* parent)
    : QObject(parent), host_(std::move(host)), port_(port), socket_(new QTcpSocket(this)) {
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, &AgwLink::OnDeadline);
    connect(socket_, &QTcpSocket::bytesWritten, this, &AgwLink::HandOver);
    connect(socket_, &QTcpSocket::disconnected, this, [this] { unsent_.clear(); });
    connect(socket_, &QTcpSocket::connected, this, &AgwLink::OnConnected);
    connect(socket_, &QTcpSocket::errorOccurred, this, &AgwLink::OnSocketError);
    connect(socket_, &QTcpSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
        if (state == QAbstractSocket::ConnectedState || state == QAbstractSocket::UnconnectedState)
            emit ConnectionChanged();
    });
    // The engine's replies are of no interest; reading them keeps its buffer from growing.
    connect(socket_, &QTcpSocket::readyRead, this,
            [this] { socket_->skip(socket_->bytesAvailable()); });
}

AgwLink::~AgwLink() {
    Close();
}

void AgwLink::Connect() {
    if (socket_->state() != QAbstractSocket::UnconnectedState) socket_->abort();
    socket_->connectToHost(host_, port_);
}

void AgwLink::Close() {
    waiting_.clear();
    deadline_.stop();
    unsent_.clear();
    socket_->abort();
}

qsizetype AgwLink::WaitingBytes() const {
    qsizetype bytes = socket_->bytesToWrite();
    for (const QByteArray& wire : unsent_) bytes += wire.size();
    for (const Waiting& w : waiting_) bytes += w.Wire.size();
    return bytes;
}

bool AgwLink::IsConnected() const {
    return socket_->state() == QAbstractSocket::ConnectedState;
}

void AgwLink::Send(const QByteArray& wire) {
    unsent_.push_back(wire);
    // The engine is not reading: the oldest frames that have not started on the wire make room.
    while (!unsent_.empty() && WaitingBytes() > kMaxWaitingBytes) {
        unsent_.pop_front();
        ++dropped_;
    }
    HandOver();
}

// The socket gets the next frame once it has handed all of the last one to the kernel, and
// writes it at once. A frame the kernel cannot take yet stays in the socket, which writes the
// rest when the engine reads again and then comes back here through bytesWritten.
void AgwLink::HandOver() {
    while (IsConnected() && socket_->bytesToWrite() == 0 && !unsent_.empty()) {
        socket_->write(unsent_.front());
        unsent_.pop_front();
        socket_->flush();
    }
}

void AgwLink::WriteAgwFrame(const Bytes& wire) {
    const QByteArray bytes(wire.data(), static_cast<qsizetype>(wire.size()));
    if (bytes.size() > kMaxWaitingBytes) {  // could never be kept
        ++dropped_;
        return;
    }
    if (IsConnected()) {
        Send(bytes);
        return;
    }
    waiting_.push_back({bytes, QDeadlineTimer(kConnectWaitMs)});
    while (waiting_.size() > kMaxWaitingFrames || WaitingBytes() > kMaxWaitingBytes) {
        waiting_.erase(waiting_.begin());
        ++dropped_;
    }
    if (!deadline_.isActive()) deadline_.start(kConnectWaitMs);
    if (socket_->state() == QAbstractSocket::UnconnectedState) socket_->connectToHost(host_, port_);
}

void AgwLink::OnConnected() {
    deadline_.stop();
    std::vector<Waiting> due;
    due.swap(waiting_);
    for (const Waiting& w : due)
        if (!w.Deadline.hasExpired()) Send(w.Wire);
}

void AgwLink::OnSocketError() {
    // Refused, dropped or reset: frames waiting for this attempt are lost; the next frame that
    // comes due starts a new attempt.
    if (socket_->state() == QAbstractSocket::ConnectedState) return;
    waiting_.clear();
    deadline_.stop();
    unsent_.clear();
}

void AgwLink::OnDeadline() {
    waiting_.erase(std::remove_if(waiting_.begin(), waiting_.end(),
                                  [](const Waiting& w) { return w.Deadline.hasExpired(); }),
                   waiting_.end());
    if (!waiting_.empty()) {
        deadline_.start(
            static_cast<int>(std::max<qint64>(1, waiting_.front().Deadline.remainingTime())));
        return;
    }
    // Nobody answered in time: give up this attempt so the next frame starts a fresh one.
    if (!IsConnected()) socket_->abort();
}

}  // namespace ombrix
