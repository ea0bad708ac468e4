// The history window as the user meets it: what its charts hold for a small archive (one line
// per stretch without gaps, the direction dots on their compass axis, the rain bars and their
// total), a record appended live, the line shown instead of charts, and the opening from a row of
// the main window with that row's chart marked.
#include <QAbstractAxis>
#include <QAction>
#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChartView>
#include <QDateTime>
#include <QLabel>
#include <QLibrary>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <memory>

#include "database/archive_database.h"
#include "history/verlauf.h"
#include "window_rig.h"

using namespace ombrix;

namespace {

constexpr int kInterval = 300;

// Five-minute records ending `ago` intervals before the last whole interval, in that order; each
// with 0.5 mm of rain and wind from the east.
IntervalSums Record(int ago) {
    const std::int64_t now = QDateTime::currentSecsSinceEpoch() / kInterval * kInterval;
    IntervalSums s;
    s.DateTime = now - std::int64_t{ago} * kInterval;
    s.IntervalSeconds = kInterval;
    for (std::size_t i = 0; i < kMeanColumns; ++i) s.Means[i] = {10.0 + ago, 1};
    s.WindEast = 2;
    s.WindGust = 3;
    s.Rain = 0.5;
    s.SetCount = 1;
    return s;
}

QList<int> Counts(QChart* chart, const QString& name) {
    QList<int> counts;
    for (QAbstractSeries* s : chart->series())
        if (auto* line = qobject_cast<QLineSeries*>(s); line && line->name() == name)
            counts << static_cast<int>(line->count());
    return counts;
}

}  // namespace

class HistoryWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<Verlauf> window_;

    QString Path() const { return dir_.filePath("archive.sqlite"); }
    bool Write(const QList<int>& agos) {
        std::string error;
        auto db = ArchiveDatabase::Open(Path().toStdString(), error);
        bool ok = db != nullptr;
        for (int ago : agos) ok = ok && db->Write(Record(ago)).State == ArchiveDatabase::Status::Ok;
        return ok;
    }
    void Open(const QString& path) {
        auto make = reinterpret_cast<VerlaufFactory>(
            QLibrary(OMBRIX_HISTORY_MODULE).resolve(kVerlaufFactory));
        QVERIFY(make);
        window_.reset(make(path, kInterval));
        window_->show();
    }
    QChart* Chart(int i) {
        return window_->findChild<QChartView*>(QStringLiteral("Chart%1").arg(i))->chart();
    }

  private slots:
    void init() {
        QLocale::setDefault(QLocale::c());
        QFile::remove(Path());
    }
    void cleanup() { window_.reset(); }

    void lines_break_at_gaps_data() {
        QTest::addColumn<QList<int>>("agos");
        QTest::addColumn<QList<int>>("segments");
        QTest::newRow("one stretch") << QList<int>{3, 2, 1, 0} << QList<int>{4};
        QTest::newRow("one missing record") << QList<int>{4, 3, 1, 0} << QList<int>{2, 2};
        QTest::newRow("two gaps") << QList<int>{9, 8, 7, 4, 1, 0} << QList<int>{3, 1, 2};
    }
    void lines_break_at_gaps() {
        QFETCH(QList<int>, agos);
        QVERIFY(Write(agos));
        Open(Path());
        QFETCH(QList<int>, segments);
        QCOMPARE(Counts(Chart(0), "Temperatur außen"), segments);
        QCOMPARE(Counts(Chart(2), "Luftdruck NN"), segments);
        QCOMPARE(Counts(Chart(3), "Wind Spitzen"), segments);
    }

    // Wind from the east: dots at 90° on the compass axis, not a line.
    void directions_are_dots_on_the_compass() {
        QVERIFY(Write({2, 1, 0}));
        Open(Path());
        QScatterSeries* dots = nullptr;
        for (QAbstractSeries* s : Chart(3)->series())
            if (s->name() == "Windrichtung") dots = qobject_cast<QScatterSeries*>(s);
        QVERIFY(dots);
        QCOMPARE(dots->count(), 3);
        QCOMPARE(dots->at(0).y(), 90.0);
        QCategoryAxis* compass = nullptr;
        for (QAbstractAxis* axis : dots->attachedAxes())
            if (auto* c = qobject_cast<QCategoryAxis*>(axis)) compass = c;
        QVERIFY(compass);
        QCOMPARE(compass->max(), 360.0);
        QCOMPARE(compass->categoriesLabels().mid(0, 4), (QStringList{"N", "O", "S", "W"}));
    }

    // Six records of 0.5 mm: the hours' bars hold their sums, the total line ends at 3 mm.
    void rain_bars_and_total() {
        QVERIFY(Write({5, 4, 3, 2, 1, 0}));
        Open(Path());
        double barred = 0, total = 0;
        for (QAbstractSeries* s : Chart(4)->series()) {
            if (auto* bars = qobject_cast<QAreaSeries*>(s)) {
                const QList<QPointF> outline = bars->upperSeries()->points();
                for (qsizetype i = 1; i < outline.size(); i += 4) barred += outline[i].y();
            } else if (auto* line = qobject_cast<QLineSeries*>(s)) {
                total = line->points().last().y();
            }
        }
        QCOMPARE(barred, 3.0);
        QCOMPARE(total, 3.0);
    }

    void live_append_extends_the_line() {
        QVERIFY(Write({3, 2, 1}));
        Open(Path());
        QCOMPARE(Counts(Chart(2), "Luftdruck NN"), QList<int>{3});
        ArchiveRecord next = RecordOf(Record(0));
        window_->Append(next);
        QCOMPARE(Counts(Chart(2), "Luftdruck NN"), QList<int>{4});
    }

    void one_line_instead_of_charts_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QList<int>>("agos");
        QTest::addColumn<QString>("line");
        QTest::newRow("no archive") << QString() << QList<int>{} << "Kein Archiv";
        QTest::newRow("empty archive")
            << "archive.sqlite" << QList<int>{} << "noch keine Datensätze";
        QTest::newRow("nothing in the range")
            << "archive.sqlite" << QList<int>{400} << "Keine Datensätze von";
    }
    void one_line_instead_of_charts() {
        QFETCH(QString, path);
        QFETCH(QList<int>, agos);
        if (!path.isEmpty()) QVERIFY(Write(agos));
        Open(path.isEmpty() ? path : Path());
        const QLabel* message = window_->findChild<QLabel*>("Message");
        QVERIFY(message->isVisible());
        QFETCH(QString, line);
        QVERIFY2(message->text().contains(line), qPrintable(message->text()));
        QVERIFY(!message->text().contains('\n'));
    }

    // A double-click on the row "Luftdruck NN" opens the window with the pressure chart marked;
    // the context menu offers the same with its shortcut.
    void double_click_opens_the_rows_chart() {
        test::WindowRig rig;
        const QString failed = rig.Start();
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        QTest::mouseClick(rig.window->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        const QList<QTableWidgetItem*> rows =
            rig.Table()->findItems("Luftdruck NN", Qt::MatchExactly);
        QVERIFY(!rows.empty());
        rig.Table()->scrollToItem(rows[0]);
        const QRect cell = rig.Table()->visualItemRect(rows[0]);
        // A user's double-click: the first click, then the second, which Qt reports as such.
        QTest::mouseClick(rig.Table()->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(rig.Table()->viewport(), Qt::LeftButton, {}, cell.center());
        QWidget* history = nullptr;
        QVERIFY(QTest::qWaitFor([&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->objectName() == "Verlauf" && w->isVisible()) history = w;
            return history != nullptr;
        }));
        QCOMPARE(history->windowTitle(), QString("Ombrix – Verlauf"));
        QList<int> marked;
        for (int i = 0; i < 5; ++i)
            if (history->findChild<QChartView*>(QStringLiteral("Chart%1").arg(i))
                    ->chart()
                    ->backgroundBrush()
                    .color() != Qt::white)
                marked << i;
        QCOMPARE(marked, QList<int>{2});
        const QList<QAction*> menu = rig.Table()->actions();
        QCOMPARE(menu.size(), 1);
        QCOMPARE(menu[0]->text(), QString("Verlauf anzeigen"));
        QCOMPARE(menu[0]->shortcut(), QKeySequence("Ctrl+H"));
    }
};

QTEST_MAIN(HistoryWindowTest)
#include "history_window_test.moc"
