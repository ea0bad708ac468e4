// Garbage on the serial line of the running program: random bytes with random pauses, and
// telegram sets damaged the simulator's ways (bad checksum, split, gap, stray bytes after the
// burst, cut short, doubled), at the pace of a 9600-baud line. The program must keep running and
// decode every set that arrives whole with a quiet second before and after it; each of those
// sets has rain, so each decoded one leaves its line in the raw log, where the test finds it.
//
// OMBRIX_GARBAGE_SECONDS sets the length of the run (default 40), OMBRIX_GARBAGE_SEED the seed
// (default: from the clock, printed). tools/soak.sh runs it for ten minutes.
#include <QRandomGenerator>
#include <map>
#include <set>

#include "ombrix_process.h"
#include "tools/sim/bursts.h"
#include "tools/sim/station_values.h"
#include "tools/sim/weather_model.h"

using ombrix::Bytes;
using namespace ombrix::test;
namespace sim = ombrix::sim;

namespace {

constexpr int kQuietMs = 1500;  // before and after a set that must be decoded

// The sets in the raw logs of a folder: the nibbles of each line turned back into bytes.
std::multiset<Bytes> LoggedSets(const QString& folder) {
    std::multiset<Bytes> sets;
    for (const QFileInfo& file : QDir(folder).entryInfoList({"WX*.LOG"}, QDir::Files)) {
        for (const QByteArray& line : ReadFile(file.filePath()).split('\n')) {
            if (line.size() < 20 + 282) continue;
            Bytes set;
            for (int i = 20; i < 20 + 282; i += 2)
                set.push_back(static_cast<char>((line[i] - '0') | (line[i + 1] - '0') << 4));
            sets.insert(set);
        }
    }
    return sets;
}

// The station's end of the line, written at 960 bytes a second (9600 baud, 8N1).
class Line {
  public:
    explicit Line(PtyPair& pty) : pty_(pty) { quiet_.start(); }
    bool Write(const Bytes& bytes) {
        for (std::size_t at = 0; at < bytes.size(); at += 16) {
            const Bytes piece = bytes.substr(at, 16);
            if (!pty_.Send(piece)) return false;
            sent_ += piece.size();
            QThread::msleep(static_cast<unsigned long>(1000 * piece.size() / 960));
        }
        quiet_.start();
        return true;
    }
    static void Pause(double ms) {
        if (ms > 0) QThread::msleep(static_cast<unsigned long>(ms));
    }
    // Waits until the line has been quiet for so long.
    void QuietFor(int ms) { Pause(static_cast<double>(ms - quiet_.elapsed())); }
    std::size_t Sent() const { return sent_; }

  private:
    PtyPair& pty_;
    QElapsedTimer quiet_;
    std::size_t sent_ = 0;
};

}  // namespace

class LineGarbageTest : public QObject {
    Q_OBJECT

  private slots:
    void garbageAndSets() {
        int seconds = qEnvironmentVariableIntValue("OMBRIX_GARBAGE_SECONDS");
        if (seconds <= 0) seconds = 40;
        const quint64 seed = qEnvironmentVariableIsSet("OMBRIX_GARBAGE_SEED")
                                 ? qEnvironmentVariable("OMBRIX_GARBAGE_SEED").toULongLong()
                                 : QRandomGenerator::system()->generate64() % 1000000;
        qInfo("garbage for %d s, seed %llu (OMBRIX_GARBAGE_SEED)", seconds,
              static_cast<unsigned long long>(seed));

        OmbrixProcess ombrix;
        QVERIFY2(ombrix.Start(), "the program did not start");
        const long startKiB = ombrix.ResidentKiB();
        const int startFiles = ombrix.OpenFiles();
        Line line(ombrix.Pty());
        sim::Random random(seed);
        sim::WeatherModel weather(seed, sim::ToConsoleTime({2024, 6, 1, 14, 0, 0}));
        const sim::FaultKind faults[] = {sim::FaultKind::BadChecksum, sim::FaultKind::Split,
                                         sim::FaultKind::Gap,         sim::FaultKind::Noise,
                                         sim::FaultKind::Short,       sim::FaultKind::Double};
        std::multiset<Bytes> whole;  // sets that arrived whole between quiet seconds
        std::map<std::string, int> kinds;
        long long number = 0;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < seconds * 1000LL) {
            const double pick = random.Uniform();
            if (pick < 0.5) {
                // A set, rainy so that it is logged, undamaged or with one of the faults.
                weather.Advance(10 + 50 * random.Uniform());
                sim::StationValues values = weather.Station();
                values.Rain.Today = std::max(values.Rain.Today, 1 + static_cast<int>(number % 50));
                const Bytes set = sim::EncodeTelegramSet(values);
                std::vector<sim::Fault> fault;
                if (random.Uniform() < 0.6)
                    fault.push_back({faults[static_cast<std::size_t>(random.Uniform() * 6)], 1});
                const sim::BurstPlan plan = sim::PlanBurst(++number, set, fault, "set", random);
                ++kinds[plan.Kind];
                line.QuietFor(kQuietMs);
                for (const sim::Piece& piece : plan.Pieces) {
                    Line::Pause(piece.Delay * 1000);
                    QVERIFY(line.Write(piece.Data));
                }
                if (plan.Kind == "set" || plan.Kind == "split" || plan.Kind == "noise") {
                    whole.insert(set);
                    line.QuietFor(kQuietMs);
                }
            } else if (pick < 0.85) {
                // Raw noise: pieces of random bytes with pauses under and over a second.
                for (int i = 0, n = 1 + static_cast<int>(random.Uniform() * 4); i < n; ++i) {
                    Bytes noise(1 + static_cast<std::size_t>(random.Uniform() * 400), '\0');
                    for (char& c : noise) c = static_cast<char>(random.Uniform() * 256);
                    QVERIFY(line.Write(noise));
                    Line::Pause(random.Uniform() * 1500);
                }
                ++kinds["noise bytes"];
            } else {
                Line::Pause(random.Uniform() * 3000);
                ++kinds["pause"];
            }
            QVERIFY2(ombrix.Running(), "the program ended");
        }
        line.QuietFor(kQuietMs + 1000);

        QVERIFY2(ombrix.Running(), "the program ended");
        QVERIFY(AskStatus(ombrix.StatusPort()).Answered);
        const std::multiset<Bytes> logged = LoggedSets(ombrix.Path("wx"));
        QString summary;
        for (const auto& [kind, count] : kinds)
            summary += QString(" %1 %2,").arg(count).arg(kind.c_str());
        std::printf(
            "figures: %d s, %zu bytes on the line:%s %zu sets arrived whole, %zu logged; "
            "resident %ld KiB at the start, %ld KiB at the end; %d open files, then %d\n",
            seconds, line.Sent(), qPrintable(summary), whole.size(), logged.size(), startKiB,
            ombrix.ResidentKiB(), startFiles, ombrix.OpenFiles());
        std::fflush(stdout);
        // Every set that arrived whole was decoded once, and nothing else was.
        QVERIFY(!whole.empty());
        QVERIFY(logged == whole);
    }
};

QTEST_GUILESS_MAIN(LineGarbageTest)
#include "line_garbage_test.moc"
