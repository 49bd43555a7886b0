#include "expansion/FilterStore.h"

#include "expansion/Filters.h"
#include "expansion/NoFilterError.h"

#include <algorithm>

namespace quillet {

const FilterStore& FilterStore::shared()
{
    static const FilterStore store; // C++ guarantees a once-only, thread-safe initialisation
    return store;
}

FilterStore::FilterStore()
{
    m_filters.push_back(std::make_unique<UppercaseFilter>());
    m_filters.push_back(std::make_unique<LowercaseFilter>());
    m_filters.push_back(std::make_unique<SnakeCaseFilter>());
    m_filters.push_back(std::make_unique<PascalCaseFilter>());
    m_filters.push_back(std::make_unique<CamelCaseFilter>());
    m_filters.push_back(std::make_unique<CapitalizeFilter>());
    m_filters.push_back(std::make_unique<MD5Filter>());
    m_filters.push_back(std::make_unique<SHA1Filter>());
    m_filters.push_back(std::make_unique<RemoveSpacesFilter>());
    m_filters.push_back(std::make_unique<LCFirstFilter>());
    m_filters.push_back(std::make_unique<UCFirstFilter>());

    for (const auto& filter : m_filters)
        m_sorted.push_back(filter.get());
    // Every display name is ASCII, so code-unit order is the plain string order.
    std::stable_sort(m_sorted.begin(), m_sorted.end(),
        [](const Filter* a, const Filter* b) { return a->name().compare(b->name()) < 0; });
}

const Filter& FilterStore::filter(const icu::UnicodeString& name) const
{
    for (const Filter* filter : m_sorted) {
        if (filter->id() == name)
            return *filter;
    }
    throw NoFilterError(name);
}

} // namespace quillet
