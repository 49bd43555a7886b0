#include "platform/atspi/CallBudget.h"

#include "front/Accessibility.h"

#include "platform/atspi/AtspiLog.h"

#include <algorithm>

namespace quillet {

CallBudget::CallBudget(std::chrono::milliseconds bound)
    : m_bound(bound)
{
}

CallBudget::~CallBudget()
{
    qCDebug(atspiLog) << "Accessibility calls of this press:" << m_calls << "in" << m_roundTrips << "round trips,"
                      << spent().count() << "ms";
}

void CallBudget::beginRoundTrip(int calls)
{
    if (exhausted())
        throw EditorTooSlowError();
    m_calls += calls;
    ++m_roundTrips;
}

void CallBudget::spend(Duration time)
{
    m_spent += std::max(time, Duration::zero());
}

void CallBudget::noteAnswers(Duration time, int answers)
{
    if (answers > 0)
        m_slowestAnswer = std::max(m_slowestAnswer, time / answers);
}

bool CallBudget::canFinish(int calls) const
{
    return !exhausted() && left() >= m_slowestAnswer * calls;
}

bool CallBudget::exhausted() const
{
    return m_spent >= m_bound;
}

CallBudget::Duration CallBudget::left() const
{
    return std::max(m_bound - m_spent, Duration::zero());
}

std::chrono::milliseconds CallBudget::spent() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(m_spent);
}

} // namespace quillet
