// The built program as a process, offscreen: a set from the station on its pseudo-terminal
// becomes the status line on its status port and a line in the raw log (the report at the engine
// is the window test's);
// an error record that "fehler.log" cannot take goes to standard error; a device that is missing
// ends it with a message, after the defaults were written; the end signals close it as the window
// closes; --help and --version answer without a window.
#include <signal.h>

#include <QDateTime>
#include <QRegularExpression>
#include <QSettings>

#include "database/archive_database.h"
#include "ombrix_process.h"
#include "station/telegram_set.h"

using namespace ombrix::test;

static bool Matches(const QString& pattern, const QString& text) {
    return QRegularExpression(pattern).match(text).hasMatch();
}

class ProcessTest : public QObject {
    Q_OBJECT

  private slots:
    void stationSetToStatusLineRawLogAndReport() {
        OmbrixProcess ombrix;
        QVERIFY(QDir().mkpath(ombrix.Path("work/fehler.log")));  // a folder: records cannot go in
        QVERIFY2(ombrix.Start(), ombrix.StandardError().constData());
        QVERIFY(ombrix.Pty().Send(ombrix::TestTelegramSet()));
        const std::optional<QByteArray> status = ombrix.WaitForStatusLine();
        QVERIFY2(status, ombrix.StandardError().constData());
        QVERIFY2(Matches("^\\d\\d \\d\\d 9 7 8 0 1 9 205 10 194 1015 91$", *status),
                 status->constData());

        // It rained today: one line in this hour's raw log, with the report of the set.
        const QStringList logs = QDir(ombrix.Path("wx")).entryList({"WX*.LOG"}, QDir::Files);
        QCOMPARE(logs.size(), 1);
        QVERIFY2(Matches("^WX\\d{4}\\.\\d\\d\\.\\d\\d \\d\\d\\.LOG$", logs[0]),
                 qPrintable(logs[0]));
        const QByteArray line = ReadFile(ombrix.Path("wx/" + logs[0]));
        QVERIFY2(
            Matches("^\\d{4}\\.\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d \\?8[^\r\n]{280} r= 0 p= 1 " +
                        QRegularExpression::escape(kTestSetReport) + "\r\n$",
                    QString::fromLatin1(line)),
            line.constData());

        QCOMPARE(ombrix.StandardError(), QByteArray());

        // Sea-level pressure 40150 mb (nibble 149 is 4, the checksum mended) overflows: its record
        // goes to standard error as one line.
        ombrix::Bytes overflowing = ombrix::TestTelegramSet();
        overflowing[74] = '\x34';
        overflowing[99] = '\xE2';
        QVERIFY(ombrix.Pty().Send(overflowing));
        QVERIFY(QTest::qWaitFor([&] { return ombrix.StandardError().endsWith('\n'); }, 10000));
        QCOMPARE(ombrix.StandardError(),
                 "Ombrix: fehler.log kann nicht geschrieben werden: "
                 "Err.Number: 6; Err.Description: Overflow\n");
        QVERIFY(ombrix.Running());
    }

