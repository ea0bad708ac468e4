// The serial line from the station console. Each burst of one telegram set is gathered into
// RxBuffer; a quiet period of one second ends it, and a buffer of more than 100 characters is
// handed on whole. The buffer is emptied at every expiry of the pause timer, so nothing carries
// over from one burst into the next.
//
// A device that vanishes while open (a USB adapter pulled out, the far end of a pseudo-terminal
// gone) is closed at once and tried again every five seconds until it opens; decoding then goes
// on with the next burst.
#pragma once

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>
#include <cstddef>
#include <functional>
#include <utility>

#include "station/bytes.h"

namespace ombrix {

class SerialIntake : public QObject {
    Q_OBJECT

  public:
    using BurstHandler = std::function<void(const Bytes& burst)>;

    static constexpr int kPauseMs = 1000;            // quiet period that ends a burst
    static constexpr qint64 kReceiveThreshold = 10;  // characters waiting before a read
    static constexpr std::size_t kLongestDropped = 100;
    // A burst this long is no telegram set any more; what comes beyond it is dropped so that a
    // line that never falls quiet cannot grow the buffer without end. The decoder still sees an
    // overlong buffer and rejects it by its length.
    static constexpr std::size_t kBufferLimit = 65536;
    static constexpr int kReopenMs =
        5000;  // from one attempt to reopen a vanished device to the next

    explicit SerialIntake(BurstHandler onBurst, QObject* parent = nullptr);

    // Port number n is the n-th serial port: /dev/ttyS<n-1>. Empty below 1.
    static QString DeviceForPortNumber(int portNumber);

    // Opens the device at 9600 baud, no parity, 8 data bits, 1 stop bit, no handshake. On
    // failure the port stays closed and the port's error is returned.
    QSerialPort::SerialPortError Open(const QString& device);
    // Closes the port for good: no attempt to reopen it follows.
    void Close();
    bool IsOpen() const { return port_.isOpen(); }
    QString Device() const { return device_; }
    // From the moment the open device vanished until it could be opened again.
    bool IsLinkLost() const { return linkLost_; }

    // Starts the pause timer; its first expiry finds the buffer empty and leaves it so.
    void ArmPauseTimer();
    bool PauseTimerActive() const { return tmrPause_.isActive(); }

    const Bytes& RxBuffer() const { return rxBuffer_; }
    void ClearRxBuffer() { rxBuffer_.clear(); }

  signals:
    void LinkLost();
    void LinkRestored();

  private:
    void MSComm1_OnComm();
    void MSComm1_Error(QSerialPort::SerialPortError error);
    void tmrPause_Timer();
    void ReadWaiting();
    void Reopen();

    BurstHandler onBurst_;
    QSerialPort port_;
    QTimer tmrPause_;
    QTimer reopen_;
    QString device_;
    bool linkLost_ = false;
    Bytes rxBuffer_;
};

// The German text for an error of the serial port.
QString SerialErrorText(QSerialPort::SerialPortError error);

// What start-up says of a device that did not open, description and subject, so that the user
// knows what to change: a folder or a plain file is no serial device; for a missing device the
// setting to change ("CommDevice") and the serial adapters that byIdFolder holds, by their stable
// names. fromPortNumber: the device came from "CommPortOmbrix", not from "CommDevice".
std::pair<QString, QString> DescribeOpenFailure(
    QSerialPort::SerialPortError error, const QString& device, bool fromPortNumber,
    const QString& byIdFolder = QStringLiteral("/dev/serial/by-id"));

}  // namespace ombrix
