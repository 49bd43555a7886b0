#pragma once

#include <functional>

namespace quillet {

/// Runs a save a short while later, so that a burst of changes (typing) is written once.
/// The application implements it with its event loop's timer; without one, the library is
/// written at every change.
class SaveScheduler {
public:
    virtual ~SaveScheduler() = default;

    /// The longest a change waits before it is written: what a killed process may lose.
    static constexpr int delayMilliseconds = 500;

    /// Runs `save` once, at most delayMilliseconds from now, on the calling thread. A save
    /// already scheduled is replaced without moving its time.
    virtual void schedule(std::function<void()> save) = 0;
    /// Drops the scheduled save, if any.
    virtual void cancel() = 0;

    /// Whether post() runs actions on this scheduler's thread: then the library is written on
    /// a thread of its own and its results come back through post().
    virtual bool canPost() const { return false; }
    /// Runs the action on the scheduler's thread soon; callable from any thread.
    virtual void post(std::function<void()> /*action*/) { }
};

} // namespace quillet
