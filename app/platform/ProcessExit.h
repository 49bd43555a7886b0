#pragma once

#include <functional>
#include <system_error>

namespace quillet {

/// Ends the process with a message on standard error, status 1, when the thread for `what`
/// could not be started (the system gives the process too little memory or too few threads),
/// rather than aborting it. What runs when the process exits (runWhenProcessExits) runs then too.
[[noreturn]] void exitForLackOfThread(const char* what, const std::system_error& error);

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

} // namespace quillet
