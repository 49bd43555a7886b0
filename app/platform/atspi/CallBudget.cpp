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
                      << elapsed().count() << "ms";
}

void CallBudget::beginRoundTrip(int calls)
{
    if (exhausted())
        throw EditorNotAnsweringError();
    m_calls += calls;
    ++m_roundTrips;
}

int CallBudget::callTimeoutMilliseconds() const
{
    const auto left = m_bound - elapsed();
    return int(std::clamp(left, std::chrono::milliseconds(1), callBound).count());
}

bool CallBudget::exhausted() const
{
    return elapsed() >= m_bound;
}

std::chrono::milliseconds CallBudget::elapsed() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_start);
}

} // namespace quillet
