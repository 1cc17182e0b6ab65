// plivra: the desktop shape morphing tool.
#include "app/plivra_mainform.h"
#include "qt/application.h"
#include "shape/panel/vane_panel.h"
#include "shape/state.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char kHelp[] =
    "Usage: plivra [QT-OPTION]...\n"
    "Blends one 3D polygon shape into another in a window.\n"
    "\n"
    "Pick a start shape and a target shape (.suf text files whose objects,\n"
    "polygons and vertices correspond one to one) and a whole-number\n"
    "percentage; values outside 0..100 extrapolate. The window shows both\n"
    "shapes and previews the blend in its XY, YZ and ZX views, and saves the\n"
    "blend as a new .suf file. plivra-cli does the same in batch.\n"
    "\n"
    "Options:\n"
    "  -h, --help     print this help and exit\n"
    "      --version  print the version and exit\n"
    "\n"
    "Qt's own options, such as -platform NAME, are passed on to Qt.\n"
    "\n"
    "plivra needs a display (DISPLAY or WAYLAND_DISPLAY); without one, run it as\n"
    "  xvfb-run -a plivra\n";

// Answers --help and --version before Qt starts, so both work without a
// display (the man page is made from them at build time). Returns whether
// one was answered; other arguments are left to Qt.
bool AnswerInfoOption(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("plivra " PLIVRA_VERSION);
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (AnswerInfoOption(argc, argv))
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    if (!CheckDisplay(argv[0]))
        return 1;
    // Module state first, the library's before the window's.
    VANE_SourceInitialize();
    plivra_mainformInitialize();
    int code;
    {
        // No display name: the window system would append it to every
        // caption, and the caption is the window's own text. Message boxes
        // are titled with the program's name all the same.
        TApplication application(argc, argv);
        // Ties the window to its menu entry (the desktop file's name), which
        // Wayland compositors use for its icon and name.
        application.setDesktopFileName(QStringLiteral("io.github.plivra.Plivra"));
        // Made first, the main window is the one whose closing ends the program.
        TForm1 form;
        Form1 = &form;
        // The library's own window exists but stays hidden.
        TVANE_Panel panel;
        form.show();
        code = application.exec();
        // Module state is released in the reverse order, before the windows go.
        plivra_mainformFinalize();
        VANE_SourceFinalize();
        Form1 = nullptr;
    }
    return code;
}
