#include "ProcessRunner.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace quillet::test {
namespace {

void closeIfOpen(int& fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

} // namespace

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
    const std::string& standardInput, const std::map<std::string, std::string>& environment,
    const std::function<void()>& inChild)
{
    // A child that exits before reading its input must not kill the test with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0)
        throw std::runtime_error("pipe failed");

    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        for (int fd : { in[0], in[1], out[0], out[1], err[0], err[1] })
            close(fd);
        for (const auto& [key, value] : environment)
            setenv(key.c_str(), value.c_str(), 1);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        if (inChild)
            inChild();
        execv(program.c_str(), argv.data());
        _exit(127);
    }

    close(in[0]);
    close(out[1]);
    close(err[1]);
    int inFd = in[1], outFd = out[0], errFd = err[0];

    ProcessResult result;
    std::size_t written = 0;
    if (standardInput.empty())
        closeIfOpen(inFd);
    while (outFd >= 0 || errFd >= 0) {
        pollfd fds[3];
        int count = 0;
        auto add = [&](int fd, short events) {
            if (fd >= 0)
                fds[count++] = pollfd { fd, events, 0 };
        };
        add(inFd, POLLOUT);
        add(outFd, POLLIN);
        add(errFd, POLLIN);
        if (poll(fds, count, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < count; ++i) {
            if (!fds[i].revents)
                continue;
            if (fds[i].fd == inFd) {
                const ssize_t n = write(inFd, standardInput.data() + written, standardInput.size() - written);
                if (n <= 0 || (written += std::size_t(n)) == standardInput.size())
                    closeIfOpen(inFd);
                continue;
            }
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                closeIfOpen(fds[i].fd == outFd ? outFd : errFd);
                continue;
            }
            (fds[i].fd == outFd ? result.standardOutput : result.standardError).append(buffer, std::size_t(n));
        }
    }
    closeIfOpen(inFd);

    int status = 0;
    waitpid(pid, &status, 0);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

} // namespace quillet::test
