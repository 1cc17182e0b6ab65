// plivra: the desktop shape morphing tool.
#include "app/plivra_mainform.h"
#include "qt/application.h"
#include "shape/panel/vane_panel.h"
#include "shape/state.h"

int main(int argc, char** argv) {
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
