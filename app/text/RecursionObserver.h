#pragma once

#include <exception>

namespace quillet {

/// Thrown by RecursionObserver::check() when the limit is reached.
class RecursionError : public std::exception {
public:
    const char* what() const noexcept override { return "recursion limit exceeded"; }
};

/// Counts nested parses so that a chain of embeddings cannot go on for ever.
///
/// Counts are per thread: the documentation pane parses on a background thread while the
/// main thread may parse too, and the two chains must not raise or reset each other's count.
/// shared() is the element parser's counter; the expander variable keeps its own.
class RecursionObserver {
public:
    static constexpr int defaultMaxRepeats = 20;

    explicit RecursionObserver(int maxRepeats = defaultMaxRepeats)
        : m_maxRepeats(maxRepeats)
    {
    }

    /// The element parser's counter for the calling thread.
    static RecursionObserver& shared();

    int maxRepeats() const noexcept { return m_maxRepeats; }
    int nRepeats() const noexcept { return m_nRepeats; }
    void setNRepeats(int nRepeats) noexcept { m_nRepeats = nRepeats; }

    void reset() noexcept { m_nRepeats = 0; }
    /// Counts one more level; at the limit resets and throws RecursionError.
    void check();

private:
    int m_maxRepeats;
    int m_nRepeats = 0;
};

} // namespace quillet
