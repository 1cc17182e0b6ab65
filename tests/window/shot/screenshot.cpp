// Takes the README's picture of the main window: START and TARGET loaded
// through the window's own handlers, the track bar moved to 50 %, the
// window's contents written to OUT.png. Run it under xvfb-run so the
// picture comes from a real X server with the installed fonts.
#include <QPixmap>
#include <QSlider>
#include <cstdio>

#include "app/plivra_mainform.h"
#include "qt/application.h"
#include "shape/state.h"
#include "tests/window/window_fixture.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: window_screenshot START.suf TARGET.suf OUT.png\n");
        return 2;
    }
    VANE_SourceInitialize();
    plivra_mainformInitialize();
    int code;
    {
        TApplication application(argc, argv);
        TForm1 form;
        Form1 = &form;
        auto dialog = std::make_unique<TFakeDialog>();
        dialog->Answers = {QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2])};
        form.OpenDialog1 = std::move(dialog);
        form.show();
        QApplication::processEvents();
        form.Refer1Click();
        form.Refer2Click();
        form.MorphPercent->setValue(500);  // as if the user had dragged it
        QApplication::processEvents();
        code = form.grab().save(QString::fromLocal8Bit(argv[3])) ? 0 : 1;
        plivra_mainformFinalize();
        VANE_SourceFinalize();
        Form1 = nullptr;
    }
    return code;
}
