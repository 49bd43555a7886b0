#include "text/FileLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>
#include <thread>

namespace quillet {

namespace {

// A holder that lets go soon is seen at once; one that holds on is asked a hundred times a
// second, so that the waiting thread answers a signal or a quit meanwhile.
constexpr std::chrono::milliseconds firstLookAgain { 1 };
constexpr std::chrono::milliseconds longestBetweenLooks { 10 };

int openForWriting(const std::filesystem::path& lockFile)
{
    constexpr int flags = O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    int fd = open(lockFile.c_str(), flags, 0644);
    if (fd < 0 && errno == ENOENT) {
        std::error_code error;
        std::filesystem::create_directories(lockFile.parent_path(), error);
        fd = open(lockFile.c_str(), flags, 0644);
    }
    return fd;
}

/// flock works on a descriptor opened for reading too: a lock file that is not ours, a folder
/// or a link to a file still locks, and every writer agrees on what it locks. Anything else
/// (a pipe, a device) is never opened.
int openForReading(const std::filesystem::path& lockFile)
{
    struct stat status { };
    if (stat(lockFile.c_str(), &status) != 0)
        return -1;
    if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode)) {
        errno = EINVAL;
        return -1;
    }
    const int fd = open(lockFile.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return -1;
    if (fstat(fd, &status) != 0 || (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode))) {
        close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

} // namespace

std::filesystem::path FileLock::lockFilePath(const std::filesystem::path& path)
{
    return path.parent_path() / ("." + path.filename().string() + ".lock");
}

FileLock::FileLock(const std::filesystem::path& path, std::chrono::milliseconds longest)
{
    const auto lockFile = lockFilePath(path);
    m_fd = openForWriting(lockFile);
    if (m_fd < 0) {
        const int writingError = errno;
        m_fd = openForReading(lockFile);
        if (m_fd < 0) {
            m_error = writingError;
            return;
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + longest;
    std::chrono::milliseconds step = firstLookAgain;
    for (;;) {
        if (flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
            m_state = State::held;
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            m_error = errno;
            close(m_fd);
            m_fd = -1;
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            m_state = State::busy;
            close(m_fd);
            m_fd = -1;
            return;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(step, deadline - now));
        step = std::min(step * 2, longestBetweenLooks);
    }
}

FileLock::~FileLock()
{
    // Closing the only descriptor of the open file releases its lock.
    if (m_fd >= 0)
        close(m_fd);
}

} // namespace quillet
