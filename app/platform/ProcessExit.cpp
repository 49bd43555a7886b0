#include "platform/ProcessExit.h"

#include "text/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <fcntl.h>
#include <iostream>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace quillet {
namespace {

std::atomic<bool> exiting { false };
std::thread::id mainThread;
// Made once and never destroyed: it runs while static storage is being torn down.
std::function<void()>* exitAction = nullptr;

void runExitAction()
{
    exiting = true;
    if (!exitAction || std::this_thread::get_id() != mainThread)
        return; // what the action touches belongs to the main thread, which may be changing it
    try {
        (*exitAction)();
    } catch (const std::exception& error) {
        std::cerr << "quillet-app: at exit: " << error.what() << '\n';
    } catch (...) {
        std::cerr << "quillet-app: at exit: an unknown error\n";
    }
}

// The start's last progress, in the steady clock's ticks, and whether it is over.
std::atomic<long long> startProgress { 0 };
std::atomic<bool> startOver { false };

long long ticksNow() noexcept
{
    return std::chrono::steady_clock::now().time_since_epoch().count();
}

// Written to by startEndDeadline(), read by the watching thread.
int endDeadlinePipe[2] = { -1, -1 };
std::atomic<bool> endDeadlineStarted { false };

/// The processor time the main thread has had, read from any thread: a thread that computes
/// (loads or writes a large library) is not stuck, one that waits for an answer without end is.
class MainThreadClock {
public:
    /// On the main thread.
    MainThreadClock() { m_known = pthread_getcpuclockid(pthread_self(), &m_clock) == 0; }

    std::chrono::nanoseconds used() const noexcept
    {
        timespec time {};
        if (!m_known || clock_gettime(m_clock, &time) != 0)
            return {};
        return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
    }

private:
    clockid_t m_clock {};
    bool m_known = false;
};

/// Less than this much processor time between two looks is standing still.
constexpr std::chrono::milliseconds runningAtLeast { 1 };

/// Tells, look after look, how long the main thread has stood still: it had no processor time,
/// no file was being written (a slow disk may take many seconds to flush one, and a process
/// that writes is not stuck) and, during the start, it did not say that the start goes on.
class Stillness {
public:
    explicit Stillness(const MainThreadClock& clock)
        : m_clock(clock)
        , m_used(clock.used())
    {
    }

    std::chrono::steady_clock::duration look(long long progressTicks)
    {
        const auto now = std::chrono::steady_clock::now();
        const auto used = m_clock.used();
        if (used - m_used >= runningAtLeast || progressTicks != m_progressTicks || fileWritesUnderWay() > 0)
            m_since = now;
        m_used = used;
        m_progressTicks = progressTicks;
        return now - m_since;
    }

private:
    const MainThreadClock& m_clock;
    std::chrono::nanoseconds m_used;
    long long m_progressTicks = 0;
    std::chrono::steady_clock::time_point m_since = std::chrono::steady_clock::now();
};

} // namespace

void exitForLackOfThread(const char* what, const std::system_error& error)
{
    std::cerr << "quillet-app: no thread could be started for " << what << " (" << error.code().message()
              << "): the system gives Quillet too little memory or too few threads\n";
    std::exit(1);
}

void exitForLackOfMemory(const char* what)
{
    std::cerr << "quillet-app: an allocation for " << what << " failed: the system gives Quillet too little memory\n";
    std::exit(1);
}

bool processIsExiting() noexcept
{
    return exiting.load();
}

void watchTheStart(std::chrono::milliseconds bound, std::function<void()> whenStuck)
{
    startGoesOn();
    try {
        std::thread([bound, whenStuck = std::move(whenStuck), clock = MainThreadClock()] {
            Stillness stillness(clock);
            // Looked at a few times within the bound.
            const auto interval = bound / 8;
            while (!startOver) {
                std::this_thread::sleep_for(interval);
                if (stillness.look(startProgress.load()) > bound && !startOver) {
                    whenStuck();
                    return;
                }
            }
        }).detach();
    } catch (const std::system_error& error) {
        std::cerr << "quillet-app: no thread to watch the start (" << error.what() << ")\n";
    }
}

void startGoesOn() noexcept
{
    startProgress = ticksNow();
}

void startEnded() noexcept
{
    startOver = true;
}

bool startIsOver() noexcept
{
    return startOver.load();
}

void watchForStuckEnd(std::chrono::milliseconds bound)
{
    if (endDeadlinePipe[0] >= 0 || pipe2(endDeadlinePipe, O_CLOEXEC) != 0)
        return;
    try {
        std::thread([bound, clock = MainThreadClock()] {
            char byte = 0;
            while (read(endDeadlinePipe[0], &byte, 1) < 0 && errno == EINTR) { }
            Stillness stillness(clock);
            while (stillness.look(0) <= bound)
                std::this_thread::sleep_for(bound / 8);
            // The main thread could not end the process. Only what is safe whatever that
            // thread holds (no allocation, no lock of the C library).
            static constexpr char message[]
                = "quillet-app: asked to end, but stuck: ending now, without the last save\n";
            [[maybe_unused]] const auto written = write(STDERR_FILENO, message, sizeof message - 1);
            _exit(1);
        }).detach();
    } catch (const std::system_error& error) {
        std::cerr << "quillet-app: no thread to make sure that the process ends when asked (" << error.what() << ")\n";
    }
}

void startEndDeadline() noexcept
{
    if (endDeadlinePipe[1] < 0 || endDeadlineStarted.exchange(true))
        return;
    const char byte = 1;
    [[maybe_unused]] const auto written = write(endDeadlinePipe[1], &byte, 1);
}

void runWhenProcessExits(std::function<void()> action)
{
    static std::atomic<bool> registered { false };
    // Handlers run in the reverse order of their registration, so this one runs before the
    // static storage made until now goes away.
    if (registered.exchange(true))
        return;
    mainThread = std::this_thread::get_id();
    exitAction = new std::function<void()>(std::move(action));
    std::atexit(runExitAction);
}

} // namespace quillet
