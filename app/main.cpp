// Ombrix: logger for a home weather station on the serial line, with APRS weather reports
// through an AGWPE packet engine and a small status server.
#include <QApplication>
#include <QSettings>

#include "app/ombrix.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Ombrix");
    QApplication::setApplicationName("Ombrix");

    // ~/.config/Ombrix/Ombrix.conf, section "Optionen".
    QSettings store;
    ombrix::Ombrix window;
    ombrix::StartupError error;
    if (!window.Load(store, error)) {
        ombrix::ReportStartupError(error);
        return 1;
    }
    window.show();
    return QApplication::exec();
}
