#pragma once

#include "expansion/Filter.h"

#include <unicode/unistr.h>

#include <memory>
#include <vector>

namespace quillet {

/// The registry of output filters: one shared instance of each, sorted by display name.
///
/// Built once on first use (thread-safe) and read-only afterwards, so any thread may use it.
class FilterStore {
public:
    static const FilterStore& shared();

    FilterStore();
    FilterStore(const FilterStore&) = delete;
    FilterStore& operator=(const FilterStore&) = delete;

    /// Every filter, ordered by display name (code-unit order: upper-case letters first).
    const std::vector<const Filter*>& allFilters() const noexcept { return m_sorted; }

    /// The filter whose keyword equals the name exactly. Throws NoFilterError otherwise.
    const Filter& filter(const icu::UnicodeString& name) const;

private:
    std::vector<std::unique_ptr<Filter>> m_filters;
    std::vector<const Filter*> m_sorted;
};

} // namespace quillet
