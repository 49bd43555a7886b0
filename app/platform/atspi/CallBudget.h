#pragma once

#include <chrono>

namespace quillet {

/// The time that one press may spend waiting on the accessibility bus: each call waits at most
/// `callBound` for its answer, and the focus lookup with everything done through the element it
/// returns at most `pressBound` all together. A hung editor costs the press that much, never
/// more. Only the time spent on the bus counts: the search for the expansion between the read
/// and the write is this process's own time, not the editor's.
///
/// Calls are counted by round trip: calls sent together and then waited for together are one.
/// The budget also keeps how fast the editor answered the calls of this press, so that no
/// write starts that the time left cannot see through.
class CallBudget {
public:
    static constexpr std::chrono::milliseconds callBound { 250 };
    static constexpr std::chrono::milliseconds pressBound { 1000 };
    /// How long a press waits for the clipboard's owners and the display, at each step of a
    /// paste through the keyboard (ClipboardPaster): as long as one call on the bus.
    static constexpr std::chrono::milliseconds clipboardBound = callBound;
    /// How long a press waits for the clipboard's formats to arrive whole, before it takes the
    /// clipboard for a paste: a 30 MB image comes in well under it, and the rest of the press
    /// still fits in `pressBound`.
    static constexpr std::chrono::milliseconds clipboardReadBound { 600 };

    using Duration = std::chrono::steady_clock::duration;

    explicit CallBudget(std::chrono::milliseconds bound = pressBound);
    ~CallBudget();
    CallBudget(const CallBudget&) = delete;
    CallBudget& operator=(const CallBudget&) = delete;

    /// Before `calls` calls are sent together: throws EditorTooSlowError once the whole bound
    /// is spent.
    void beginRoundTrip(int calls);
    /// Time spent waiting on the bus.
    void spend(Duration time);
    /// `answers` answers came `time` after the one before them (or after the calls were sent).
    void noteAnswers(Duration time, int answers);
    /// Whether `calls` more calls, answered as slowly as the slowest since the last
    /// forgetAnswerTimes(), fit in what is left.
    bool canFinish(int calls) const;
    /// From now on only the answers of the editor written to count for canFinish(), not those
    /// of other applications asked on the way.
    void forgetAnswerTimes() { m_slowestAnswer = {}; }

    bool exhausted() const;
    Duration left() const;
    int calls() const noexcept { return m_calls; }
    int roundTrips() const noexcept { return m_roundTrips; }
    std::chrono::milliseconds spent() const;

private:
    Duration m_bound;
    Duration m_spent {};
    Duration m_slowestAnswer {};
    int m_calls = 0;
    int m_roundTrips = 0;
};

} // namespace quillet
