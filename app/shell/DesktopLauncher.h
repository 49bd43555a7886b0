#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quillet {

/// Whether the arguments ask for the desktop application: none at all, or only the paths
/// of existing files (bundle files to import).
bool isDesktopLaunch(const std::vector<std::string>& arguments);

/// `quillet` and `quillet FILE…`: with files, hands them (as absolute paths) to the running
/// application over D-Bus (OpenFiles); when it does not run, or without files, replaces
/// this process with quillet-app installed beside it. Returns only on failure or after
/// the running application took the files: the exit status.
int runDesktopLauncher(const std::vector<std::string>& files, std::ostream& errors);

} // namespace quillet
