#include "platform/atspi/AccessibilityThread.h"

#include <utility>

namespace quillet {

AccessibilityThread::AccessibilityThread()
    : m_thread([this] { run(); })
{
}

AccessibilityThread::~AccessibilityThread()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_work.clear();
    }
    m_posted.notify_all();
    if (isCurrent())
        m_thread.detach();
    else
        m_thread.join();
}

void AccessibilityThread::post(std::function<void()> work)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        m_work.push_back(std::move(work));
    }
    m_posted.notify_one();
}

void AccessibilityThread::run()
{
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock lock(m_mutex);
            m_posted.wait(lock, [this] { return m_stopping || !m_work.empty(); });
            if (m_stopping)
                return;
            work = std::move(m_work.front());
            m_work.pop_front();
        }
        work();
    }
}

} // namespace quillet
