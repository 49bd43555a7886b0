// quillet-app: the tray application. One instance per session: a second start hands its
// files to the first over D-Bus, or else asks it to show the editor window, and exits.
#include "shell/QuilletApplication.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    // A start in place runs /proc/self/exe, which would name the process "exe" for ps and
    // the desktop's task managers: it keeps the program's name.
    if (std::getenv(quillet::QuilletApplication::restartedVariable) && argc > 0)
        prctl(PR_SET_NAME, std::filesystem::path(argv[0]).filename().c_str());
    if (!quillet::QuilletApplication::hasGraphicalSession()) {
        std::fprintf(stderr,
            "quillet-app: no graphical session: no X server answers at DISPLAY and no Wayland compositor "
            "at WAYLAND_DISPLAY (with Qt's Wayland platform plugin). Start Quillet from your desktop "
            "session; `quillet expand` works without one.\n");
        return 1;
    }
    // A libdbus connection that the session bus's end cuts off can meet a call of Qt's
    // D-Bus support that libdbus takes for a programming error, and by default it aborts the
    // process then (a bus killed twice while Qt starts). Such a call fails instead: the
    // application then sees the bus go and starts again. A value the user set stays.
    setenv("DBUS_FATAL_WARNINGS", "0", 0);
    quillet::QuilletApplication::watchTheStart(argv);
    int status = 0;
    bool restart = false;
    bool startedParts = false;
    int starts = 0;
    {
        QApplication application(argc, argv);
        // Declared after the application, so that its parts are gone before the application is.
        quillet::QuilletApplication quillet(application);
        status = quillet.run();
        restart = quillet.wantsRestart();
        starts = quillet.startsInARow();
        startedParts = quillet.startedParts();
    }
    if (restart) {
        char* const asAtLogin[] = { argv[0], nullptr };
        quillet::QuilletApplication::startAgainInPlace(startedParts ? asAtLogin : argv, starts);
        return 1;
    }
    return status;
}
