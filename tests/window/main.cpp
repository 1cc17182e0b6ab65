// Runs the window tests in one application, so exceptions that escape a
// handler reach TApplication::notify as they do in the program.
#include <QTest>

#include "qt/application.h"

int RunMainFormTests(int argc, char** argv);
int RunPanelTests(int argc, char** argv);

int main(int argc, char** argv) {
    TApplication application(argc, argv);
    int failures = 0;
    failures += RunMainFormTests(argc, argv);
    failures += RunPanelTests(argc, argv);
    return failures == 0 ? 0 : 1;
}
