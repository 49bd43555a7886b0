#include "OrvTextView/Misc/DelayedActionController.h"

#include <QTimer>

#include <cmath>

namespace orv {

namespace {

int milliseconds(std::chrono::steady_clock::duration duration)
{
    return int(std::ceil(std::chrono::duration<double, std::milli>(duration).count()));
}

} // namespace

DelayedActionController::DelayedActionController(double interval, std::function<void()> action, QObject* parent)
    : QObject(parent)
    , m_interval(std::max(0.0, interval))
    , m_action(std::move(action))
{
}

void DelayedActionController::perform()
{
    m_lastTime = Clock::now();
    const quint64 request = ++m_lastRequest;
    const int delay = int(std::ceil(m_interval * 1000));
    // The timer belongs to this controller: destroying the controller cancels it.
    QTimer::singleShot(delay, Qt::PreciseTimer, this, [this, request] { check(request); });
}

void DelayedActionController::check(quint64 request)
{
    if (!m_lastTime)
        return;
    const auto interval = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(m_interval));
    const auto elapsed = Clock::now() - *m_lastTime;
    if (elapsed >= interval) {
        // When the event loop was busy, the timers of several requests of one burst all wake
        // after the quiet time: the first of them answers the burst, the rest do nothing.
        if (m_interval > 0 && m_answeredRequest == m_lastRequest)
            return;
        m_answeredRequest = m_lastRequest;
        if (m_action)
            m_action();
        return;
    }
    // A timer may wake a moment early; the latest request waits out the rest of its time.
    if (request == m_lastRequest)
        QTimer::singleShot(
            std::max(1, milliseconds(interval - elapsed)), Qt::PreciseTimer, this, [this, request] { check(request); });
}

} // namespace orv
