#include "app/wxnow_file.h"

#include <QTemporaryFile>
#include <filesystem>
#include <system_error>

namespace ombrix {

// Not QSaveFile: it waits for the disk (fdatasync) at every commit, which can take tens of
// milliseconds on a Raspberry Pi's SD card, every few seconds. A file that is replaced that often
// need not survive a power cut; it must only never be seen half written, which the rename in the
// same folder gives.
QString ReplaceFile(const QString& path, BytesView text) {
    QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
    if (!file.open()) return file.errorString();
    const auto size = static_cast<qint64>(text.size());
    if (file.write(text.data(), size) != size || !file.flush()) return file.errorString();
    // Readable by the web server or APRS program that picks it up, like a file written plainly.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                        QFileDevice::ReadOther);
    std::error_code error;
    std::filesystem::rename(QFile::encodeName(file.fileName()).toStdString(),
                            QFile::encodeName(path).toStdString(), error);
    if (error) return QString::fromStdString(error.message());
    file.setAutoRemove(false);
    return {};
}

WxnowFile::WxnowFile(QString path, QObject* parent) : QObject(parent), path_(std::move(path)) {
    pool_.setMaxThreadCount(1);
}

WxnowFile::~WxnowFile() {
    pool_.waitForDone();
}

void WxnowFile::Write(Bytes text) {
    if (busy_)
        next_ = std::move(text);
    else
        Start(std::move(text));
}

void WxnowFile::Start(Bytes text) {
    busy_ = true;
    pool_.start([this, text = std::move(text)] {
        const QString failure = ReplaceFile(path_, text);
        QMetaObject::invokeMethod(
            this,
            [this, failure] {
                busy_ = false;
                emit Written(failure);
                if (!next_) return;
                Bytes newest = std::move(*next_);
                next_.reset();
                Start(std::move(newest));
            },
            Qt::QueuedConnection);
    });
}

}  // namespace ombrix
