#include "platform/StopSignals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <termios.h>
#include <unistd.h>

namespace quillet {
namespace {

constexpr int stopSignals[] = { SIGTSTP, SIGTTIN, SIGTTOU };

// The reader's wake-up pipe; -1 while none reads it.
std::atomic<int> wakePipe { -1 };
// The stop signal waiting for the reader, with raisedByTerminalBit where the terminal raised it.
std::atomic<int> caughtStop { 0 };
constexpr int raisedByTerminalBit = 0x100;

void onStopSignal(int signal, siginfo_t* info, void*)
{
    const int savedErrno = errno;
    const int pipe = wakePipe.load();
    if (pipe >= 0) {
        caughtStop.store(signal | (info && info->si_code == SI_KERNEL ? raisedByTerminalBit : 0));
        const char byte = 1;
        [[maybe_unused]] const auto written = write(pipe, &byte, 1);
    } else {
        // Nobody reads: stop as if nothing had caught the signal (once this handler ends).
        ::signal(signal, SIG_DFL);
        raise(signal);
    }
    errno = savedErrno;
}

void onContinueSignal(int)
{
    caughtStop.store(0);
}

void handleWith(int signal, void (*handler)(int), struct sigaction* previous = nullptr)
{
    struct sigaction action { };
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // A call interrupted by a stop that is caught goes on where it was.
    action.sa_flags = handler == SIG_DFL ? 0 : SA_RESTART;
    sigaction(signal, &action, previous);
}

void catchWith(int signal, void (*handler)(int, siginfo_t*, void*))
{
    struct sigaction action { };
    action.sa_sigaction = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigaction(signal, &action, nullptr);
}

// Whether this process's group has its controlling terminal's foreground (false without one).
// Asking never raises a terminal signal, and never waits.
bool inTerminalForeground()
{
    const int terminal = open("/dev/tty", O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (terminal < 0)
        return false;
    const pid_t foreground = tcgetpgrp(terminal);
    close(terminal);
    return foreground == getpgrp();
}

// Whether a terminal's SIGTTOU or SIGTTIN stands for a call that would go through now.
bool noLongerOwed(CaughtStop stop)
{
    return stop.raisedByTerminal && stop.signal != SIGTSTP && inTerminalForeground();
}

} // namespace

void catchStopSignals(int wakeFd)
{
    wakePipe.store(wakeFd);
    for (const int signal : stopSignals)
        catchWith(signal, onStopSignal);
    handleWith(SIGCONT, onContinueSignal);
}

void restoreStopSignals()
{
    for (const int signal : stopSignals)
        handleWith(signal, SIG_DFL);
    handleWith(SIGCONT, SIG_DFL);
    wakePipe.store(-1);
}

CaughtStop takeCaughtStop()
{
    const int caught = caughtStop.exchange(0);
    const CaughtStop stop { caught & ~raisedByTerminalBit, (caught & raisedByTerminalBit) != 0 };
    return stop && !noLongerOwed(stop) ? stop : CaughtStop {};
}

void stopThisThread(CaughtStop stop)
{
    const int signal = stop.signal;
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &only, &before);
    // Raised before it stops anything, and waiting for this thread: should the process stop
    // and go on before this thread does (another thread's call on the terminal raised the
    // signal again once it stops by default), the continue drops it, and the process does not
    // stop twice. Whether it stops is what it does when it is taken.
    raise(signal);
    // Brought to the foreground since it was taken: `fg` gives the terminal to the job before
    // it continues it, so a continue that comes after this look drops the signal raised.
    if (noLongerOwed(stop)) {
        const timespec now {};
        sigtimedwait(&only, nullptr, &now);
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
        return;
    }
    struct sigaction previous { };
    handleWith(signal, SIG_DFL, &previous);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr); // stops here
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    sigaction(signal, &previous, nullptr);
    // Whatever stop came before the continue was this one.
    caughtStop.store(0);
}

void blockTerminalSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTTIN);
    sigaddset(&signals, SIGTTOU);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    sigemptyset(&signals);
    sigaddset(&signals, SIGTSTP);
    pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
}

} // namespace quillet
