// wxnow.txt, the file in which APRS programs (UI-View, Xastir, APRSIS32 and others) look for a
// station's current weather: replaced whole after each valid set, so that a reader never sees
// half of it.
#pragma once

#include <QObject>
#include <QString>
#include <QThreadPool>
#include <optional>

#include "station/bytes.h"

namespace ombrix {

// Writes `text` to a temporary file in the same folder and renames it over `path`. Empty, or the
// reason it failed.
QString ReplaceFile(const QString& path, BytesView text);

// The file replaced on a thread of its own: creating and renaming a file costs the disk a few
// hundred µs here and more on an SD card, which the window does not wait for. While one write is
// under way only the newest text waits for the next; an older one would be out of date.
class WxnowFile : public QObject {
    Q_OBJECT

  public:
    explicit WxnowFile(QString path, QObject* parent = nullptr);
    ~WxnowFile() override;

    void Write(Bytes text);

  signals:
    // After each write, on the owner's thread: empty, or the reason it failed.
    void Written(const QString& failure);

  private:
    void Start(Bytes text);

    const QString path_;
    QThreadPool pool_;
    bool busy_ = false;
    std::optional<Bytes> next_;
};

}  // namespace ombrix
