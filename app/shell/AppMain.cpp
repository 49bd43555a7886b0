// quillet-app: the tray application. One instance per session: a second start hands its
// files to the first over D-Bus, or else asks it to show the editor window, and exits.
#include "shell/QuilletApplication.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (!quillet::QuilletApplication::hasGraphicalSession()) {
        std::fprintf(stderr,
            "quillet-app: no graphical session: no X server answers at DISPLAY and no Wayland compositor "
            "at WAYLAND_DISPLAY (with Qt's Wayland platform plugin). Start Quillet from your desktop "
            "session; `quillet expand` works without one.\n");
        return 1;
    }
    int status = 0;
    bool restart = false;
    {
        QApplication application(argc, argv);
        // Declared after the application, so that its parts are gone before the application is.
        quillet::QuilletApplication quillet(application);
        status = quillet.run();
        restart = quillet.wantsRestart();
        if (restart)
            quillet::QuilletApplication::holdDisplayAcrossRestart();
    }
    if (restart) {
        // The same program, as started at login: the files of this start were imported.
        setenv(quillet::QuilletApplication::restartedVariable, "1", 1);
        char* const arguments[] = { argv[0], nullptr };
        execv("/proc/self/exe", arguments);
        std::perror("quillet-app: could not start again");
        return 1;
    }
    return status;
}
