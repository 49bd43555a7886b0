#pragma once

#include <chrono>
#include <filesystem>

namespace quillet {

/// An advisory lock (flock) on a file beside the stored one, named ".<file name>.lock":
/// every writer of the file holds it around reading, comparing and replacing the file, so two
/// processes take turns and neither replaces what the other wrote without having read it.
///
/// The lock file is opened for writing (and made when missing); where that is refused (it
/// belongs to another user, it is a folder or a link) it is opened for reading, on which the
/// lock works just as well. Waits at most `longest` for another holder to let go, in short
/// steps, so that a signal or a quit is answered meanwhile. Held until destroyed.
class FileLock {
public:
    enum class State {
        held,
        /// Another process held it for the whole wait.
        busy,
        /// No lock can be had: the lock file can neither be made nor opened (see error()).
        unavailable,
    };

    FileLock(const std::filesystem::path& path, std::chrono::milliseconds longest);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    State state() const noexcept { return m_state; }
    bool isHeld() const noexcept { return m_state == State::held; }
    /// Why the lock is unavailable (an errno value); 0 otherwise.
    int error() const noexcept { return m_error; }

    /// The lock file of the stored file at the path.
    static std::filesystem::path lockFilePath(const std::filesystem::path& path);

private:
    int m_fd = -1;
    State m_state = State::unavailable;
    int m_error = 0;
};

} // namespace quillet
