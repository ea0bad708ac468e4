#include "aprsis/aprs_is_upload.h"

#include <QDateTime>

#include "report/ax25.h"
#include "uplink/aprs_is.h"

#ifndef OMBRIX_VERSION
#define OMBRIX_VERSION "0"
#endif

namespace ombrix {

namespace {

// A server line is short; more without a line end is not APRS-IS.
constexpr qsizetype kMaxLine = 512;

QString Shown(BytesView line) {
    return QString::fromLatin1(line.data(),
                               static_cast<qsizetype>(std::min<std::size_t>(line.size(), 40)));
}

}  // namespace

AprsIsUpload::AprsIsUpload(AprsIsSettings settings,
                           std::function<std::optional<double>(std::int64_t)> rainOfLastDay,
                           WarningSink warn, QObject* parent)
    : QObject(parent),
      settings_(std::move(settings)),
      rainOfLastDay_(std::move(rainOfLastDay)),
      warn_(std::move(warn)),
      transmit_(IsAssignedCallsign(settings_.Call)) {
    if (!transmit_)
        warn_("Ombrix: APRS-IS: kein eigenes Rufzeichen in „CallFrom“, es wird nichts gesendet.");
    interval_.setInterval(settings_.IntervalSeconds * 1000);
    connect(&interval_, &QTimer::timeout, this, [this] {
        if (sinceReading_.isValid() && sinceReading_.elapsed() <= settings_.SilenceMs) Upload();
    });
    limit_.setSingleShot(true);
    connect(&limit_, &QTimer::timeout, this, [this] {
        Finish(false, step_ == Step::Connecting ? QStringLiteral("keine Verbindung (Zeitlimit)")
                                                : QStringLiteral("keine Antwort (Zeitlimit)"));
    });
    connect(&socket_, &QTcpSocket::connected, this, [this] {
        step_ = Step::Banner;
        limit_.start(settings_.AnswerMs);
    });
    connect(&socket_, &QTcpSocket::readyRead, this, &AprsIsUpload::OnReadyRead);
    connect(&socket_, &QTcpSocket::disconnected, this, [this] {
        if (step_ == Step::Closing)
            Finish(true, {});
        else if (step_ != Step::Idle)
            Finish(false, QStringLiteral("Verbindung vom Server beendet"));
    });
    connect(&socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        if (step_ == Step::Idle || step_ == Step::Closing) return;
        switch (e) {
            case QAbstractSocket::ConnectionRefusedError:
                return Finish(false, QStringLiteral("Verbindung abgewiesen"));
            case QAbstractSocket::HostNotFoundError:
                return Finish(false, QStringLiteral("Server nicht gefunden"));
            case QAbstractSocket::RemoteHostClosedError:
                return Finish(false, QStringLiteral("Verbindung vom Server beendet"));
            default:
                return Finish(false, socket_.errorString());
        }
    });
}

AprsIsUpload::~AprsIsUpload() {
    Close();
}

void AprsIsUpload::Close() {
    interval_.stop();
    limit_.stop();
    step_ = Step::Idle;
    socket_.abort();
}

void AprsIsUpload::Reading(const StationReading& reading, std::int64_t utc) {
    if (reading.Source != SetSource::Station) return;
    latest_ = reading;
    latestUtc_ = utc;
    sinceReading_.start();
    if (reading.GustSpeed.State == QuantityState::Valid)
        gust_ = std::max(gust_.value_or(reading.GustSpeed.Value), reading.GustSpeed.Value);
    if (!interval_.isActive() && transmit_) {
        interval_.start();
        Upload();
    }
}

void AprsIsUpload::Upload() {
    if (!latest_ || step_ != Step::Idle) return;
    const std::optional<double> rain = rainOfLastDay_ ? rainOfLastDay_(latestUtc_) : std::nullopt;
    packet_ = AprsIsPacket(settings_.Call, settings_.Lage, latestUtc_,
                           UploadValuesOf(*latest_, gust_, rain));
    gust_.reset();
    ++sessions_;
    lastTried_ = QTime::currentTime();
    received_.clear();
    step_ = Step::Connecting;
    limit_.start(settings_.ConnectMs);
    socket_.connectToHost(settings_.Host, settings_.Port);
}

void AprsIsUpload::OnReadyRead() {
    received_ += socket_.readAll();
    for (qsizetype end = received_.indexOf('\n'); end >= 0 && step_ != Step::Idle;
         end = received_.indexOf('\n')) {
        QByteArray line = received_.left(end);
        received_.remove(0, end + 1);
        if (line.endsWith('\r')) line.chop(1);
        OnLine(BytesView(line.constData(), static_cast<std::size_t>(line.size())));
    }
    if (received_.size() > kMaxLine && step_ != Step::Idle)
        Finish(false, QStringLiteral("unerwartete Antwort (keine Zeilen)"));
}

void AprsIsUpload::OnLine(BytesView line) {
    const ServerLine kind = ClassifyServerLine(line);
    if (step_ == Step::Banner) {
        if (kind == ServerLine::Other) {
            Finish(false, QStringLiteral("unerwartete Antwort „%1“").arg(Shown(line)));
            return;
        }
        const Bytes login = AprsIsLogin(settings_.Call, settings_.Passcode, OMBRIX_VERSION);
        socket_.write(login.data(), static_cast<qint64>(login.size()));
        step_ = Step::Login;
        limit_.start(settings_.AnswerMs);
    } else if (step_ == Step::Login) {
        if (kind == ServerLine::Other) {
            Finish(false, QStringLiteral("unerwartete Antwort „%1“").arg(Shown(line)));
        } else if (kind == ServerLine::LoginAccepted) {
            const Bytes packet = packet_ + "\r\n";
            socket_.write(packet.data(), static_cast<qint64>(packet.size()));
            step_ = Step::Closing;
            limit_.start(settings_.AnswerMs);
            socket_.disconnectFromHost();  // after what is written has gone
        } else if (line.find("logresp") != BytesView::npos) {
            Finish(false, QStringLiteral("Anmeldung abgelehnt „%1“").arg(Shown(line)));
        }
    }
}

void AprsIsUpload::Finish(bool sent, const QString& why) {
    if (step_ == Step::Idle) return;
    step_ = Step::Idle;
    limit_.stop();
    socket_.abort();
    if (sent) lastSent_ = QTime::currentTime();
    const bool changed = sent_ != sent || (!sent && why != why_);
    sent_ = sent;
    why_ = why;
    if (changed) {
        const QString server = QStringLiteral("%1:%2").arg(settings_.Host).arg(settings_.Port);
        warn_(qUtf8Printable(
            sent ? QStringLiteral("Ombrix: APRS-IS: Bericht an %1 gesendet").arg(server)
                 : QStringLiteral("Ombrix: APRS-IS: %1: %2").arg(server, why)));
    }
    emit StateChanged();
}

QString AprsIsUpload::StateText() const {
    if (!transmit_) return QStringLiteral("APRS-IS aus (kein Rufzeichen)");
    if (!sent_) return QStringLiteral("APRS-IS: wartet auf Daten");
    const QString last =
        lastSent_.isValid() ? lastSent_.toString(QStringLiteral("HH:mm")) : QStringLiteral("–");
    if (*sent_) return QStringLiteral("APRS-IS gesendet %1").arg(last);
    if (!lastSent_.isValid()) return QStringLiteral("APRS-IS: ") + why_;
    return QStringLiteral("APRS-IS: %1 (zuletzt gesendet %2)").arg(why_, last);
}

}  // namespace ombrix
