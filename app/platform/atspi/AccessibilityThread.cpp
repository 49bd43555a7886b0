#include "platform/atspi/AccessibilityThread.h"

#include <utility>

namespace quillet {

AccessibilityThread::AccessibilityThread()
    : m_thread([queue = m_queue] { run(queue); })
{
}

AccessibilityThread::~AccessibilityThread()
{
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(m_queue->mutex);
        m_queue->stopping = true;
        dropped.swap(m_queue->work);
    }
    m_queue->posted.notify_all();
    // Released outside the lock: what the work holds may post again on its way out.
    dropped.clear();
    if (isCurrent())
        m_thread.detach();
    else
        m_thread.join();
}

void AccessibilityThread::post(std::function<void()> work)
{
    {
        std::lock_guard lock(m_queue->mutex);
        if (m_queue->stopping)
            return;
        m_queue->work.push_back(std::move(work));
    }
    m_queue->posted.notify_one();
}

void AccessibilityThread::run(const std::shared_ptr<Queue>& queue)
{
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock lock(queue->mutex);
            queue->posted.wait(lock, [&queue] { return queue->stopping || !queue->work.empty(); });
            if (queue->stopping)
                return;
            work = std::move(queue->work.front());
            queue->work.pop_front();
        }
        work();
    }
}

} // namespace quillet
