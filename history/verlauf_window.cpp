// The history window: five stacked charts of the archive on one local time axis, for 24 hours, 7
// days, 30 days or a year, with a cursor that reads every series at the time under the pointer.
// A line is one series per stretch without gaps, so that no line crosses a time without records.
#include <QAreaSeries>
#include <QButtonGroup>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QDateTime>
#include <QEvent>
#include <QGraphicsLineItem>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPushButton>
#include <QScatterSeries>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>

#include "archive/history.h"
#include "database/archive_database.h"
#include "history/verlauf.h"

namespace ombrix {

namespace {

enum ChartIndex { kTemperature, kHumidity, kPressure, kWind, kRain, kCharts };

struct SpanChoice {
    HistorySpan Span;
    const char* Label;
};
constexpr SpanChoice kSpans[] = {
    {HistorySpan::Day, "24 Stunden"},
    {HistorySpan::Week, "7 Tage"},
    {HistorySpan::Month, "30 Tage"},
    {HistorySpan::Year, "1 Jahr"},
};

// German names whatever the system's language: the window's texts are German.
constexpr const char* kWeekdays[] = {"Mo", "Di", "Mi", "Do", "Fr", "Sa", "So"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mär", "Apr", "Mai", "Jun",
                                   "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"};

QString Weekday(const QDate& date) {
    return QString::fromUtf8(kWeekdays[date.dayOfWeek() - 1]);
}

// The plot areas of all charts share their left and right edges, so that one time is one x
// everywhere: room for the value labels and for a second axis with its title on either side,
// the title above and the time labels and the legend below.
constexpr int kPlotLeft = 64, kPlotRight = 72, kPlotTop = 30, kPlotBottom = 64;

struct Tick {
    qint64 Ms;
    QString Label;
};

// The time axis' labels at round local times within (from, to]: every third hour on a day, the
// weekdays on a week, every fifth date on a month, the months on a year. Local days and hours
// come from the zone's rules, so a DST day has 23 or 25 hours of them.
QList<Tick> TicksOf(HistorySpan span, std::int64_t from, std::int64_t to) {
    QList<Tick> ticks;
    const QDate last = QDateTime::fromSecsSinceEpoch(to).date();
    for (QDate d = QDateTime::fromSecsSinceEpoch(from).date(); d <= last; d = d.addDays(1)) {
        QList<QDateTime> times;
        if (span == HistorySpan::Day)
            for (int h = 0; h < 24; h += 3) times << QDateTime(d, QTime(h, 0));
        else if (span == HistorySpan::Week ||
                 (span == HistorySpan::Month && d.day() % 5 == 1 && d.day() < 30) || d.day() == 1)
            times << QDateTime(d, QTime(0, 0));
        for (const QDateTime& t : times) {
            const std::int64_t secs = t.toSecsSinceEpoch();
            if (secs <= from || secs > to) continue;
            QString label = span == HistorySpan::Day    ? t.toString("HH:mm")
                            : span == HistorySpan::Week ? Weekday(d) + t.toString(" dd.MM.")
                            : span == HistorySpan::Month
                                ? t.toString("dd.MM.")
                                : QString::fromUtf8(kMonths[d.month() - 1]) +
                                      (d.month() == 1 ? t.toString(" yyyy") : QString());
            // The axis takes each label once: the hour that a DST night has twice gets a mark
            // that does not show.
            while (std::any_of(ticks.begin(), ticks.end(),
                               [&](const Tick& k) { return k.Label == label; }))
                label += QChar(0x200B);
            ticks.append({secs * 1000, label});
        }
    }
    return ticks;
}

constexpr const char* kChartTitles[kCharts] = {"Temperatur (°C)", "Luftfeuchte (%)",
                                               "Luftdruck NN (mb)", "Wind (km/h)", "Regen (mm)"};

// The chart a row of the main window's table belongs to.
ChartIndex ChartOf(const QString& quantity) {
    if (quantity.startsWith("Luftfeuchte")) return kHumidity;
    if (quantity.startsWith("Luftdruck")) return kPressure;
    if (quantity.startsWith("Wind")) return kWind;
    if (quantity.startsWith("Regen")) return kRain;
    return kTemperature;
}

qint64 Ms(std::int64_t utc) {
    return utc * 1000;
}

// The values an axis has to show.
struct Bounds {
    double Low = std::numeric_limits<double>::infinity();
    double High = -std::numeric_limits<double>::infinity();
    void Add(double v) {
        Low = std::min(Low, v);
        High = std::max(High, v);
    }
    void Add(const std::vector<ChartPoint>& segment) {
        for (const ChartPoint& p : segment) Add(p.Value);
    }
    // The range on the axis, a little wider than the values, and something sensible without any.
    // At most four steps of 1, 2, 2.5 or 5 times a power of ten, so that the labels of a low
    // chart still fit; rain starts at zero, its bars stand on the axis.
    void SetOn(QValueAxis* axis, bool fromZero = false) const {
        double low = Low > High ? 0 : fromZero ? 0 : Low, high = Low > High ? 1 : High;
        if (high - low < 1) high = low + 1;
        const double unit = std::pow(10.0, std::floor(std::log10((high - low) / 4)));
        double step = unit;
        for (double f : {1.0, 2.0, 2.5, 5.0, 10.0})
            if ((step = f * unit) * 4 >= high - low) break;
        low = std::floor(low / step) * step;
        high = std::max(low + step, std::ceil(high / step) * step);
        axis->setRange(low, high);
        axis->setTickType(QValueAxis::TicksDynamic);
        axis->setTickAnchor(low);
        axis->setTickInterval(step);
    }
};

// One quantity on a chart: its segments, drawn in one colour, read by the cursor.
struct Line {
    QString Name;
    QString Unit;
    const Segments* Data;
    QColor Colour;
    bool RightAxis = false;
};

class VerlaufWindow : public Verlauf {
  public:
    VerlaufWindow(const QString& archivePath, int intervalSeconds)
        : interval_(intervalSeconds), locale_() {
        // The table's numbers: its decimal separator, no thousands' separator (1013,5 mb).
        locale_.setNumberOptions(QLocale::OmitGroupSeparator);
        setWindowTitle(QStringLiteral("Ombrix – Verlauf"));
        setObjectName("Verlauf");
        auto* layout = new QVBoxLayout(this);
        auto* controls = new QHBoxLayout;
        layout->addLayout(controls);
        auto* spans = new QButtonGroup(this);
        for (int i = 0; i < int(std::size(kSpans)); ++i) {
            auto* button = new QPushButton(kSpans[i].Label, this);
            button->setCheckable(true);
            button->setChecked(i == 0);
            spans->addButton(button, i);
            controls->addWidget(button);
        }
        connect(spans, &QButtonGroup::idClicked, this, [this](int id) {
            span_ = id;
            steps_ = 0;
            Load();
        });
        for (const auto& [text, step] :
             {std::pair{"◀ früher", -1}, {"später ▶", 1}, {"jetzt", 0}}) {
            auto* button = new QPushButton(QString::fromUtf8(text), this);
            button->setObjectName(step < 0 ? "Earlier" : step > 0 ? "Later" : "Now");
            connect(button, &QPushButton::clicked, this, [this, s = step] {
                steps_ = s == 0 ? 0 : std::min(0, steps_ + s);
                Load();
            });
            controls->addWidget(button);
        }
        controls->addStretch();
        for (QCheckBox** box : {&inTemp_, &inHumidity_}) {
            *box = new QCheckBox(box == &inTemp_ ? "Temperatur innen" : "Luftfeuchte innen", this);
            connect(*box, &QCheckBox::toggled, this, [this] { Draw(); });
            controls->addWidget(*box);
        }
        range_ = new QLabel(this);
        range_->setObjectName("Range");
        cursor_ = new QLabel(this);
        cursor_->setObjectName("Cursor");
        cursor_->setWordWrap(true);
        layout->addWidget(range_);
        layout->addWidget(cursor_);

        pages_ = new QStackedWidget(this);
        message_ = new QLabel(this);
        message_->setObjectName("Message");
        message_->setAlignment(Qt::AlignCenter);
        message_->setWordWrap(true);
        pages_->addWidget(message_);
        scroll_ = new QScrollArea(this);
        scroll_->setWidgetResizable(true);
        auto* charts = new QWidget(scroll_);
        auto* stack = new QVBoxLayout(charts);
        stack->setContentsMargins(0, 0, 0, 0);
        for (int c = 0; c < kCharts; ++c) {
            auto* chart = new QChart;
            chart->setTitle(kChartTitles[c]);
            chart->setLocale(locale_);
            chart->setLocalizeNumbers(true);
            chart->legend()->setAlignment(Qt::AlignBottom);
            chart->setMargins(QMargins(4, 2, 4, 2));
            connect(chart, &QChart::geometryChanged, chart, [chart] {
                const QSizeF size = chart->size();
                chart->setPlotArea(QRectF(kPlotLeft, kPlotTop,
                                          size.width() - kPlotLeft - kPlotRight,
                                          size.height() - kPlotTop - kPlotBottom));
            });
            times_[c] = new QCategoryAxis;
            times_[c]->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
            chart->addAxis(times_[c], Qt::AlignBottom);
            values_[c] = new QValueAxis;
            values_[c]->setLabelFormat(c == kPressure ? "%.0f" : "%.1f");
            chart->addAxis(values_[c], Qt::AlignLeft);
            if (c == kRain) {
                rainTotal_ = new QValueAxis;
                rainTotal_->setLabelFormat("%.1f");
                rainTotal_->setTitleText("gesamt");
                chart->addAxis(rainTotal_, Qt::AlignRight);
            }
            if (c == kWind) {
                compass_ = new QCategoryAxis;
                compass_->setStartValue(-1);
                for (const auto& [label, degrees] :
                     {std::pair{"N", 0}, {"O", 90}, {"S", 180}, {"W", 270}, {"N ", 360}})
                    compass_->append(label, degrees);
                compass_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
                compass_->setRange(0, 360);
                compass_->setTitleText("Richtung");
                chart->addAxis(compass_, Qt::AlignRight);
            }
            views_[c] = new QChartView(chart, charts);
            views_[c]->setObjectName(QStringLiteral("Chart%1").arg(c));
            views_[c]->setRenderHint(QPainter::Antialiasing);
            views_[c]->setMinimumHeight(210);
            views_[c]->viewport()->installEventFilter(this);
            views_[c]->viewport()->setMouseTracking(true);
            cursorLines_[c] = new QGraphicsLineItem(chart);
            cursorLines_[c]->setPen(QPen(Qt::darkGray, 1, Qt::DashLine));
            cursorLines_[c]->setZValue(100);
            cursorLines_[c]->hide();
            stack->addWidget(views_[c]);
        }
        scroll_->setWidget(charts);
        pages_->addWidget(scroll_);
        layout->addWidget(pages_, 1);

        resize(980, 1000);
        if (const QScreen* s = screen())
            resize(size().boundedTo(s->availableGeometry().size() - QSize(8, 36)));

        if (archivePath.isEmpty()) {
            Say(
                QStringLiteral("Kein Archiv: die Einstellung „ArchivePath“ ist leer, es wird "
                               "nichts aufgezeichnet."));
            return;
        }
        std::string error;
        database_ = ArchiveDatabase::OpenReadOnly(archivePath.toStdString(), error, 50);
        if (!database_) {
            Say(QStringLiteral("Das Archiv kann nicht gelesen werden: %1")
                    .arg(QString::fromStdString(error)));
            return;
        }
        Load();
    }

