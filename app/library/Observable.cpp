#include "library/Observable.h"

#include <algorithm>

namespace quillet {

Observable::ObserverId Observable::addObserver(Observer observer)
{
    const ObserverId id = m_nextId++;
    m_observers.push_back({ id, std::move(observer) });
    return id;
}

void Observable::removeObserver(ObserverId id)
{
    std::erase_if(m_observers, [id](const Entry& entry) { return entry.id == id; });
}

void Observable::notify(Property property, Phase phase) const
{
    if (m_observers.empty())
        return;
    // Observers may remove themselves while being told; work on the list as it was, but
    // skip an observer that a previous one removed.
    std::vector<ObserverId> ids;
    ids.reserve(m_observers.size());
    for (const auto& entry : m_observers)
        ids.push_back(entry.id);
    for (ObserverId id : ids) {
        auto found
            = std::find_if(m_observers.begin(), m_observers.end(), [id](const Entry& entry) { return entry.id == id; });
        if (found != m_observers.end()) {
            auto observer = found->observer; // the entry may go away during the call
            observer(property, phase);
        }
    }
}

} // namespace quillet
