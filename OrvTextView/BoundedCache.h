#pragma once

#include <cstddef>
#include <functional>
#include <unordered_map>
#include <utility>

namespace orv {

/// Memoises what is costly to make from a key (a compiled regular expression, a matcher),
/// up to a fixed number of entries.
///
/// The one rule for every such memo of the text view and of the application that uses it:
/// an entry stays until the cache holds maximumEntries, and the entry after that starts it
/// afresh. The limit is above the distinct expressions of the largest library anyone keeps,
/// so a steady library never compiles twice; it only stops edits (each leaves a stale
/// entry behind) from growing the memo without end.
///
/// Plain C++ for the Qt-free core as well. Not thread-safe: keep one per thread. A pointer or
/// reference to an entry stays valid until the next insert() or clear().
template <class Key, class Value, class Hash = std::hash<Key>, class Equal = std::equal_to<>> class BoundedCache {
public:
    static constexpr std::size_t maximumEntries = 50'000;

    /// The entry of `key`, or null. With a transparent Hash and Equal, `key` may be a view.
    template <class Lookup> Value* find(const Lookup& key)
    {
        const auto found = m_entries.find(key);
        return found == m_entries.end() ? nullptr : &found->second;
    }

    /// Stores `value` for `key` (replacing an entry of that key) and returns the stored value.
    Value& insert(Key key, Value value)
    {
        if (m_entries.size() >= maximumEntries)
            m_entries.clear();
        return m_entries.insert_or_assign(std::move(key), std::move(value)).first->second;
    }

    std::size_t size() const noexcept { return m_entries.size(); }
    void clear() noexcept { m_entries.clear(); }

private:
    std::unordered_map<Key, Value, Hash, Equal> m_entries;
};

} // namespace orv
