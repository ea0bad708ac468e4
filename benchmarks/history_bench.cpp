// The history window on an archive (the ten-year one of `archive_bench --make FILE`), as the main
// window opens it: the module loaded, the window made with 24 hours and painted; then the year
// range, switches between the ranges, records appended live, and the resident memory with the
// year shown and after twenty switches. Each figure is the time until the charts are painted
// again. With --grab DIR it saves each range as a PNG instead (run under Xvfb to see the window
// as on a desktop).
//
//   history_bench --archive FILE [--grab DIR]   (records up to now are added to FILE first)
#include <QApplication>
#include <QChartView>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QLibrary>
#include <QPushButton>
#include <cstdio>
#include <memory>

#include "database/archive_database.h"
#include "history/verlauf.h"

namespace {

using ombrix::Verlauf;

// Counts the paint events of the charts.
class PaintCounter : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return QObject::eventFilter(watched, event);
    }
    long long paints = 0;
};

// Runs the event loop until the charts have been painted again (at most a few seconds).
double UntilPainted(const PaintCounter& counter, const QElapsedTimer& since) {
    const long long before = counter.paints;
    for (int i = 0; i < 1000 && counter.paints == before; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        // What the program's event loop does: the charts' removed items go (deleteLater).
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return static_cast<double>(since.nsecsElapsed()) / 1e6;
}

long RssKiB() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

QPushButton* Button(QWidget* window, const char* text) {
    for (QPushButton* b : window->findChildren<QPushButton*>())
        if (b->text() == QString::fromUtf8(text)) return b;
    return nullptr;
}

// The ten-year archive ends on a fixed day: records like its last one from there up to now, so
// that the range ending now has a day of records as at a running station.
bool FillToNow(const QString& archive) {
    std::string error;
    auto db = ombrix::ArchiveDatabase::Open(archive.toStdString(), error, false);
    std::optional<ombrix::ArchiveRecord> last = db ? db->Last() : std::nullopt;
    if (!last) {
        std::fprintf(stderr, "history_bench: %s\n",
                     error.empty() ? "empty archive" : error.c_str());
        return false;
    }
    using ombrix::MeanColumn;
    const std::pair<MeanColumn, std::optional<double>> means[] = {
        {MeanColumn::OutTemp, last->OutTemp},         {MeanColumn::InTemp, last->InTemp},
        {MeanColumn::OutHumidity, last->OutHumidity}, {MeanColumn::InHumidity, last->InHumidity},
        {MeanColumn::Dewpoint, last->Dewpoint},       {MeanColumn::Barometer, last->Barometer},
        {MeanColumn::Windchill, last->Windchill},     {MeanColumn::WindSpeed, last->WindSpeed}};
    const std::int64_t now = QDateTime::currentSecsSinceEpoch();
    for (std::int64_t t = last->DateTime + 300; t <= now; t += 300) {
        ombrix::IntervalSums s;
        s.DateTime = t;
        s.IntervalSeconds = 300;
        for (const auto& [column, value] : means)
            if (value)
                s.Means[static_cast<std::size_t>(column)] = {
                    *value + 0.1 * static_cast<double>(t / 300 % 7), 1};
        s.WindGust = last->WindGust;
        s.Rain = t / 300 % 12 == 0 ? 0.2 : 0.0;
        s.SetCount = 1;
        if (db->Write(s).State != ombrix::ArchiveDatabase::Status::Ok) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QString archive, grab;
    for (int i = 1; i + 1 < argc; i += 2)
        (QByteArray(argv[i]) == "--grab" ? grab : archive) = QString::fromLocal8Bit(argv[i + 1]);
    if (archive.isEmpty()) {
        std::fprintf(stderr, "usage: history_bench --archive FILE [--grab DIR]\n");
        return 2;
    }
    if (!FillToNow(archive)) return 2;
    PaintCounter counter;
    QElapsedTimer clock;
    clock.start();
    QLibrary module(QCoreApplication::applicationDirPath() + "/libombrix_history.so");
    auto make = reinterpret_cast<ombrix::VerlaufFactory>(module.resolve(ombrix::kVerlaufFactory));
    if (!make) {
        std::fprintf(stderr, "history_bench: %s\n", qPrintable(module.errorString()));
        return 2;
    }
    std::unique_ptr<Verlauf> window(make(archive, 300));
    for (QChartView* view : window->findChildren<QChartView*>())
        view->viewport()->installEventFilter(&counter);
    window->show();
    const double opened = UntilPainted(counter, clock);
    const char* const spans[] = {"24 Stunden", "7 Tage", "30 Tage", "1 Jahr"};
    if (!grab.isEmpty()) {
        // All five charts in the picture.
        window->resize(980, 1200);
        for (const char* span : spans) {
            Button(window.get(), span)->click();
            UntilPainted(counter, clock);
            const QString file = grab + "/verlauf-" + QString(span).split(' ')[0] + ".png";
            if (!window->grab().save(file)) return 1;
            std::printf("%s\n", qPrintable(file));
        }
        return 0;
    }
    const auto timed = [&](const char* span) {
        clock.restart();
        Button(window.get(), span)->click();
        return UntilPainted(counter, clock);
    };
    const double year = timed("1 Jahr");
    const long yearRss = RssKiB();
    double switches = 0;
    for (int i = 0; i < 20; ++i) switches += timed(spans[i % 4]);
    timed("1 Jahr");
    const long afterRss = RssKiB();
    // Appends to the 24 hours ending now, one five-minute record after the other.
    timed("24 Stunden");
    std::string error;
    auto db = ombrix::ArchiveDatabase::OpenReadOnly(archive.toStdString(), error);
    std::optional<ombrix::ArchiveRecord> last = db ? db->Last() : std::nullopt;
    if (!last) return 2;
    constexpr int kAppends = 50;  // the means of this many
    double appended = 0, held = 0;
    for (int i = 0; i < kAppends; ++i) {
        last->DateTime += 300;
        clock.restart();
        window->Append(*last);
        held += static_cast<double>(clock.nsecsElapsed()) / 1e6;
        appended += UntilPainted(counter, clock);
    }
    std::printf("opened with 24 hours, painted   %8.1f ms\n", opened);
    std::printf("year range, painted             %8.1f ms\n", year);
    std::printf("range switch, mean of 20        %8.1f ms\n", switches / 20);
    std::printf("live append, in the series      %8.2f ms\n", held / kAppends);
    std::printf("live append, painted            %8.2f ms\n", appended / kAppends);
    std::printf("RSS with the year shown         %8.1f MB\n", yearRss / 1024.0);
    std::printf("RSS after twenty switches       %8.1f MB\n", afterRss / 1024.0);
    return 0;
}