    void ShowQuantity(const QString& name) override {
        marked_ = ChartOf(name);
        if (name == "Temperatur innen") inTemp_->setChecked(true);
        if (name == "Luftfeuchte innen") inHumidity_->setChecked(true);
        for (int c = 0; c < kCharts; ++c)
            views_[c]->chart()->setBackgroundBrush(c == marked_ ? QColor(255, 248, 214)
                                                                : QColor(Qt::white));
        scroll_->ensureWidgetVisible(views_[marked_], 0, 0);
    }

    void Append(const ArchiveRecord& record) override {
        if (!database_ || steps_ != 0) return;
        if (view_.Empty) {
            Load();
            return;
        }
        AppendToHistory(view_, record, interval_);
        Draw(true);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseMove) {
            for (int c = 0; c < kCharts; ++c)
                if (watched == views_[c]->viewport())
                    Hover(c, static_cast<QMouseEvent*>(event)->position());
        } else if (event->type() == QEvent::Leave) {
            for (QGraphicsLineItem* line : cursorLines_) line->hide();
        }
        return QWidget::eventFilter(watched, event);
    }

  private:
    void Say(const QString& text) {
        message_->setText(text);
        pages_->setCurrentWidget(message_);
    }

    // Reads the range from the archive and draws it.
    void Load() {
        if (!database_) return;
        const std::int64_t now = QDateTime::currentSecsSinceEpoch();
        const HistoryRange range = RangeOf(kSpans[span_].Span, now, interval_, steps_);
        view_ = BuildHistory(database_->ReadHistory(range), range, interval_);
        const QString from = QDateTime::fromSecsSinceEpoch(range.From).toString("dd.MM.yyyy HH:mm");
        const QString to = QDateTime::fromSecsSinceEpoch(range.To).toString("dd.MM.yyyy HH:mm");
        range_->setText(QStringLiteral("%1 – %2").arg(from, to));
        if (!view_.Empty) {
            pages_->setCurrentWidget(scroll_);
            Draw();
        } else if (database_->RecordCount() == 0) {
            Say(QStringLiteral("Das Archiv hat noch keine Datensätze."));
        } else {
            Say(QStringLiteral("Keine Datensätze von %1 bis %2.").arg(from, to));
        }
    }

