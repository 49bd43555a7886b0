#pragma once

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace quillet::test {

/// Whether another process (flock(1)) can take the lock file's lock now.
inline bool anotherProcessCanLock(const std::filesystem::path& lockFile)
{
    const std::string command = "flock -n -x '" + lockFile.string() + "' true";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

/// A child process that holds the lock file's lock (flock(1)) until released or destroyed.
class LockHolder {
public:
    explicit LockHolder(const std::filesystem::path& lockFile)
    {
        m_pid = fork();
        if (m_pid == 0) {
            setpgid(0, 0);
            execlp("flock", "flock", "-o", "-x", lockFile.c_str(), "sleep", "1000", static_cast<char*>(nullptr));
            _exit(127);
        }
        using namespace std::chrono_literals;
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (anotherProcessCanLock(lockFile) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
    }
    ~LockHolder() { release(); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    void release()
    {
        if (m_pid <= 0)
            return;
        kill(-m_pid, SIGKILL);
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
};

} // namespace quillet::test
