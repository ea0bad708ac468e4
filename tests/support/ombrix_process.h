// The built program as a process: offscreen, its settings in a temporary XDG_CONFIG_HOME, the
// serial port on a socat pseudo-terminal pair, the AGWPE engine and the status server on free
// loopback ports (nobody listens on the engine's port unless a test makes an engine), and what
// /proc tells about it. Needs OMBRIX_BINARY.
#pragma once

#include <QDir>
#include <QProcess>
#include <QThread>
#include <optional>

#include "qt_support.h"

namespace ombrix::test {

class OmbrixProcess {
  public:
    ~OmbrixProcess() { Stop(); }

    // Writes the settings (a whole [Optionen] section) and starts the program; its working
    // folder, where "fehler.log" goes, is Path("work").
    bool Launch(const QByteArray& settings) {
        QFile conf(Path("config/Ombrix/Ombrix.conf"));
        if (!QDir().mkpath(Path("config/Ombrix")) || !QDir().mkpath(Path("work")) ||
            !conf.open(QIODevice::WriteOnly) || conf.write(settings) != settings.size())
            return false;
        conf.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const auto& [key, value] :
             {std::pair<QString, QString>{"QT_QPA_PLATFORM", "offscreen"},
              {"XDG_CONFIG_HOME", Path("config")},
              {"XDG_DATA_HOME", Path("data")},
              {"XDG_RUNTIME_DIR", dir_.path()},
              {"LC_ALL", "C.UTF-8"},
              {"OMBRIX_NO_DIALOGS", "1"}})
            env.insert(key, value);
        env.remove("JOURNAL_STREAM");  // a test run from a service would write the journal's lines
        env.insert(environment);
        process_.setProcessEnvironment(env);
        process_.setWorkingDirectory(Path("work"));
        // Into files: a pipe that nobody reads while a test blocks would stop the program.
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.setStandardErrorFile(Path("stderr.log"));
        process_.start(OMBRIX_BINARY, {});
        return process_.waitForStarted(20000);
    }

    // Starts it as the test station, with extra settings lines (a later line for a key wins);
    // true once the status server answers (with nothing: no set decoded yet).
    bool Start(const QByteArray& extra = {}) {
        if (!dir_.isValid() || !pty_.Start()) return false;
        const QByteArray settings =
            StationSettings(Path("wx/"), pty_.Program(), agwPort_, statusPort_) + extra;
        return Launch(settings) &&
               QTest::qWaitFor(
                   [&] { return !Running() || AskStatus(statusPort_, false, 1000).Answered; },
                   30000) &&
               Running();
    }

    void Stop() {
        pty_.Stop();
        EndProcess(process_, 10000);
    }

    bool Running() const { return process_.state() == QProcess::Running; }
    QProcess& Process() { return process_; }
    QString Path(const QString& name) const { return dir_.filePath(name); }
    PtyPair& Pty() { return pty_; }
    quint16 StatusPort() const { return statusPort_; }
    QByteArray StandardError() const { return ReadFile(Path("stderr.log")); }

    // The status line, once the status server serves one (after a decoded set).
    std::optional<QByteArray> WaitForStatusLine(int ms = 20000) {
        std::optional<QByteArray> line;
        (void)QTest::qWaitFor(
            [&] {
                const StatusReply r = AskStatus(statusPort_, false, 1000);
                if (r.Answered && !r.Text.isEmpty()) line = r.Text;
                return line || !Running();
            },
            ms);
        return line;
    }

    int OpenFiles() const {
        return static_cast<int>(
            QDir(QString("/proc/%1/fd").arg(process_.processId()))
                .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                .size());
    }
    // Waits (bounded) until the open files are back to `count`; the last count seen.
    int WaitForOpenFiles(int count) const {
        int now = OpenFiles();
        for (QDeadlineTimer deadline(10000); now != count && !deadline.hasExpired();
             now = OpenFiles())
            QThread::msleep(20);
        return now;
    }

    // More variables for the program, set before Start or Launch.
    QProcessEnvironment environment;

  private:
    QTemporaryDir dir_;
    PtyPair pty_;
    QProcess process_;
    quint16 statusPort_ = FreePort();
    quint16 agwPort_ = FreePort();
};

}  // namespace ombrix::test