    QList<Line> LinesOf(int chart) const {
        switch (chart) {
            case kTemperature: {
                QList<Line> lines = {
                    {"Temperatur außen", "°C", &view_.OutTemp, QColor(200, 40, 40)},
                    {"Taupunkt außen", "°C", &view_.Dewpoint, QColor(40, 110, 200)},
                    {"gefühlte Temp.", "°C", &view_.Windchill, QColor(120, 60, 160)}};
                if (inTemp_->isChecked())
                    lines.append({"Temperatur innen", "°C", &view_.InTemp, QColor(230, 140, 20)});
                return lines;
            }
            case kHumidity: {
                QList<Line> lines = {
                    {"Luftfeuchte außen", "%", &view_.OutHumidity, QColor(20, 130, 120)}};
                if (inHumidity_->isChecked())
                    lines.append(
                        {"Luftfeuchte innen", "%", &view_.InHumidity, QColor(150, 150, 40)});
                return lines;
            }
            case kPressure:
                return {{"Luftdruck NN", "mb", &view_.Barometer, QColor(60, 60, 60)}};
            case kWind:
                return {{"Wind Mittel", "km/h", &view_.WindSpeed, QColor(40, 110, 200)},
                        {"Wind Spitzen", "km/h", &view_.WindGust, QColor(200, 40, 40)}};
            default:
                return {{"Regen gesamt", "mm", &view_.RainTotal, QColor(20, 60, 160), true}};
        }
    }

