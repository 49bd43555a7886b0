#pragma once

#include <chrono>
#include <functional>
#include <system_error>

namespace quillet {

/// Ends the process with a message on standard error, status 1, when the thread for `what`
/// could not be started (the system gives the process too little memory or too few threads),
/// rather than aborting it. What runs when the process exits (runWhenProcessExits) runs then too.
[[noreturn]] void exitForLackOfThread(const char* what, const std::system_error& error);
/// The same when an allocation for `what` failed: the memory is lacking, not `what`.
[[noreturn]] void exitForLackOfMemory(const char* what);

/// True once the process has begun to end inside exit() without leaving its event loop, as
/// Qt's X11 platform plugin ends it when the display's connection breaks (a logout ends the
/// X server): the application object and its parts are then never destroyed, static storage
/// is being torn down, and what still runs must touch no Qt object.
bool processIsExiting() noexcept;

/// Runs the action when the main thread calls exit() (once, whichever way: also after the
/// event loop ended), with processIsExiting() true, so that the desktop's services stand
/// aside meanwhile. Call on the main thread once what the action uses exists; it runs before
/// the static storage made earlier goes away. One action: later calls do nothing. An
/// exception it throws is reported on standard error.
void runWhenProcessExits(std::function<void()> action);

/// Watches from a thread of its own that the main thread gets the application started: when
/// for `bound`, before startEnded(), that thread has neither run (had processor time) nor
/// called startGoesOn(), the start is stuck (in a library call that waits without end for a
/// bus that went away, say) and `whenStuck` runs on the watching thread, which is to end or
/// start the process again. Call once, on the main thread; without a thread to be had the
/// start goes unwatched.
void watchTheStart(std::chrono::milliseconds bound, std::function<void()> whenStuck);
/// The start made progress (the event loop turns). Async-signal-safe.
void startGoesOn() noexcept;
/// The start is over (the application serves, hands over or ends): nothing is watched any more.
void startEnded() noexcept;
/// Whether startEnded() was called.
bool startIsOver() noexcept;

/// Makes sure that a request to end (a termination signal, or the event loop's end) ends the
/// process even when its main thread is stuck (in a library that waits on a bus, say): a thread
/// of its own waits for startEndDeadline() and, once the main thread has then stood still (had
/// no processor time, and no file was being written by any thread) for `bound` with the process
/// still there, ends it with a message and status 1, without the last save the stuck thread
/// could not make. A main thread that works on (loads a large library) is let finish, and so is
/// a write that waits for a slow disk: a process that writes is not stuck. The X server and the
/// session bus let go of what the process held (its shortcuts, its name). Call once, on the main
/// thread; without a thread to be had it says so and the process goes on without.
void watchForStuckEnd(std::chrono::milliseconds bound);

/// Starts the watch of watchForStuckEnd(); later calls do nothing. Async-signal-safe: meant
/// for a signal handler.
void startEndDeadline() noexcept;

} // namespace quillet
