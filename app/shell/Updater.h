#pragma once

namespace quillet {

/// Update checks without network calls of our own: the check opens the web site's update
/// page for the running version in the desktop's browser, which tells the user whether a
/// newer version exists and where to get it.
class Updater {
public:
    void checkForUpdates() const;
};

} // namespace quillet
