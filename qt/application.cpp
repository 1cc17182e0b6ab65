#include "qt/application.h"

#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <utility>

namespace {

TErrorReport& CurrentReport() {
    static TErrorReport report;
    return report;
}

}  // namespace

void ReportError(const QString& Message) {
    if (CurrentReport()) {
        CurrentReport()(Message);
        return;
    }
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(),
                          Message);
}

TErrorReport SetErrorReport(TErrorReport Report) {
    return std::exchange(CurrentReport(), std::move(Report));
}

namespace {

// Reports the exception being handled; called only inside a catch.
void ReportCurrentException() {
    try {
        throw;
    } catch (const std::exception& error) {
        ReportError(QString::fromUtf8(error.what()));
    } catch (...) {
        ReportError(QApplication::translate("TApplication", "Unknown error"));
    }
}

}  // namespace

void RunHandler(const std::function<void()>& Body) {
    try {
        Body();
    } catch (...) {
        ReportCurrentException();
    }
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportCurrentException();
    }
    return false;
}

bool CheckDisplay(const char* Program) {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    std::fprintf(stderr,
                 "%s: no display to open a window on (DISPLAY is not set); "
                 "without a screen run it as: xvfb-run -a %s\n",
                 Program, Program);
    return false;
}

TBusyCursor::TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

TBusyCursor::~TBusyCursor() { QApplication::restoreOverrideCursor(); }
