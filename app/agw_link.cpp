#include "app/agw_link.h"

#include <sys/socket.h>

#include <QTcpSocket>
#include <algorithm>
#include <cerrno>

namespace ombrix {

AgwLink::AgwLink(QString host, quint16 port, QObject* parent)
    : QObject(parent), host_(std::move(host)), port_(port), socket_(new QTcpSocket(this)) {
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, &AgwLink::OnDeadline);
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &AgwLink::Flush);
    connect(socket_, &QTcpSocket::disconnected, this, &AgwLink::ClearUnsent);
    connect(socket_, &QTcpSocket::connected, this, &AgwLink::OnConnected);
    connect(socket_, &QTcpSocket::errorOccurred, this, &AgwLink::OnSocketError);
    // The engine's replies are of no interest; reading them keeps its buffer from growing.
    connect(socket_, &QTcpSocket::readyRead, this, [this] { socket_->readAll(); });
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
    ClearUnsent();
    socket_->abort();
}

void AgwLink::ClearUnsent() {
    unsent_.clear();
    unsentHead_ = 0;
    retry_.stop();
}

qsizetype AgwLink::WaitingBytes() const {
    qsizetype bytes = -unsentHead_;
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
    while (WaitingBytes() > kMaxWaitingBytes) {
        const std::size_t oldest = unsentHead_ > 0 ? 1 : 0;
        unsent_.erase(unsent_.begin() + static_cast<std::ptrdiff_t>(oldest));
        ++dropped_;
    }
    Flush();
}

// The frame goes to the kernel in one send, here and now. The socket's own write path would
// raise SIGPIPE on a connection the engine has just dropped, which ends the process; MSG_NOSIGNAL
// turns that into an error that is simply ignored.
void AgwLink::Flush() {
    const auto fd = static_cast<int>(socket_->socketDescriptor());
    while (!unsent_.empty()) {
        const QByteArray& wire = unsent_.front();
        const ssize_t n = ::send(fd, wire.constData() + unsentHead_,
                                 static_cast<std::size_t>(wire.size() - unsentHead_),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            unsentHead_ += n;
            if (unsentHead_ < wire.size()) continue;
            unsent_.pop_front();
            unsentHead_ = 0;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            retry_.start(kRetryMs);
            return;
        } else {
            // Reset or closed by the engine: what is left is lost; the next frame reconnects.
            ClearUnsent();
            socket_->abort();
            return;
        }
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
    ClearUnsent();
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
