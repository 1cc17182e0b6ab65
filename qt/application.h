#pragma once
#include <QApplication>
#include <QString>
#include <functional>

// Shows a failure to the user. By default a modal message box over the
// active window; tests put a recorder in its place with SetErrorReport.
void ReportError(const QString& Message);

// Replaces the report (an empty function restores the message box) and
// returns the one that was in place.
using TErrorReport = std::function<void(const QString& Message)>;
TErrorReport SetErrorReport(TErrorReport Report);

// Runs the body of an event handler. An exception that leaves it is shown
// in the error report (the message box) and goes no further, so none
// crosses a Qt connection; the event loop goes on.
void RunHandler(const std::function<void()>& Body);

// The application of both windows. An exception that escapes an event
// handler that does not catch it itself ends up here: its message is
// reported and the event loop goes on.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// True when a window can be shown: a platform was chosen through
// QT_QPA_PLATFORM, or an X11 or Wayland display is there. Otherwise writes
// one line to stderr saying so and how to run Program (argv[0]) under
// xvfb-run, so the toolkit does not abort on a missing display.
bool CheckDisplay(const char* Program);

// Sets the wait cursor for its lifetime, also when the work throws.
class TBusyCursor {
public:
    TBusyCursor();
    ~TBusyCursor();
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};
