#pragma once

namespace quillet {

/// Job control for a process that must let go of the keyboard before it stops.
///
/// While caught, SIGTSTP, SIGTTIN and SIGTTOU do not stop the process where they land: the
/// handler only remembers the signal and writes a byte to a wake-up pipe, whose reader lets go
/// of what a stopped process must not hold and then stops the process itself with
/// stopThisThread(). SIGCONT drops a stop that was not taken yet, as the kernel drops a pending
/// one. A handler that returns makes the call that raised SIGTTOU or SIGTTIN (a write to, or a
/// read from, the terminal of a background job) start again and raise it again, until the
/// reader has stopped the process: so the reader itself must never use the terminal (see
/// blockTerminalSignals()).
///
/// A SIGTTOU or SIGTTIN that the terminal raised counts only while the process is in its
/// terminal's background: a handler that the stop overtook (it ends once the process goes on)
/// leaves a stop behind that the job, brought to the foreground, no longer owes.
///
/// Async-signal-safe where a signal handler needs it; the rest is for the reader's thread.

/// A stop signal caught and not taken yet.
struct CaughtStop {
    int signal = 0;
    /// Raised by the terminal (a background job's call on it, or its suspend key), not sent
    /// by a process.
    bool raisedByTerminal = false;

    explicit operator bool() const { return signal != 0; }
};

/// Catches the stop signals for the reader of `wakeFd` (the write end of a non-blocking pipe),
/// and SIGCONT.
void catchStopSignals(int wakeFd);
/// Gives the stop signals and SIGCONT their default handling again; a stop caught from then on
/// stops the process at once.
void restoreStopSignals();
/// The stop signal caught and not taken yet, none when nothing is owed (a terminal's stop of a
/// job that is in the foreground now); taking it.
CaughtStop takeCaughtStop();
/// Stops the process as `stop` stops it when nothing catches it (the shell says which), on the
/// calling thread: returns once the process has been continued, or at once where the kernel
/// does not stop it (an orphaned process group) or where a terminal's stop is no longer owed.
/// A stop or a continue that came meanwhile counts as this one: no second stop follows.
void stopThisThread(CaughtStop stop);
/// Blocks SIGTTIN and SIGTTOU on the calling thread, and lets SIGTSTP reach it: a call of this
/// thread on a terminal then fails or goes through rather than raising a signal that starts it
/// again. The thread that stops the process must make no call that waits on a terminal either
/// (a write waits while the terminal's output is suspended): it leaves its log lines to another
/// thread.
void blockTerminalSignals();

} // namespace quillet
