#include "platform/StopSignals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <unistd.h>

namespace quillet {
namespace {

constexpr int stopSignals[] = { SIGTSTP, SIGTTIN, SIGTTOU };

// The reader's wake-up pipe; -1 while none reads it.
std::atomic<int> wakePipe { -1 };
// The stop signal waiting for the reader.
std::atomic<int> caughtStop { 0 };

void onStopSignal(int signal)
{
    const int savedErrno = errno;
    const int pipe = wakePipe.load();
    if (pipe >= 0) {
        caughtStop.store(signal);
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

} // namespace

void catchStopSignals(int wakeFd)
{
    wakePipe.store(wakeFd);
    for (const int signal : stopSignals)
        handleWith(signal, onStopSignal);
    handleWith(SIGCONT, onContinueSignal);
}

void restoreStopSignals()
{
    for (const int signal : stopSignals)
        handleWith(signal, SIG_DFL);
    handleWith(SIGCONT, SIG_DFL);
    wakePipe.store(-1);
}

int takeCaughtStop()
{
    return caughtStop.exchange(0);
}

void stopThisThread(int signal)
{
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
