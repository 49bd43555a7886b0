#include "text/RecursionObserver.h"

namespace quillet {

RecursionObserver& RecursionObserver::shared()
{
    thread_local RecursionObserver observer;
    return observer;
}

void RecursionObserver::check()
{
    if (m_nRepeats >= m_maxRepeats) {
        reset();
        throw RecursionError();
    }
    ++m_nRepeats;
}

} // namespace quillet