    // Run as a service, the status bar goes to the journal: each field once, and again only when
    // the state it tells changes (a second set, a rejected burst: none).
    void statusBarToTheJournal() {
        OmbrixProcess ombrix;
        ombrix.environment.insert("JOURNAL_STREAM", "8:4242");
        QVERIFY2(ombrix.Start(), ombrix.StandardError().constData());
        QVERIFY(ombrix.Pty().Send(ombrix::TestTelegramSet()));
        QVERIFY(ombrix.WaitForStatusLine());
        QTest::qWait(2000);
        QVERIFY(ombrix.Pty().Send(ombrix::TestTelegramSet()));
        QTest::qWait(2000);
        QVERIFY(ombrix.Pty().Send(ombrix::Bytes(101, '\x8f')));
        QTest::qWait(2000);
        const QStringList lines = QString::fromUtf8(ombrix.StandardError()).split('\n');
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[0], "Ombrix: Letzter Datensatz: – · abgewiesen: 0");
        QCOMPARE(lines[1], "Ombrix: AGWPE getrennt · letzte Meldung: –");
        QCOMPARE(lines[2], "Ombrix: Archiv OK");
        QVERIFY2(
            Matches("^Ombrix: Letzter Datensatz: \\d\\d:\\d\\d:\\d\\d · abgewiesen: 0$", lines[3]),
            qPrintable(lines[3]));
    }

    // A store that has no port number gets the defaults, even when the start then fails.
    void missingDeviceEndsWithMessage() {
        OmbrixProcess ombrix;
        QVERIFY(ombrix.Launch("[Optionen]\nCommDevice=/dev/ombrix-keine-station\n"));
        QVERIFY(ombrix.Process().waitForFinished(20000));
        QCOMPARE(ombrix.Process().exitStatus(), QProcess::NormalExit);
        QVERIFY(ombrix.Process().exitCode() != 0);
        const QString err = QString::fromUtf8(ombrix.StandardError());
        QVERIFY2(err.contains("Laufzeitfehler '8002'") && err.contains("/dev/ombrix-keine-station"),
                 qPrintable(err));

        QSettings store(ombrix.Path("config/Ombrix/Ombrix.conf"), QSettings::IniFormat);
        store.beginGroup("Optionen");
        QCOMPARE(store.value("CommPortOmbrix").toString(), "2");
        QCOMPARE(store.value("CommDevice").toString(), "/dev/ombrix-keine-station");
    }

    // As closing the window: the serial port's lock file goes, the archive gets the open interval.
    void endSignalsCloseLikeTheWindow() {
        for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
            OmbrixProcess ombrix;
            QVERIFY2(ombrix.Start(), ombrix.StandardError().constData());
            QVERIFY(ombrix.Pty().Send(ombrix::TestTelegramSet()));
            QVERIFY(ombrix.WaitForStatusLine());
            const QString lock = "/var/lock/LCK.." + ombrix.Pty().Program().replace('/', '_');
            QVERIFY2(QFile::exists(lock), qPrintable(lock));
            ::kill(static_cast<pid_t>(ombrix.Process().processId()), signal);
            QVERIFY(ombrix.Process().waitForFinished(10000));
            QCOMPARE(ombrix.Process().exitStatus(), QProcess::NormalExit);
            QVERIFY2(!QFile::exists(lock), qPrintable(lock));
            std::string error;
            const auto archive = ombrix::ArchiveDatabase::OpenReadOnly(
                ombrix.Path("data/Ombrix/archive.sqlite").toStdString(), error);
            QVERIFY2(archive, error.c_str());
            QCOMPARE(archive->RecordCount(), 1);
            QCOMPARE(archive->Last()->SetCount, 1);
        }
    }

    // With one-minute records the open one is written 5 s after its minute ends (no later set
    // came), while the program runs on.
    void intervalWrittenAfterItsEnd() {
        OmbrixProcess ombrix;
        QVERIFY2(ombrix.Start("ArchiveInterval=60\n"), ombrix.StandardError().constData());
        const qint64 sent = QDateTime::currentSecsSinceEpoch();
        QVERIFY(ombrix.Pty().Send(ombrix::TestTelegramSet()));
        std::optional<ombrix::ArchiveRecord> record;
        QVERIFY(QTest::qWaitFor(
            [&] {
                std::string error;
                const auto db = ombrix::ArchiveDatabase::OpenReadOnly(
                    ombrix.Path("data/Ombrix/archive.sqlite").toStdString(), error);
                if (db) record = db->Last();
                return record.has_value();
            },
            80000));
        QVERIFY(ombrix.Running());
        QVERIFY(record->DateTime > sent && record->DateTime <= sent + 64);
        QVERIFY(QDateTime::currentSecsSinceEpoch() >= record->DateTime + 5);
        QCOMPARE(record->Interval, 1);
        QCOMPARE(record->SetCount, 1);
    }

    void helpVersionAndUnknownOptionsOpenNoWindow() {
        const struct {
            const char* argument;
            int status;
            const char* stdoutHas;
            const char* stderrHas;
        } rows[] = {
            {"--help", 0, "usage: ombrix", ""},
            {"--version", 0, "ombrix ", ""},
            {"--frobnicate", 2, "", "ombrix: unknown option '--frobnicate'\nusage: ombrix"}};
        for (const auto& row : rows) {
            QTemporaryDir config;
            QProcess process;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("XDG_CONFIG_HOME", config.path());
            env.remove("DISPLAY");
            process.setProcessEnvironment(env);
            process.start(OMBRIX_BINARY, {row.argument});
            QVERIFY(process.waitForFinished(10000));
            QCOMPARE(process.exitCode(), row.status);
            QVERIFY(process.readAllStandardOutput().startsWith(row.stdoutHas));
            QVERIFY(process.readAllStandardError().startsWith(row.stderrHas));
            QVERIFY(QDir(config.path()).isEmpty());  // the settings untouched
        }
    }
};

QTEST_GUILESS_MAIN(ProcessTest)
#include "process_test.moc"
