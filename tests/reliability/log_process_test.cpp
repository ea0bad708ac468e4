// The running program with logs it cannot write: "PfadWX" a file with "fehler.log" a folder, and
// "PfadWX" on a small tmpfs that is full (where the test may mount one). It keeps decoding,
// serves the status line and sends the report; each lost raw-log line leaves its error record in
// "fehler.log", or on standard error when "fehler.log" cannot take it either.
#include <sys/mount.h>

#include "ombrix_process.h"
#include "station/telegram_set.h"

using ombrix::TestTelegramSet;
using namespace ombrix::test;

class LogProcessTest : public QObject {
    Q_OBJECT

  private slots:
    void pfadWXAFileAndErrorLogAFolder() {
        OmbrixProcess ombrix;
        Engine engine;
        QVERIFY(QDir().mkpath(ombrix.Path("work/fehler.log")));
        QFile blocker(ombrix.Path("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QVERIFY(engine.Listen(ombrix.AgwPort()));
        QVERIFY2(ombrix.Start("PfadWX=" + blocker.fileName().toUtf8() + "/\n"),
                 "the program did not start");

        QVERIFY(ombrix.Pty().Send(TestTelegramSet()));
        QVERIFY2(ombrix.WaitForStatusLine(), "no status line");
        QVERIFY(QTest::qWaitFor([&] { return engine.received.contains(kTestSetReport); }, 10000));
        // The record of the lost line went to standard error: fehler.log is a folder.
        QVERIFY(QTest::qWaitFor(
            [&] { return ombrix.StandardError().contains("fehler.log kann nicht geschrieben"); },
            5000));
        QVERIFY2(ombrix.StandardError().contains("Err.Number: 76"),
                 ombrix.StandardError().constData());
        QVERIFY(QFileInfo(ombrix.Path("work/fehler.log")).isDir());
        QVERIFY(ombrix.Running());
    }

    void pfadWXOnAFullDisk() {
        OmbrixProcess ombrix;
        const QString disk = ombrix.Path("disk");
        QVERIFY(QDir().mkpath(disk));
        if (::mount("tmpfs", disk.toUtf8().constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                    "size=16k") != 0)
            QSKIP("cannot mount a tmpfs here");
        struct Unmount {
            QString path;
            ~Unmount() { ::umount2(path.toUtf8().constData(), MNT_DETACH); }
        } unmount{disk};
        // Full before the program starts.
        QFile filler(disk + "/filler");
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (filler.write(QByteArray(1024, 'f')) == 1024) {
        }
        filler.close();
        QVERIFY2(ombrix.Start("PfadWX=" + disk.toUtf8() + "/wx/\n"), "the program did not start");

        QVERIFY(ombrix.Pty().Send(TestTelegramSet()));
        QVERIFY2(ombrix.WaitForStatusLine(), "no status line");
        QVERIFY(QTest::qWaitFor(
            [&] { return ReadFile(ombrix.Path("work/fehler.log")).contains("Disk full"); }, 5000));
        // The file may have been made, but no torn line was left in it.
        const auto logs = [&] {
            return QDir(disk + "/wx").entryInfoList({"WX*.LOG"}, QDir::Files);
        };
        for (const QFileInfo& f : logs()) QCOMPARE(f.size(), 0);

        // Room again: the next set is logged, whole.
        QVERIFY(QFile::remove(disk + "/filler"));
        QTest::qWait(1500);
        QVERIFY(ombrix.Pty().Send(TestTelegramSet()));
        QVERIFY(QTest::qWaitFor(
            [&] { return !logs().isEmpty() && ReadFile(logs()[0].filePath()).endsWith("\r\n"); },
            10000));
        QCOMPARE(ReadFile(logs()[0].filePath()).count("\r\n"), 1);
        QVERIFY(ombrix.Running());
        QVERIFY(AskStatus(ombrix.StatusPort()).Answered);
    }
};

QTEST_GUILESS_MAIN(LogProcessTest)
#include "log_process_test.moc"
