#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace quillet {

/// The one thread that speaks to the accessibility bus: it runs the work posted to it, one
/// piece after the other, in the order posted. Nothing else ever touches the connection that
/// this work uses, so no second thread, event loop or library can handle its messages.
class AccessibilityThread {
public:
    AccessibilityThread();
    /// Finishes the work under way, drops what waits, and joins.
    ~AccessibilityThread();
    AccessibilityThread(const AccessibilityThread&) = delete;
    AccessibilityThread& operator=(const AccessibilityThread&) = delete;

    void post(std::function<void()> work);
    bool isCurrent() const noexcept { return std::this_thread::get_id() == m_thread.get_id(); }

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::function<void()>> m_work;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace quillet