    // Draws the view. With `refill` (a record appended) the series drawn last are filled again
    // in the order they were made, which costs a fraction of making them; a change in their
    // number (a line that broke or joined) makes them anew.
    void Draw(bool refill = false) {
        const QList<Tick> ticks = TicksOf(kSpans[span_].Span, view_.Range.From, view_.Range.To);
        QStringList labels;
        for (const Tick& tick : ticks) labels << tick.Label;
        for (int c = 0; c < kCharts; ++c) {
            QChart* chart = views_[c]->chart();
            QCategoryAxis* time = times_[c];
            if (time->categoriesLabels() != labels) {
                for (const QString& label : time->categoriesLabels()) time->remove(label);
                for (const Tick& tick : ticks)
                    time->append(tick.Label, static_cast<qreal>(tick.Ms));
            }
            time->setStartValue(static_cast<qreal>(Ms(view_.Range.From)));
            time->setRange(static_cast<qreal>(Ms(view_.Range.From)),
                           static_cast<qreal>(Ms(view_.Range.To)));
            if (refill) {
                drawn_ = chart->series();
                next_ = 0;
                missing_ = false;
                Fill(c);
                if (!missing_ && next_ == drawn_.size()) continue;
            }
            chart->removeAllSeries();
            drawn_.clear();
            Fill(c);
        }
    }

    // The series of one chart, and its value axes' ranges.
    void Fill(int c) {
        QChart* chart = views_[c]->chart();
        QCategoryAxis* time = times_[c];
        {
            Bounds left, total;
            if (c == kRain) {
                DrawRainBars(chart, time, values_[c], left);
                left.Add(0);
                total.Add(0);
            }
            if (c == kTemperature && view_.Range.Size != BucketSize::Record)
                DrawBand(chart, time, values_[c], left);
            for (const Line& line : LinesOf(c))
                DrawLine(chart, line, time, line.RightAxis ? rainTotal_ : values_[c],
                         line.RightAxis ? total : left);
            if (c == kWind) DrawDirections(chart, time);
            left.SetOn(values_[c], c == kRain);
            if (c == kRain) total.SetOn(rainTotal_, true);
        }
    }

