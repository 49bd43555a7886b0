// The stop signals of a job on a terminal of its own: which caught stops are still owed once the
// job has been brought to the foreground. Each case runs as a job in the background of a
// pseudo-terminal (with `stty tostop`) whose session leader holds the foreground, as a shell
// does.
#include "platform/StopSignals.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace quillet {
namespace {

enum class Then { staysInBackground, broughtToForeground };

struct StopCase {
    const char* name;
    Then then;
    int expectedSignal; // 0: nothing owed
};

// What the child found, as an exit status: 0 when it matched, otherwise the step that did not.
enum Step { matched = 0, noTerminal = 10, noJob, noWake, wrongSignal, wrongOrigin, sentKept, stoppedAnyway };

const char* stepName(int step)
{
    switch (step) {
    case matched:
        return "matched";
    case noTerminal:
        return "no pseudo-terminal";
    case noJob:
        return "the job did not run";
    case noWake:
        return "the terminal's SIGTTOU never woke the reader";
    case wrongSignal:
        return "a stop not owed was taken, or one owed was dropped";
    case wrongOrigin:
        return "the terminal's stop was taken as sent by a process";
    case sentKept:
        return "a stop that a process sent was dropped";
    case stoppedAnyway:
        return "the job stopped in the foreground";
    }
    return "unknown";
}

// The job: in the background of `terminal`, its leader in the foreground.
int runJob(const StopCase& c, int terminal)
{
    // This thread may take the terminal's foreground without stopping itself.
    blockTerminalSignals();
    int wake[2];
    if (pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0)
        return noWake;
    catchStopSignals(wake[1]);
    // A background job's write: the terminal raises SIGTTOU, and the call starts again after
    // each caught one until the job has the terminal.
    std::thread writer([terminal] {
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGTTOU);
        pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
        [[maybe_unused]] const auto written = write(terminal, "x", 1);
    });
    pollfd woken { wake[0], POLLIN, 0 };
    if (poll(&woken, 1, 5000) != 1) {
        tcsetpgrp(terminal, getpgrp());
        writer.join();
        return noWake;
    }
    if (c.then == Then::broughtToForeground) {
        tcsetpgrp(terminal, getpgrp());
        writer.join();
    }
    const CaughtStop caught = takeCaughtStop();
    if (c.then == Then::staysInBackground) {
        tcsetpgrp(terminal, getpgrp());
        writer.join();
    }
    if (caught.signal != c.expectedSignal)
        return wrongSignal;
    if (caught && !caught.raisedByTerminal)
        return wrongOrigin;

    // In the foreground now: a terminal's stop is owed no longer and stops nothing...
    stopThisThread({ SIGTTOU, true });
    if (takeCaughtStop())
        return stoppedAnyway;
    // ...while one that a process sent is, as it would stop the process uncaught.
    kill(getpid(), SIGTTOU);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTTOU);
    pthread_sigmask(SIG_UNBLOCK, &signals, nullptr); // the handler runs here
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    const CaughtStop sent = takeCaughtStop();
    restoreStopSignals();
    return sent.signal == SIGTTOU && !sent.raisedByTerminal ? matched : sentKept;
}

// The session leader: its child's group is not orphaned, so the job's stops do stop it.
int runSession(const StopCase& c)
{
    setsid();
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return noTerminal;
    const int terminal = open(ptsname(master), O_RDWR); // the session's controlling terminal
    termios attributes {};
    if (terminal < 0 || tcgetattr(terminal, &attributes) != 0)
        return noTerminal;
    attributes.c_lflag |= TOSTOP;
    tcsetattr(terminal, TCSANOW, &attributes);
    const pid_t job = fork();
    if (job == 0) {
        setpgid(0, 0);
        _exit(runJob(c, terminal));
    }
    if (job < 0)
        return noJob;
    setpgid(job, job);
    int status = 0;
    waitpid(job, &status, WUNTRACED);
    if (WIFSTOPPED(status)) {
        kill(job, SIGKILL);
        waitpid(job, &status, 0);
        return stoppedAnyway;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : noJob;
}

TEST(StopSignalsTest, aTerminalsStopCountsOnlyWhileTheJobIsInTheBackground)
{
    const StopCase cases[] = {
        { "still in the background", Then::staysInBackground, SIGTTOU },
        { "brought to the foreground before it was taken", Then::broughtToForeground, 0 },
    };
    for (const StopCase& c : cases) {
        SCOPED_TRACE(c.name);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            _exit(runSession(c));
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_STREQ(stepName(WEXITSTATUS(status)), stepName(matched));
    }
}

} // namespace
} // namespace quillet
