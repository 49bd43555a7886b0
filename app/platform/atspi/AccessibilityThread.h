#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace quillet {

/// The one thread that speaks to the accessibility bus: it runs the work posted to it, one
/// piece after the other, in the order posted. Nothing else ever touches the connection that
/// this work uses, so no second thread, event loop or library can handle its messages.
class AccessibilityThread {
public:
    AccessibilityThread();
    /// Drops what waits, lets the work under way finish, and joins; from the thread's own work,
    /// the thread ends once that work returns (what it runs on is its own, not this object's).
    ~AccessibilityThread();
    AccessibilityThread(const AccessibilityThread&) = delete;
    AccessibilityThread& operator=(const AccessibilityThread&) = delete;

    void post(std::function<void()> work);
    bool isCurrent() const noexcept { return std::this_thread::get_id() == m_thread.get_id(); }

private:
    struct Queue {
        std::mutex mutex;
        std::condition_variable posted;
        std::deque<std::function<void()>> work;
        bool stopping = false;
    };
    static void run(const std::shared_ptr<Queue>& queue);

    std::shared_ptr<Queue> m_queue = std::make_shared<Queue>();
    std::thread m_thread;
};

} // namespace quillet
