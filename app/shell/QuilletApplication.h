#pragma once

#include <QStringList>

#include <memory>

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
/// Otherwise run() makes the application's parts and connects them, in the order they depend
/// on each other: the process-wide settings, accessibility backend and library environment;
/// the application delegate with its expanding controller, appearance and global shortcuts;
/// the status menu with its controller, start at login and actions; the editor window and the
/// expander browser, each made on first demand; and last the D-Bus object. They are destroyed
/// in reverse order when this object is, which must be before the QApplication: the
/// process-wide objects that hold Qt objects go with them, after the library's waiting change
/// is written. Main thread only.
class QuilletApplication final {
public:
    /// Whether Qt will find a display that answers: a Wayland compositor (with Qt's Wayland
    /// plugin) or an X server; without one QApplication aborts the process. The X connection
    /// of the check stays open until this object is made, when Qt has its own: an X server
    /// resets when its last client leaves, and Qt's connection would find it resetting.
    static bool hasGraphicalSession();
    /// Before a restart's exec: a connection to the X server that the next image holds until
    /// Qt has its own, for the same reason.
    static void holdDisplayAcrossRestart();

    /// Names the application for the desktop, keeps it running when its last window closes,
    /// and ends its event loop on SIGTERM, SIGINT and SIGHUP as Quit would.
    explicit QuilletApplication(QApplication& application);
    ~QuilletApplication();
    QuilletApplication(const QuilletApplication&) = delete;
    QuilletApplication& operator=(const QuilletApplication&) = delete;

    /// Hands over to the running instance, or starts the application and runs its event loop
    /// until Quit. The process's exit status.
    int run();

    /// Whether the application ended to start again: the session bus restarted, and the
    /// desktop's services on it (notifications, the panel, the accessibility bus) are reached
    /// afresh only by a new process. The caller starts the program again, with no arguments,
    /// once the QApplication is gone.
    bool wantsRestart() const { return m_restart; }

    /// Marks the process that a restart starts (see wantsRestart()); such a process leaves
    /// quietly when another instance has taken the name meanwhile.
    static constexpr const char* restartedVariable = "QUILLET_RESTARTED";

private:
    struct Parts;

    /// The bus answered and the name is this instance's: the application starts.
    void startParts();
    /// Another instance owns the name: it gets the files or shows its editor. The exit status.
    int handOver() const;

    /// Bundle files to import, from the command line.
    QStringList m_files;
    /// `quillet` alone asks for the editor window; the start at login does not.
    bool m_showEditor = false;
    /// The connection that owns the session's name and serves the D-Bus object; it outlives
    /// the parts, whose service is registered on it.
    std::unique_ptr<SessionBusConnection> m_serviceBus;
    std::unique_ptr<Parts> m_parts;
    bool m_restart = false;
    /// Started again after a restart of the session bus.
    bool m_restarted = false;
};

} // namespace quillet