    // The next series drawn last, when it is of the type and name that come next; else it is
    // noted that they do not fit.
    template <class Series>
    Series* Drawn(const QString& name) {
        if (next_ < drawn_.size())
            if (auto* s = qobject_cast<Series*>(drawn_[next_]); s && s->name() == name) {
                ++next_;
                return s;
            }
        missing_ = true;
        return nullptr;
    }

    static QList<QPointF> PointsOf(const std::vector<ChartPoint>& segment) {
        QList<QPointF> points;
        points.reserve(static_cast<qsizetype>(segment.size()));
        for (const ChartPoint& p : segment) points.append(QPointF(Ms(p.Time), p.Value));
        return points;
    }

    // The lowest and highest temperature of each hour or day, as a band behind the lines.
    void DrawBand(QChart* chart, QAbstractAxis* x, QValueAxis* y, Bounds& bounds) {
        const QString name = QStringLiteral("Temperatur außen min–max");
        for (std::size_t s = 0; s < view_.OutTempMin.size() && s < view_.OutTempMax.size(); ++s) {
            QAreaSeries* band = Drawn<QAreaSeries>(name);
            if (!band) {
                auto* upper = new QLineSeries;
                auto* lower = new QLineSeries;
                band = new QAreaSeries(upper, lower);
                // An area series does not own its edges.
                upper->setParent(band);
                lower->setParent(band);
                band->setName(name);
                band->setColor(QColor(200, 40, 40, 50));
                band->setBorderColor(Qt::transparent);
                Attach(chart, band, x, y, s == 0);
            }
            band->upperSeries()->replace(PointsOf(view_.OutTempMax[s]));
            band->lowerSeries()->replace(PointsOf(view_.OutTempMin[s]));
            bounds.Add(view_.OutTempMin[s]);
            bounds.Add(view_.OutTempMax[s]);
        }
    }

    void DrawLine(QChart* chart, const Line& line, QAbstractAxis* x, QValueAxis* y,
                  Bounds& bounds) {
        bool first = true;
        for (const std::vector<ChartPoint>& segment : *line.Data) {
            QLineSeries* series = Drawn<QLineSeries>(line.Name);
            if (!series) {
                series = new QLineSeries;
                series->setName(line.Name);
                series->setPen(QPen(line.Colour, 1.6));
                Attach(chart, series, x, y, first);
            }
            series->replace(PointsOf(segment));
            bounds.Add(segment);
            first = false;
        }
    }

    // The mean direction as dots on a second axis, 0–360° with the four points of the compass.
    void DrawDirections(QChart* chart, QAbstractAxis* x) {
        const QString name = QStringLiteral("Windrichtung");
        QScatterSeries* dots = Drawn<QScatterSeries>(name);
        if (!dots) {
            dots = new QScatterSeries;
            dots->setName(name);
            dots->setColor(QColor(30, 140, 60));
            dots->setBorderColor(Qt::transparent);
            Attach(chart, dots, x, compass_, true);
        }
        dots->setMarkerSize(view_.WindDir.size() > 500 ? 3 : 5);
        dots->replace(PointsOf(view_.WindDir));
    }

    // Bars of the rain per hour or per day, drawn as steps down to zero.
    void DrawRainBars(QChart* chart, QAbstractAxis* x, QValueAxis* y, Bounds& bounds) {
        QList<QPointF> outline;
        for (const RainBar& bar : view_.Rain) {
            const qint64 start = Ms(bar.Start) + 1, end = Ms(bar.End) - 1;
            outline << QPointF(start, 0) << QPointF(start, bar.Millimetres)
                    << QPointF(end, bar.Millimetres) << QPointF(end, 0);
            bounds.Add(bar.Millimetres);
        }
        const QString name = view_.Range.To - view_.Range.From <= 7 * 86400
                                 ? QStringLiteral("Regen je Stunde")
                                 : QStringLiteral("Regen je Tag");
        QAreaSeries* bars = Drawn<QAreaSeries>(name);
        if (!bars) {
            auto* upper = new QLineSeries;
            bars = new QAreaSeries(upper);
            upper->setParent(bars);
            bars->setName(name);
            bars->setColor(QColor(60, 120, 220, 150));
            bars->setBorderColor(QColor(60, 120, 220));
            Attach(chart, bars, x, y, true);
        }
        bars->upperSeries()->replace(outline);
    }

