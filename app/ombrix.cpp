#include "app/ombrix.h"

#include <QCloseEvent>
#include <QCursor>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QResizeEvent>
#include <QTableWidget>
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

#include "app/agw_link.h"
#include "app/archive_writer.h"
#include "app/serial_intake.h"
#include "database/archive_database.h"
#include "logs/error_log.h"
#include "logs/file_append.h"
#include "pipeline/weather_logger.h"
#include "server/status_server.h"
#include "station/clock.h"
#include "station/telegram_set.h"

namespace ombrix {

namespace {

// The window was laid out in twips; 15 twips are one pixel at 96 dpi.
constexpr int Px(int twips) {
    return (twips + 7) / 15;
}

constexpr int kDesignWidth = 10005;
constexpr int kDesignHeight = 6540;
constexpr int kTableMargin = 100;  // the table is this much narrower than the window

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

}  // namespace

Ombrix::Ombrix(QWidget* parent) : QWidget(parent) {
    setObjectName("Ombrix");
    setWindowTitle(kTitle);
    resize(Px(kDesignWidth), Px(kDesignHeight));

    ListView1 = new QTableWidget(0, kColumnCount, this);
    ListView1->setObjectName("ListView1");
    ListView1->setGeometry(0, 0, Px(9975), Px(5535));
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
    for (int c = 0; c < kColumnCount; ++c) {
        ListView1->setHorizontalHeaderItem(c, new QTableWidgetItem(kColumns[c].Header));
        ListView1->setColumnWidth(c, kColumns[c].Width);
    }

    Command1 = new QPushButton("Testwerte", this);
    Command1->setObjectName("Command1");
    Command1->setGeometry(0, Px(5640), Px(5055), Px(375));
    connect(Command1, &QPushButton::clicked, this, &Ombrix::Command1_Click);

    Command2 = new QPushButton("Zähler=0", this);
    Command2->setObjectName("Command2");
    Command2->setGeometry(Px(5160), Px(5640), Px(4815), Px(375));
    connect(Command2, &QPushButton::clicked, this, &Ombrix::Command2_Click);

    // Shows the status line, empty until the first one is composed.
    Text1 = new QLineEdit(this);
    Text1->setObjectName("Text1");
    Text1->setGeometry(0, Px(6120), Px(9975), Px(375));
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

    const QString device = settings_.CommDevice.isEmpty()
                               ? SerialIntake::DeviceForPortNumber(settings_.CommPort)
                               : settings_.CommDevice;
    MSComm1 = std::make_unique<SerialIntake>(
        [this](const Bytes& burst) { DecodeTelegramSet(burst); }, this);
    // The table keeps its last rows while the device is gone; the title tells.
    connect(MSComm1.get(), &SerialIntake::LinkLost, this,
            [this] { setWindowTitle(kTitleNoStation); });
    connect(MSComm1.get(), &SerialIntake::LinkRestored, this, [this] { setWindowTitle(kTitle); });
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

    // From here on a failing step is skipped. The connection is made, or fails, in the
    // background; reports sent without it are lost without a message.
    Winsock1->Connect();

    Winsock2 = std::make_unique<StatusServer>(
        [this] { return logger_ ? logger_->StatusText() : Bytes(); }, this);
    if (!Winsock2->Listen(settings_.StatusServerPort)) {
        std::fprintf(stderr, "Ombrix: Statusserver auf Port %u nicht aktiv.\n",
                     unsigned{settings_.StatusServerPort});
    }
    return true;
}

void Ombrix::StartArchive() {
    if (settings_.ArchivePath.isEmpty()) return;
    // The default folder may not exist yet; SQLite makes the file, not its folder.
    QDir().mkpath(QFileInfo(settings_.ArchivePath).absolutePath());
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
    });
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

void Ombrix::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

void Ombrix::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

// The table follows the window's width; its height and everything else stay as laid out.
void Ombrix::Form_Resize() {
    const float twips = static_cast<float>(width()) * 15.0F - static_cast<float>(kTableMargin);
    const int pixels = std::max(0, qRound(twips / 15.0F));
    ListView1->resize(pixels, ListView1->height());
}

// Closes the serial port and both sockets, and writes the archive's open interval with what it
// has gathered.
void Ombrix::Form_Unload() {
    if (MSComm1) MSComm1->Close();
    if (Winsock1) Winsock1->Close();
    if (Winsock2) Winsock2->Close();
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
    logger_->DecodeTelegramSet(set, source);
    if (archive_ && source == SetSource::Station) ArmArchiveTimer();
    ShowTable();
    if (logger_->LastCall().StatusComposed)
        Text1->setText(QString::fromLatin1(logger_->StatusText()));
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
