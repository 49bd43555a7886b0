#pragma once

namespace quillet {

/// True once the process has begun to end inside exit() without leaving its event loop, as
/// Qt's X11 platform plugin ends it when the display's connection breaks (a logout ends the
/// X server): the application object and its parts are then never destroyed, static storage
/// is being torn down, and what still runs must touch no Qt object.
bool processIsExiting() noexcept;

/// Makes an exit() from inside the event loop write the library's waiting change first, so
/// that no edit is lost when the display goes away. Call on the main thread once the library
/// is open (later calls do nothing). The write goes through the library holder while the
/// desktop's services stand aside (processIsExiting()); a failure is reported on standard
/// error.
void saveLibraryWhenProcessExits();

} // namespace quillet