    // Adds a series on its axes; only the first of a quantity's segments shows in the legend.
    void Attach(QChart* chart, QAbstractSeries* series, QAbstractAxis* x, QAbstractAxis* y,
                bool inLegend) {
        chart->addSeries(series);
        series->attachAxis(x);
        series->attachAxis(y);
        if (!inLegend)
            for (QLegendMarker* marker : chart->legend()->markers(series))
                marker->setVisible(false);
    }

    // The cursor: a line through every chart at the time under the pointer, and what each
    // series shows there.
    void Hover(int chart, const QPointF& at) {
        const QRectF plot = views_[chart]->chart()->plotArea();
        const QPointF inChart =
            views_[chart]->chart()->mapFromScene(views_[chart]->mapToScene(at.toPoint()));
        if (!plot.contains(inChart) || view_.Empty) return;
        const double share = (inChart.x() - plot.left()) / plot.width();
        const std::int64_t t =
            view_.Range.From +
            static_cast<std::int64_t>(share * double(view_.Range.To - view_.Range.From));
        const QDateTime when = QDateTime::fromSecsSinceEpoch(t);
        QStringList parts = {
            Weekday(when.date()) +
            when.toString(view_.Range.Size == BucketSize::Day ? " dd.MM.yyyy" : " dd.MM. HH:mm")};
        const std::int64_t near = view_.Range.Size == BucketSize::Record ? interval_
                                  : view_.Range.Size == BucketSize::Hour ? 3600
                                                                         : 86400;
        for (int c = 0; c < kCharts; ++c) {
            const QRectF p = views_[c]->chart()->plotArea();
            const double x = p.left() + share * p.width();
            cursorLines_[c]->setLine(x, p.top(), x, p.bottom());
            cursorLines_[c]->show();
            for (const Line& line : LinesOf(c))
                if (const std::optional<double> v = ValueAt(*line.Data, t, near))
                    parts << QStringLiteral("%1 %2 %3")
                                 .arg(line.Name, locale_.toString(*v, 'f', 1), line.Unit);
        }
        if (const std::optional<double> v = ValueAt(Segments{view_.WindDir}, t, near))
            parts << QStringLiteral("Windrichtung %1°").arg(locale_.toString(*v, 'f', 0));
        for (const RainBar& bar : view_.Rain)
            if (bar.Start < t && t <= bar.End)
                parts
                    << QStringLiteral("Regen %1 mm").arg(locale_.toString(bar.Millimetres, 'f', 1));
        cursor_->setText(parts.join(" · "));
    }

    static std::optional<double> ValueAt(const Segments& line, std::int64_t t, std::int64_t near) {
        for (const std::vector<ChartPoint>& segment : line) {
            const auto after = std::lower_bound(
                segment.begin(), segment.end(), t,
                [](const ChartPoint& p, std::int64_t time) { return p.Time < time; });
            for (auto it : {after, after == segment.begin() ? after : after - 1})
                if (it != segment.end() && std::abs(it->Time - t) <= near / 2 + 1) return it->Value;
        }
        return std::nullopt;
    }

    int interval_;
    QLocale locale_;
    std::unique_ptr<ArchiveDatabase> database_;
    HistoryView view_;
    int span_ = 0;
    int steps_ = 0;  // ranges back from now
    int marked_ = kTemperature;
    QLabel* range_;
    QLabel* cursor_;
    QLabel* message_;
    QStackedWidget* pages_;
    QScrollArea* scroll_;
    QCheckBox* inTemp_;
    QCheckBox* inHumidity_;
    std::array<QChartView*, kCharts> views_{};
    std::array<QGraphicsLineItem*, kCharts> cursorLines_{};
    std::array<QCategoryAxis*, kCharts> times_{};
    std::array<QValueAxis*, kCharts> values_{};
    QValueAxis* rainTotal_ = nullptr;
    QCategoryAxis* compass_ = nullptr;
    // While a drawing is filled again: the series drawn last, the next to fill, and whether
    // they did not fit.
    QList<QAbstractSeries*> drawn_;
    qsizetype next_ = 0;
    bool missing_ = false;
};

}  // namespace

}  // namespace ombrix

extern "C" Q_DECL_EXPORT ombrix::Verlauf* OmbrixVerlauf(const QString& archivePath,
                                                        int intervalSeconds) {
    return new ombrix::VerlaufWindow(archivePath, intervalSeconds);
}
