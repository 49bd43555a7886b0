// quillet-app: the tray application. One instance per session: a second start hands its
// files to the first over D-Bus, or else asks it to show the editor window, and exits.
#include "shell/QuilletApplication.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    if (!quillet::QuilletApplication::hasGraphicalSession()) {
        std::fprintf(stderr,
            "quillet-app: no graphical session: no X server answers at DISPLAY and no Wayland compositor "
            "at WAYLAND_DISPLAY (with Qt's Wayland platform plugin). Start Quillet from your desktop "
            "session; `quillet expand` works without one.\n");
        return 1;
    }
    QApplication application(argc, argv);
    // Declared after the application, so that its parts are gone before the application is.
    quillet::QuilletApplication quillet(application);
    return quillet.run();
}
