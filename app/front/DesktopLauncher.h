#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quillet {

/// The argument with which `quillet` alone starts quillet-app: open the editor window, at
/// once or in the instance that already runs. The start at login goes without it.
constexpr const char* showEditorOption = "--show-editor";

/// The argument with which `quillet action NAME` starts quillet-app, followed by the name: the
/// new instance runs that action once it has started.
constexpr const char* actionOption = "--action";

/// Whether the arguments ask for the desktop application: none at all, or only the paths
/// of existing files (bundle files to import).
bool isDesktopLaunch(const std::vector<std::string>& arguments);

/// `quillet` and `quillet FILE…`: with files, hands them (as absolute paths) to the running
/// application over D-Bus (OpenFiles); when it does not run, or without files, replaces
/// this process with quillet-app installed beside it (without files, with showEditorOption:
/// the application menu's entry opens the editor window, also on a desktop with no tray). Returns only on failure or
/// after the running application took the files: the exit status.
int runDesktopLauncher(const std::vector<std::string>& files, std::ostream& errors);

/// `quillet action NAME`, for desktops whose shortcuts run commands: asks the running
/// application to run the global action NAME (org.freedesktop.Application.ActivateAction),
/// answered before the action runs; when it does not run, replaces this process with
/// quillet-app and actionOption NAME. `arguments` follow "action". The exit status: 0 taken,
/// 1 refused or unanswered (the reason on `errors`), 64 bad usage (no or an unknown NAME).
int runGlobalActionCommand(const std::vector<std::string>& arguments, std::ostream& errors);

} // namespace quillet
