#pragma once

#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>

class QApplication;

namespace quillet {
class SessionBusConnection;
}

namespace quillet {

/// The tray application as one object. One instance per session: when another instance owns
/// the session's D-Bus name, run() hands it the files (or asks it to show its editor window)
/// and makes nothing else. Without a session bus that answers (at the start, or after it went
/// away) it ends: it cannot tell whether it is the session's only instance.
///
/// Otherwise, once Qt's own connection to the bus answers too, run() makes the application's
/// parts and connects them, in the order they depend on each other: the process-wide settings,
/// accessibility backend and library environment; the application delegate with its expanding
/// controller, appearance and global shortcuts; the status menu with its controller, start at
/// login and actions; the editor window and the expander browser, each made on first demand;
/// and last the D-Bus object, served from the moment the library starts loading. They are
/// destroyed in reverse order when this object is, which must be before the QApplication: the
/// D-Bus calls that have arrived are answered first, the files handed over imported, and the
/// process-wide objects that hold Qt objects go after the library's waiting change is written.
/// Main thread only, but for what the class's static functions say.
class QuilletApplication final {
public:
    /// Whether Qt will find a display that answers: a Wayland compositor (with Qt's Wayland
    /// plugin) or an X server; without one QApplication aborts the process. The X connection
    /// of the check stays open until this object is made, when Qt has its own: an X server
    /// resets when its last client leaves, and Qt's connection would find it resetting.
    static bool hasGraphicalSession();
    /// Starts the program again in this process with the arguments (the program's name first,
    /// then none once the files of the command line were imported, as at login) and
    /// restartedVariable set to `starts`, holding a connection to the X server open for the
    /// next image until Qt has its own (for the same reason). Returns only when that fails.
    /// Safe on any thread.
    static void startAgainInPlace(char* const* arguments, int starts);
    /// Watches the start of this process (until its parts start, it hands over or it ends):
    /// when the main thread is stuck for stuckStartBound (in Qt's D-Bus support, waiting
    /// without end for an answer from a session bus that went away), the process starts again
    /// in place with the same arguments, or ends after maximumStartsInARow. First thing in
    /// main(), with main's arguments.
    static void watchTheStart(char* const* arguments);

    /// Names the application for the desktop, keeps it running when its last window closes,
    /// and ends its event loop on SIGTERM, SIGINT and SIGHUP as Quit would.
    explicit QuilletApplication(QApplication& application);
    ~QuilletApplication();
    QuilletApplication(const QuilletApplication&) = delete;
    QuilletApplication& operator=(const QuilletApplication&) = delete;

    /// Hands over to the running instance, or starts the application and runs its event loop
    /// until Quit. The process's exit status.
    int run();

    /// Whether the application ended to start again: the session bus restarted (or went and
    /// came back before Qt's own connection to it could answer), and the desktop's services on
    /// it (notifications, the panel, the accessibility bus) are reached afresh only by a new
    /// process. Never after a termination signal. The caller starts the program again, with no
    /// arguments, once the QApplication is gone, with restartedVariable set to startsInARow().
    bool wantsRestart() const;
    /// The starts in a row, this one's included, that the bus ended before their parts started.
    int startsInARow() const { return m_startsInARow; }
    /// Whether the application's parts started (the files of the command line were imported).
    bool startedParts() const { return m_parts != nullptr; }

    /// Marks the process that a restart starts (see wantsRestart()), with the number of starts
    /// in a row; such a process leaves quietly when another instance has taken the name
    /// meanwhile.
    static constexpr const char* restartedVariable = "QUILLET_RESTARTED";
    /// Starts in a row that the bus may end before their parts start; then the application ends.
    static constexpr int maximumStartsInARow = 10;
    /// How long the accessibility bus may take to answer at the start before Qt's accessibility
    /// support is kept off it (startQtAccessibilityBridge).
    static constexpr std::chrono::milliseconds accessibilityBusBound { 2000 };
    /// How long the start may stand still (its event loop not turning, its thread not running)
    /// before it counts as stuck (watchTheStart).
    static constexpr std::chrono::milliseconds stuckStartBound { 10000 };
    /// How long the main thread may stand still (no processor time, no file being written)
    /// after a termination signal, or once the event loop has ended, before the process is
    /// ended without its last save (watchForStuckEnd). A save waiting on a slow disk is not
    /// standing still.
    static constexpr std::chrono::milliseconds endBound { 10000 };

private:
    struct Parts;

    /// The bus answered and the name is this instance's: the application starts once Qt's own
    /// connection to the bus answers too, or starts again in a new process when it cannot.
    void startOnceQtReachesTheBus();
    /// Ends the event loop to start again in a new process (or, after too many starts in a
    /// row, to end).
    void startAgain();
    /// The application starts.
    void startParts();
    /// Reaches the session bus and asks for the name (again, after an owner went away).
    void reachTheBus();
    /// Another instance owns the name: it gets the files or shows its editor. The exit status,
    /// or ownerWentAway when the owner asked ended without answering.
    int handOver() const;
    static constexpr int ownerWentAway = -1;

    /// Bundle files to import, from the command line.
    QStringList m_files;
    /// `quillet` alone asks for the editor window; the start at login does not.
    bool m_showEditor = false;
    /// The global action `quillet action` asked for, run once the application has started.
    std::optional<QString> m_action;
    /// The connection that owns the session's name and serves the D-Bus object; it outlives
    /// the parts, whose service is registered on it.
    std::unique_ptr<SessionBusConnection> m_serviceBus;
    std::unique_ptr<Parts> m_parts;
    bool m_restart = false;
    /// Started again after a restart of the session bus: the starts in a row (none: 0).
    int m_startsInARow = 0;
    /// Hand-overs tried whose owner went away before it answered.
    int m_handOverAttempts = 0;
};

} // namespace quillet
