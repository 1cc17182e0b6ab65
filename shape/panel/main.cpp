// vane-panel: the shape library's test window on its own, for testers.
#include "qt/application.h"
#include "shape/panel/vane_panel.h"
#include "shape/state.h"

int main(int argc, char** argv) {
    if (!CheckDisplay(argv[0]))
        return 1;
    VANE_SourceInitialize();
    int code;
    {
        TApplication application(argc, argv);
        application.setApplicationDisplayName(QStringLiteral("vane-panel"));
        TVANE_Panel panel;
        panel.show();
        code = application.exec();
        VANE_SourceFinalize();
    }
    return code;
}
