#include "app/ombrix.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDateTime>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLibrary>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

#include "app/agw_link.h"
#include "app/archive_writer.h"
#include "app/serial_intake.h"
#include "app/wxnow_file.h"
#include "aprsis/aprs_is_upload.h"
#include "database/archive_database.h"
#include "history/verlauf.h"
#include "logs/error_log.h"
#include "logs/file_append.h"
#include "mqtt/mqtt_link.h"
#include "pipeline/weather_logger.h"
#include "server/status_server.h"
#include "station/clock.h"
#include "station/telegram_set.h"
#include "uplink/aprs_is.h"

namespace ombrix {

namespace {

// The window was laid out in twips; 15 twips are one pixel at 96 dpi.
constexpr int Px(int twips) {
    return (twips + 7) / 15;
}

// The design size, without the status bar below it; a larger or smaller window gives the
// difference to the table, and the buttons, Text1 and the bar follow its lower edge.
constexpr int kDesignWidth = 10005;
constexpr int kDesignHeight = 6540;
constexpr int kTableMargin = 100;  // the table is this much narrower than the window
constexpr int kTableHeight = 5535;
constexpr int kButtonsTop = 5640;
constexpr int kTextTop = 6120;
constexpr int kRowHeight = 375;       // buttons and Text1
constexpr int kSpan = 9975;           // Text1, and both buttons with the gap between them
constexpr int kCommand1Width = 5055;  // the buttons share the span in this proportion
constexpr int kCommand2Left = 5160;
constexpr int kMinimumTableRows = 3;
constexpr int kMinimumWidth = 4800;  // 320 pixels: half of an 800-pixel touch screen, and more

struct Column {
    const char* Header;
    int Width;  // pixels
};

constexpr Column kColumns[] = {
    {"Messgroesse", 176},        {"Aktuell", 141},       {"Maximum", 118},
    {"Maximum Zeit,Datum", 169}, {"Minimum", 118},       {"Minimum Zeit,Datum", 169},
    {"Alarm Maximum", 118},      {"Alarm Minimum", 118}, {"Alarm Set", 118},
    {"Display-Einheit", 146},    {"Extras", 376},
};
static_assert(std::size(kColumns) == kColumnCount);

// The numbers under which the serial port control reported its errors.
constexpr int kInvalidPortNumber = 8002;
constexpr int kPortAlreadyOpen = 8005;
constexpr int kPortNotAvailable = 8010;
constexpr int kCommStateFailed = 8015;

int SerialErrorNumber(QSerialPort::SerialPortError error) {
    switch (error) {
        case QSerialPort::DeviceNotFoundError:
            return kInvalidPortNumber;
        case QSerialPort::PermissionError:
        case QSerialPort::OpenError:
            return kPortAlreadyOpen;
        case QSerialPort::UnsupportedOperationError:
            return kCommStateFailed;
        default:
            return kPortNotAvailable;
    }
}

std::string ToBytes(const QString& text) {
    return text.toLatin1().toStdString();
}

// A record that "fehler.log" could not take (a full disk, no permission) still leaves a trace:
// its number and description on standard error.
void ReportLostRecord(const DecodeError& e) {
    std::fprintf(stderr,
                 "Ombrix: fehler.log kann nicht geschrieben werden: Err.Number: %d; "
                 "Err.Description: %s\n",
                 static_cast<int>(e.Error.Number), e.Error.Description.c_str());
}

// The archive waits at most this long for another program that holds its file, so that the
// window never waits for it longer than 100 ms.
constexpr int kArchiveBusyTimeoutMs = 50;
// An interval's record is written this long after its end when no later set ends it first: a
// set decoded right at the end still goes in.
constexpr qint64 kArchiveCloseDelayMs = 5000;

const QString kTitle = QStringLiteral("Ombrix");
// While the station's serial device is gone.
const QString kTitleNoStation = QStringLiteral("Ombrix – keine Verbindung zur Station");

// The usual interval between the station's sets is the median of this many last gaps, so that a
// few sets lost on the station's radio link or a restarted console do not move it; before two
// sets came it is a minute. No set for three usual intervals, at least a minute, is said.
constexpr std::size_t kGapsKept = 9;
constexpr qint64 kDefaultIntervalMs = 60000;
constexpr qint64 kMinimumSilenceMs = 60000;
constexpr int kStateCheckMs = 10000;

QString TimeOfDay(const QTime& time) {
    return time.isValid() ? time.toString(QStringLiteral("HH:mm:ss")) : QStringLiteral("–");
}

}  // namespace

Ombrix::Ombrix(QWidget* parent) : QWidget(parent) {
    setObjectName("Ombrix");
    setWindowTitle(kTitle);

    ListView1 = new QTableWidget(0, kColumnCount, this);
    ListView1->setObjectName("ListView1");
    ListView1->verticalHeader()->hide();
    ListView1->verticalHeader()->setDefaultSectionSize(ListView1->fontMetrics().height() + 4);
    ListView1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ListView1->horizontalHeader()->setHighlightSections(false);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setShowGrid(true);
    ListView1->setWordWrap(false);
    ListView1->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // The history of a row's quantity: a double-click, the row's context menu or Ctrl+H (no
    // other shortcut of the window, nor of Qt's table, uses it).
    connect(ListView1, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { ShowHistory(row); });
    auto* history = new QAction(QStringLiteral("Verlauf anzeigen"), ListView1);
    history->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    history->setShortcutContext(Qt::WindowShortcut);
    history->setShortcutVisibleInContextMenu(true);
    connect(history, &QAction::triggered, this, [this] { ShowHistory(ListView1->currentRow()); });
    ListView1->addAction(history);
    ListView1->setContextMenuPolicy(Qt::ActionsContextMenu);
    for (int c = 0; c < kColumnCount; ++c) {
        ListView1->setHorizontalHeaderItem(c, new QTableWidgetItem(kColumns[c].Header));
        ListView1->setColumnWidth(c, kColumns[c].Width);
    }

    Command1 = new QPushButton("Testwerte", this);
    Command1->setObjectName("Command1");
    connect(Command1, &QPushButton::clicked, this, &Ombrix::Command1_Click);

    Command2 = new QPushButton("Zähler=0", this);
    Command2->setObjectName("Command2");
    connect(Command2, &QPushButton::clicked, this, &Ombrix::Command2_Click);

    // Shows the status line, empty until the first one is composed.
    Text1 = new QLineEdit(this);
    Text1->setObjectName("Text1");

    // Two rows, so that an 800-pixel screen shows every field: the station and the radio above,
    // the archive, the outputs and the settings' warnings below.
    statusArea_ = new QWidget(this);
    statusArea_->setObjectName("StatusBar");
    stationBar_ = new QStatusBar(statusArea_);
    stationBar_->setObjectName("StationBar");
    stationBar_->setSizeGripEnabled(false);
    statusBar_ = new QStatusBar(statusArea_);
    statusBar_->setObjectName("OutputBar");
    auto* rows = new QVBoxLayout(statusArea_);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    rows->addWidget(stationBar_);
    rows->addWidget(statusBar_);
    dataField_ = new QLabel(stationBar_);
    dataField_->setObjectName("StatusData");
    engineField_ = new QLabel(stationBar_);
    engineField_->setObjectName("StatusEngine");
    archiveField_ = new QLabel(statusBar_);
    archiveField_->setObjectName("StatusArchive");
    settingsField_ = new QLabel(statusBar_);
    settingsField_->setObjectName("StatusSettings");
    settingsField_->hide();
    for (QLabel* field : {dataField_, engineField_, archiveField_, settingsField_})
        field->setContentsMargins(4, 0, 4, 0);
    stationBar_->addWidget(dataField_, 1);
    stationBar_->addPermanentWidget(engineField_);
    statusBar_->addWidget(archiveField_);
    statusBar_->addPermanentWidget(settingsField_);
    sinceSet_.start();
    ShowState();
    barHeight_ = statusArea_->sizeHint().height();

    // The buttons keep their text, the table its header and a few rows.
    const int table = ListView1->horizontalHeader()->sizeHint().height() +
                      kMinimumTableRows * ListView1->verticalHeader()->defaultSectionSize() +
                      ListView1->horizontalScrollBar()->sizeHint().height() +
                      2 * ListView1->frameWidth();
    const int buttons = std::max(Command1->sizeHint().width(), Command2->sizeHint().width());
    setMinimumSize(std::max(Px(kMinimumWidth), 2 * buttons + Px(kCommand2Left - kCommand1Width)),
                   table + Px(kDesignHeight) - Px(kTableHeight) + barHeight_);
    resize(Px(kDesignWidth), Px(kDesignHeight) + barHeight_);
    if (const QScreen* shownOn = screen()) FitInto(shownOn->availableGeometry());
    Form_Resize();

    stateTimer_.setInterval(kStateCheckMs);
    connect(&stateTimer_, &QTimer::timeout, this, &Ombrix::ShowState);
}

Ombrix::~Ombrix() {
    Form_Unload();
}

// Form_Load.
bool Ombrix::Load(QSettings& store, StartupError& error) {
    // The pointer goes out of the way, to the screen's lower right corner.
    QCursor::setPos(5000, 5000);

    const bool loaded = LoadSettings(store, settings_, error);
    for (const QString& line : settings_.Warnings)
        std::fprintf(stderr, "%s\n", qUtf8Printable(line));
    if (!loaded) return false;
    if (!settings_.LageIsAprsPosition) {
        settingsField_->setText(QStringLiteral("„Lage“ ist keine APRS-Position"));
        settingsField_->show();
    }

    const QString device = settings_.CommDevice.isEmpty()
                               ? SerialIntake::DeviceForPortNumber(settings_.CommPort)
                               : settings_.CommDevice;
    MSComm1 = std::make_unique<SerialIntake>(
        [this](const Bytes& burst) { DecodeTelegramSet(burst); }, this);
    // The table keeps its last rows while the device is gone; the title tells.
    connect(MSComm1.get(), &SerialIntake::LinkLost, this, [this] {
        stationLost_ = true;
        ShowState();
    });
    connect(MSComm1.get(), &SerialIntake::LinkRestored, this, [this] {
        stationLost_ = false;
        ShowState();
    });
    if (device.isEmpty()) {
        error = {kInvalidPortNumber, QStringLiteral("Ungültige Schnittstellennummer"),
                 QStringLiteral("Schnittstelle %1 (Einstellung „CommPortOmbrix“)")
                     .arg(settings_.CommPort)};
        return false;
    }
    if (const QSerialPort::SerialPortError failed = MSComm1->Open(device);
        failed != QSerialPort::NoError) {
        const auto [description, subject] =
            DescribeOpenFailure(failed, device, settings_.CommDevice.isEmpty());
        error = {SerialErrorNumber(failed), description, subject};
        return false;
    }
    MSComm1->ArmPauseTimer();

    // RxBuffer empty, Counter 0: a fresh core.
    MSComm1->ClearRxBuffer();
    Winsock1 = std::make_unique<AgwLink>(settings_.AgwpeHost, settings_.AgwpeTcpPort);
    connect(Winsock1.get(), &AgwLink::ConnectionChanged, this, &Ombrix::ShowState);
    LoggerSettings core;
    core.DecimalSeparator = QLocale().decimalPoint().toStdString();
    core.PfadWX = QFile::encodeName(settings_.PfadWX).toStdString();
    core.Lage = ToBytes(settings_.Lage);
    core.AddressCalls = {ToBytes(settings_.CallTo),
                         ToBytes(settings_.CallFrom),
                         ToBytes(settings_.CallDigi1),
                         ToBytes(settings_.CallDigi2),
                         Bytes(),
                         Bytes()};
    core.AgwpePort = settings_.AgwpePort;
    logger_ = std::make_unique<WeatherLogger>(
        std::move(core), SystemLocalTime, Winsock1.get(),
        [](const std::string& path, BytesView bytes) {
            AppendToFileCreatingDirectories(path, bytes);
        },
        [](const DecodeError& e) {
            if (!AppendToFileQuietly("fehler.log", ErrorLogRecord(e))) ReportLostRecord(e);
        });
    StartArchive();
    StartOutputs();

    // From here on a failing step is skipped. The connection is made, or fails, in the
    // background; reports sent without it are lost without a message.
    Winsock1->Connect();

    Winsock2 = std::make_unique<StatusServer>(
        [this] { return logger_ ? logger_->StatusText() : Bytes(); }, this);
    if (!Winsock2->Listen(settings_.StatusServerPort)) {
        std::fprintf(stderr, "Ombrix: Statusserver auf Port %u nicht aktiv.\n",
                     unsigned{settings_.StatusServerPort});
    }
    sinceSet_.start();
    stateTimer_.start();
    // systemd names the journal's stream here when a unit's output goes to it.
    journal_ = !qEnvironmentVariableIsEmpty("JOURNAL_STREAM");
    ShowState();
    return true;
}

void Ombrix::StartArchive() {
    if (settings_.ArchivePath.isEmpty()) return;
    std::string failed;
    std::unique_ptr<ArchiveDatabase> database =
        ArchiveDatabase::Open(QFile::encodeName(settings_.ArchivePath).toStdString(), failed, true,
                              kArchiveBusyTimeoutMs);
    if (!database) {
        std::fprintf(stderr, "Ombrix: %s\n", failed.c_str());
        return;
    }
    const std::optional<double> lastRainTotal = database->LastRainTotal();
    archive_ = std::make_unique<ArchiveWriter>(std::move(database));
    logger_->StartArchive(archive_.get(), SystemUtcSeconds, settings_.ArchiveInterval,
                          lastRainTotal);
    archiveTimer_.setSingleShot(true);
    archiveTimer_.setTimerType(Qt::PreciseTimer);
    connect(&archiveTimer_, &QTimer::timeout, this, [this] {
        // The wall clock may have gone back while the timer ran.
        const std::optional<std::int64_t> end = logger_->OpenArchiveIntervalEnd();
        if (end && QDateTime::currentMSecsSinceEpoch() < *end * 1000 + kArchiveCloseDelayMs)
            ArmArchiveTimer();
        else
            logger_->CloseArchiveInterval();
        ShowState();
    });
}

namespace {

QLabel* NewField(QStatusBar* bar, const char* name) {
    auto* field = new QLabel(bar);
    field->setObjectName(name);
    field->setContentsMargins(4, 0, 4, 0);
    bar->addWidget(field);
    return field;
}

}  // namespace

void Ombrix::StartOutputs() {
    if (!settings_.AprsIsHost.isEmpty()) {
        AprsIsSettings aprs;
        aprs.Host = settings_.AprsIsHost;
        aprs.Port = settings_.AprsIsPort;
        aprs.Call = ToBytes(settings_.CallFrom);
        aprs.Passcode = ToBytes(settings_.AprsIsPasscode);
        aprs.Lage = ToBytes(settings_.Lage);
        aprs.IntervalSeconds = settings_.AprsIsInterval;
        aprsIs_ = std::make_unique<AprsIsUpload>(
            aprs, [this](std::int64_t utc) { return RainOfLastDay(utc); });
        connect(aprsIs_.get(), &AprsIsUpload::StateChanged, this, &Ombrix::ShowState);
        aprsIsField_ = NewField(statusBar_, "StatusAprsIs");
    }
    if (!settings_.MqttHost.isEmpty()) {
        MqttSettings mqtt;
        mqtt.Host = settings_.MqttHost;
        mqtt.Port = settings_.MqttPort;
        mqtt.User = settings_.MqttUser;
        mqtt.Password = settings_.MqttPassword;
        mqtt.Topic = settings_.MqttTopic;
        mqtt.DiscoveryPrefix = settings_.MqttDiscoveryPrefix;
        mqtt_ = std::make_unique<MqttLink>(mqtt);
        connect(mqtt_.get(), &MqttLink::StateChanged, this, &Ombrix::ShowState);
        mqttField_ = NewField(statusBar_, "StatusMqtt");
        mqtt_->Start();
    }
    if (!settings_.WxnowPath.isEmpty()) {
        wxnowField_ = NewField(statusBar_, "StatusWxnow");
        wxnow_ = std::make_unique<WxnowFile>(settings_.WxnowPath);
        connect(wxnow_.get(), &WxnowFile::Written, this, [this](const QString& failed) {
            if (failed == wxnowFailure_) return;
            std::fprintf(
                stderr, "Ombrix: %s\n",
                qUtf8Printable(
                    failed.isEmpty()
                        ? QStringLiteral("%1 wird wieder geschrieben").arg(settings_.WxnowPath)
                        : QStringLiteral("%1 kann nicht geschrieben werden: %2")
                              .arg(settings_.WxnowPath, failed)));
            wxnowFailure_ = failed;
            ShowState();
        });
    }
}

std::optional<double> Ombrix::RainOfLastDay(std::int64_t utc) {
    if (!archive_) return std::nullopt;
    if (!rainReadAt_ || utc < *rainReadAt_ || utc >= *rainReadAt_ + 60) {
        constexpr std::int64_t kDay = 86400;
        rainOfLastDay_ = ombrix::RainOfLastDay(archive_->Database().Read(utc - kDay, utc), utc);
        rainReadAt_ = utc;
    }
    return rainOfLastDay_;
}

void Ombrix::SendToOutputs(const StationReading& reading) {
    const std::int64_t utc = SystemUtcSeconds();
    if (aprsIs_) aprsIs_->Reading(reading, utc);
    if (mqtt_) mqtt_->Reading(reading, utc);
    if (!wxnow_) return;
    // The gust of wxnow.txt is the set's own.
    const std::optional<double> gust = reading.GustSpeed.State == QuantityState::Valid
                                           ? std::optional<double>(reading.GustSpeed.Value)
                                           : std::nullopt;
    wxnow_->Write(WxnowText(LocalTimeAt(utc), UploadValuesOf(reading, gust, RainOfLastDay(utc))));
}

void Ombrix::ArmArchiveTimer() {
    const std::optional<std::int64_t> end = logger_->OpenArchiveIntervalEnd();
    if (!end) return;
    const qint64 ms = *end * 1000 + kArchiveCloseDelayMs - QDateTime::currentMSecsSinceEpoch();
    archiveTimer_.start(static_cast<int>(std::clamp<qint64>(ms, 0, 86400000)));
}

QString Ombrix::StartupErrorText(const StartupError& error) {
    return QStringLiteral("Laufzeitfehler '%1':\n\n%2\n\n%3")
        .arg(error.Number)
        .arg(error.Description, error.Subject);
}

void ReportStartupError(const StartupError& error) {
    const QString text = Ombrix::StartupErrorText(error);
    std::fprintf(stderr, "Ombrix: %s\n", qUtf8Printable(QString(text).replace("\n\n", " - ")));
    if (!qEnvironmentVariableIsEmpty("OMBRIX_NO_DIALOGS")) return;
    QMessageBox box(QMessageBox::Critical, "Ombrix", text, QMessageBox::Ok);
    box.exec();
}

namespace {

// The history window's module: beside the program in the build, in lib/ombrix/ when installed.
// Qt Charts comes with it, so that the program starts without it.
VerlaufFactory LoadVerlauf(QString& failed) {
    const QString bin = QCoreApplication::applicationDirPath();
    for (const QString& dir : {bin, bin + QStringLiteral("/../lib/ombrix")}) {
        QLibrary module(dir + QStringLiteral("/libombrix_history.so"));
        if (auto make = reinterpret_cast<VerlaufFactory>(module.resolve(kVerlaufFactory)))
            return make;
        failed = module.errorString();
    }
    return nullptr;
}

}  // namespace

void Ombrix::ShowHistory(int row) {
    if (!history_) {
        QString failed;
        const VerlaufFactory make = LoadVerlauf(failed);
        if (!make) {
            std::fprintf(stderr, "Ombrix: Verlauf nicht verfügbar: %s\n", qUtf8Printable(failed));
            return;
        }
        history_.reset(make(settings_.ArchivePath, settings_.ArchiveInterval));
        if (archive_)
            connect(archive_.get(), &ArchiveWriter::Written, history_.get(),
                    [this](const ArchiveRecord& record) { history_->Append(record); });
    }
    if (const QTableWidgetItem* item = row >= 0 ? ListView1->item(row, 0) : nullptr)
        history_->ShowQuantity(item->text());
    history_->show();
    history_->raise();
    history_->activateWindow();
}

void Ombrix::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

void Ombrix::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void Ombrix::Form_Resize() {
    const float twips = static_cast<float>(width()) * 15.0F - static_cast<float>(kTableMargin);
    const int tableWidth = std::max(0, qRound(twips / 15.0F));
    const int dh = height() - Px(kDesignHeight) - barHeight_;
    const int span = Px(kSpan) + width() - Px(kDesignWidth);
    const int gap = Px(kCommand2Left) - Px(kCommand1Width);
    const int first =
        qRound(static_cast<double>(span - gap) * Px(kCommand1Width) / (Px(kSpan) - gap));
    ListView1->setGeometry(0, 0, tableWidth, Px(kTableHeight) + dh);
    Command1->setGeometry(0, Px(kButtonsTop) + dh, first, Px(kRowHeight));
    Command2->setGeometry(first + gap, Px(kButtonsTop) + dh, span - first - gap, Px(kRowHeight));
    Text1->setGeometry(0, Px(kTextTop) + dh, span, Px(kRowHeight));
    statusArea_->setGeometry(0, Px(kDesignHeight) + dh, width(), barHeight_);
}

// Closes the serial port and both sockets, and writes the archive's open interval with what it
// has gathered.
void Ombrix::Form_Unload() {
    if (MSComm1) MSComm1->Close();
    if (Winsock1) Winsock1->Close();
    if (Winsock2) Winsock2->Close();
    if (aprsIs_) aprsIs_->Close();
    if (mqtt_) mqtt_->Close();
    if (unloaded_ || !archive_) return;
    unloaded_ = true;
    archiveTimer_.stop();
    logger_->CloseArchiveInterval();
    archive_->Flush();
}

// "Testwerte": the built-in set takes the same road as a burst from the station. It goes to the
// decoder directly, so the receive buffer keeps what it has gathered and the station's next
// burst is decoded as usual.
void Ombrix::Command1_Click() {
    DecodeTelegramSet(TestTelegramSet(), SetSource::TestButton);
}

// "Zähler=0": the next valid set starts a new cycle and sends a report.
void Ombrix::Command2_Click() {
    if (logger_) logger_->ResetCounter();
}

void Ombrix::DecodeTelegramSet(BytesView set, SetSource source) {
    if (!logger_) return;
    const SetOutcome outcome = logger_->DecodeTelegramSet(set, source);
    if (archive_ && source == SetSource::Station) ArmArchiveTimer();
    if (const std::optional<StationReading>& reading = logger_->LastCall().Reading;
        reading && reading->Source == SetSource::Station)
        SendToOutputs(*reading);
    ShowTable();
    if (logger_->LastCall().StatusComposed)
        Text1->setText(QString::fromLatin1(logger_->StatusText()));
    const QTime now = QTime::currentTime();
    if (!logger_->LastCall().Frame.empty()) lastReport_ = now;
    // "Testwerte" is no sign of the station.
    if (source == SetSource::Station && outcome != SetOutcome::Valid) ++rejected_;
    if (source == SetSource::Station && outcome == SetOutcome::Valid) {
        if (lastSet_.isValid()) gaps_.push_back(sinceSet_.elapsed());
        if (gaps_.size() > kGapsKept) gaps_.pop_front();
        lastSet_ = now;
        sinceSet_.start();
    }
    ShowState();
}

qint64 Ombrix::SilentMinutes(const std::deque<qint64>& gaps, qint64 silentMs) {
    qint64 usual = kDefaultIntervalMs;
    if (!gaps.empty()) {
        std::vector<qint64> sorted(gaps.begin(), gaps.end());
        const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
        std::nth_element(sorted.begin(), middle, sorted.end());
        usual = *middle;
    }
    return silentMs >= std::max(kMinimumSilenceMs, 3 * usual) ? silentMs / 60000 : 0;
}

void Ombrix::FitInto(const QRect& available) {
    // The frame is not known before the window manager has put one around the window: room for
    // a usual title bar and border.
    constexpr QSize kFrame(8, 36);
    const QSize room = available.size() - kFrame;
    const QSize fitted = size().boundedTo(room).expandedTo(minimumSize());
    if (fitted != size()) resize(fitted);
}

void Ombrix::ShowField(QLabel* field, const QString& text, const QString& state) {
    field->setText(text);
    if (!journal_ || field->property("state").toString() == state) return;
    field->setProperty("state", state);
    std::fprintf(stderr, "Ombrix: %s\n", qUtf8Printable(text));
    std::fflush(stderr);
}

void Ombrix::ShowState() {
    const qint64 minutes = SilentMinutes(gaps_, sinceSet_.elapsed());
    const QString silence = QStringLiteral("keine Daten seit %1 min").arg(minutes);
    QString line = QStringLiteral("Letzter Datensatz: %1 · abgewiesen: %2")
                       .arg(TimeOfDay(lastSet_))
                       .arg(rejected_);
    if (minutes > 0) line = silence + QStringLiteral(" · ") + line;
    // The journal hears of the silence once, and of the first set after it.
    ShowField(dataField_, line,
              minutes > 0 ? QStringLiteral("silent")
                          : (lastSet_.isValid() ? QStringLiteral("sets") : QStringLiteral("none")));
    const bool connected = Winsock1 && Winsock1->IsConnected();
    ShowField(engineField_,
              QStringLiteral("AGWPE %1 · letzte Meldung: %2")
                  .arg(connected ? QStringLiteral("verbunden") : QStringLiteral("getrennt"),
                       TimeOfDay(lastReport_)),
              connected ? QStringLiteral("connected") : QStringLiteral("disconnected"));
    if (!archive_)
        ShowField(archiveField_, QStringLiteral("Archiv aus"), QStringLiteral("off"));
    else if (archive_->Queued() > 0)
        ShowField(archiveField_,
                  QStringLiteral("Archiv: %1 Datensätze wartend").arg(archive_->Queued()),
                  QStringLiteral("waiting"));
    else
        ShowField(archiveField_, QStringLiteral("Archiv OK"), QStringLiteral("ok"));
    // The outputs tell their own changes on standard error.
    if (aprsIsField_) ShowField(aprsIsField_, aprsIs_->StateText(), QStringLiteral("own"));
    if (mqttField_) ShowField(mqttField_, mqtt_->StateText(), QStringLiteral("own"));
    if (wxnowField_)
        ShowField(wxnowField_,
                  wxnowFailure_.isEmpty() ? QStringLiteral("wxnow.txt OK")
                                          : QStringLiteral("wxnow.txt: ") + wxnowFailure_,
                  QStringLiteral("own"));
    // A lost device says more than the silence that follows from it.
    if (stationLost_)
        setWindowTitle(kTitleNoStation);
    else
        setWindowTitle(minutes > 0 ? kTitle + QStringLiteral(" – ") + silence : kTitle);
}

// The table as the core holds it, rebuilt from scratch.
void Ombrix::ShowTable() {
    const MeasurementTable& table = logger_->Table();
    ListView1->setRowCount(0);
    ListView1->setRowCount(table.RowCount());
    int r = 0;
    for (const TableRow& row : table.Rows()) {
        for (int c = 0; c < kColumnCount; ++c) {
            ListView1->setItem(r, c, new QTableWidgetItem(QString::fromStdString(row[c])));
        }
        ++r;
    }
}

}  // namespace ombrix
