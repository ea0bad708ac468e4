// A pair of linked pseudo-terminals made by socat: the program opens one end as its serial port,
// the test writes what the station would send into the other.
#pragma once

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <cerrno>
#include <string>

namespace ombrix::test {

class PtyPair {
  public:
    PtyPair() = default;
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;
    ~PtyPair() { Stop(); }

    // Starts socat and waits until both ends exist. Raw mode on both: no echo, no line-end
    // translation, no flow control characters.
    bool Start() {
        if (!dir_.isValid()) return false;
        socat_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        socat_.start("socat",
                     {"pty,raw,echo=0,link=" + Program(), "pty,raw,echo=0,link=" + Station()});
        if (!socat_.waitForStarted(5000)) return false;
        QDeadlineTimer deadline(10000);
        while (!(QFileInfo::exists(Program()) && QFileInfo::exists(Station()))) {
            if (deadline.hasExpired() || socat_.state() != QProcess::Running) return false;
            QThread::msleep(20);
        }
        return true;
    }

    // Ends socat; the program's end then reports that its device is gone.
    void Stop() {
        CloseStation();
        if (socat_.state() == QProcess::NotRunning) return;
        socat_.terminate();
        if (!socat_.waitForFinished(3000)) {
            socat_.kill();
            socat_.waitForFinished(3000);
        }
    }

    // The end that the program opens as its serial port.
    QString Program() const { return dir_.filePath("program"); }
    // The end on which the test plays the station.
    QString Station() const { return dir_.filePath("station"); }

    // Writes the bytes as the station would, all of them.
    bool Send(const std::string& bytes) {
        if (station_ < 0 && !OpenStation()) return false;
        std::size_t done = 0;
        QDeadlineTimer deadline(5000);
        while (done < bytes.size()) {
            const ssize_t n = ::write(station_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR) && !deadline.hasExpired()) {
                QTest::qWait(5);
            } else {
                return false;
            }
        }
        return true;
    }

  private:
    bool OpenStation() {
        const std::string path = Station().toStdString();
        station_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (station_ < 0) return false;
        termios tio{};
        if (::tcgetattr(station_, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(station_, TCSANOW, &tio);
        }
        return true;
    }
    void CloseStation() {
        if (station_ >= 0) ::close(station_);
        station_ = -1;
    }

    QTemporaryDir dir_;
    QProcess socat_;
    int station_ = -1;
};

}  // namespace ombrix::test
