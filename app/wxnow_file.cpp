#include "app/wxnow_file.h"

#include <QSaveFile>

namespace ombrix {

QString ReplaceFile(const QString& path, BytesView text) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString();
    const auto size = static_cast<qint64>(text.size());
    if (file.write(text.data(), size) != size || !file.commit()) return file.errorString();
    return {};
}

}  // namespace ombrix
