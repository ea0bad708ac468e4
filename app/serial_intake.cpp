#include "app/serial_intake.h"

#include <sys/stat.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <utility>

namespace ombrix {

SerialIntake::SerialIntake(BurstHandler onBurst, QObject* parent)
    : QObject(parent), onBurst_(std::move(onBurst)) {
    // The default coarse timer may fire anywhere between 950 and 1050 ms.
    tmrPause_.setTimerType(Qt::PreciseTimer);
    tmrPause_.setInterval(kPauseMs);
    tmrPause_.setSingleShot(true);  // once per burst, restarted by every read
    connect(&tmrPause_, &QTimer::timeout, this, &SerialIntake::tmrPause_Timer);
    reopen_.setInterval(kReopenMs);
    connect(&reopen_, &QTimer::timeout, this, &SerialIntake::Reopen);
    connect(&port_, &QSerialPort::readyRead, this, &SerialIntake::MSComm1_OnComm);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialIntake::MSComm1_Error);
}

QString SerialIntake::DeviceForPortNumber(int portNumber) {
    if (portNumber < 1) return {};
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
}

QSerialPort::SerialPortError SerialIntake::Open(const QString& device) {
    if (port_.isOpen()) port_.close();
    device_ = device;
    port_.setPortName(device);
    port_.setBaudRate(QSerialPort::Baud9600);
    port_.setParity(QSerialPort::NoParity);
    port_.setDataBits(QSerialPort::Data8);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (port_.open(QIODevice::ReadOnly)) return QSerialPort::NoError;
    const QSerialPort::SerialPortError error = port_.error();
    return error == QSerialPort::NoError ? QSerialPort::UnknownError : error;
}

void SerialIntake::Close() {
    reopen_.stop();
    if (port_.isOpen()) port_.close();
}

void SerialIntake::ArmPauseTimer() {
    tmrPause_.start();
}

// Data received: the port reports once at least 10 characters wait. A smaller tail stays in the
// port until the pause timer reads it. Stray characters in a pause (fewer than 10, with the timer
// at rest) arm the timer too: left waiting, they would be glued to the front of the next burst
// and cost it.
void SerialIntake::MSComm1_OnComm() {
    if (port_.bytesAvailable() < kReceiveThreshold) {
        if (!tmrPause_.isActive()) tmrPause_.start();
        return;
    }
    tmrPause_.stop();
    tmrPause_.start();
    ReadWaiting();
}

// A device that vanished (a USB adapter pulled out) reports its error again and again while the
// port stays open: close it at once, and try the same device again every few seconds. What was
// gathered stays in the buffer for the pause timer, which rejects an unfinished burst by its
// length.
void SerialIntake::MSComm1_Error(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError) return;
    if (!port_.isOpen()) return;
    qWarning("Ombrix: %s: %s; die Schnittstelle wird geschlossen.", qUtf8Printable(device_),
             qUtf8Printable(SerialErrorText(error)));
    port_.close();
    linkLost_ = true;
    reopen_.start();
    emit LinkLost();
}

void SerialIntake::Reopen() {
    if (Open(device_) != QSerialPort::NoError) return;  // still gone: next attempt later
    reopen_.stop();
    linkLost_ = false;
    qInfo("Ombrix: %s ist wieder geöffnet.", qUtf8Printable(device_));
    emit LinkRestored();
}

void SerialIntake::tmrPause_Timer() {
    tmrPause_.stop();
    ReadWaiting();
    // The buffer is empty again whatever the decoder does with the burst.
    const Bytes burst = std::move(rxBuffer_);
    rxBuffer_.clear();
    if (burst.size() > kLongestDropped && onBurst_) onBurst_(burst);
}

void SerialIntake::ReadWaiting() {
    if (!port_.isOpen()) return;
    const QByteArray waiting = port_.readAll();
    const std::size_t room = kBufferLimit - std::min(kBufferLimit, rxBuffer_.size());
    rxBuffer_.append(waiting.constData(), std::min(room, static_cast<std::size_t>(waiting.size())));
}

std::pair<QString, QString> DescribeOpenFailure(QSerialPort::SerialPortError error,
                                                const QString& device, bool fromPortNumber,
                                                const QString& byIdFolder) {
    const QString setting =
        fromPortNumber ? QStringLiteral("„CommPortOmbrix“") : QStringLiteral("„CommDevice“");
    struct stat st {};
    if (::stat(QFile::encodeName(device).constData(), &st) == 0 &&
        (S_ISDIR(st.st_mode) || S_ISREG(st.st_mode)))
        return {QStringLiteral("Das Gerät ist keine serielle Schnittstelle"),
                QStringLiteral("Gerät: %1 ist %2 (Einstellung %3)")
                    .arg(device,
                         S_ISDIR(st.st_mode) ? QStringLiteral("ein Ordner")
                                             : QStringLiteral("eine gewöhnliche Datei"),
                         setting)};
    QString subject = QStringLiteral("Gerät: %1 (Einstellung %2)").arg(device, setting);
    if (error == QSerialPort::DeviceNotFoundError) {
        QStringList adapters;
        const QDir folder(byIdFolder);
        for (const QString& name :
             folder.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
            adapters << folder.absoluteFilePath(name);
        subject +=
            QStringLiteral(
                ". Ein USB-Adapter gehört mit seinem Namen unter %1 in die "
                "Einstellung „CommDevice“; ")
                .arg(byIdFolder) +
            (adapters.isEmpty() ? QStringLiteral("dort ist keiner angeschlossen.")
                                : QStringLiteral("angeschlossen: %1.").arg(adapters.join(", ")));
    }
    return {SerialErrorText(error), subject};
}

QString SerialErrorText(QSerialPort::SerialPortError error) {
    switch (error) {
        case QSerialPort::NoError:
            return QStringLiteral("Kein Fehler");
        case QSerialPort::DeviceNotFoundError:
            return QStringLiteral("Das Gerät existiert nicht");
        case QSerialPort::PermissionError:
            return QStringLiteral("Zugriff verweigert, oder das Gerät ist belegt");
        case QSerialPort::OpenError:
            return QStringLiteral("Die Schnittstelle ist bereits geöffnet");
        case QSerialPort::UnsupportedOperationError:
            return QStringLiteral("Die Einstellung 9600,N,8,1 wird nicht unterstützt");
        case QSerialPort::ReadError:
            return QStringLiteral("Lesefehler");
        case QSerialPort::ResourceError:
            return QStringLiteral("Das Gerät ist nicht mehr verfügbar");
        case QSerialPort::TimeoutError:
            return QStringLiteral("Zeitüberschreitung");
        case QSerialPort::NotOpenError:
            return QStringLiteral("Die Schnittstelle ist nicht geöffnet");
        default:
            return QStringLiteral("Die Schnittstelle kann nicht geöffnet werden");
    }
}

}  // namespace ombrix
