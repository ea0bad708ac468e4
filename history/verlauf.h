// The history window "Ombrix – Verlauf" as the main window sees it. Its charts (Qt Charts) live in
// a module of their own, libombrix_history.so, that the main window loads when the window is first
// opened, so that nothing of them costs start-up time or memory before.
#pragma once

#include <QString>
#include <QWidget>

#include "archive/archive.h"

namespace ombrix {

class Verlauf : public QWidget {
  public:
    using QWidget::QWidget;
    // Brings the chart of a quantity (a row's "Messgroesse") into view and marks it.
    virtual void ShowQuantity(const QString& name) = 0;
    // A record that has just reached the archive.
    virtual void Append(const ArchiveRecord& record) = 0;
};

// The module's one entry: a window on the archive at archivePath (empty: there is none), whose
// records are intervalSeconds long.
using VerlaufFactory = Verlauf* (*)(const QString& archivePath, int intervalSeconds);
inline constexpr const char* kVerlaufFactory = "OmbrixVerlauf";

}  // namespace ombrix
