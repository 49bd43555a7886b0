#pragma once

#include <chrono>

namespace quillet {

/// The time that one press may spend on the accessibility bus: each call waits at most
/// `callBound`, and the focus lookup with everything done through the element it returns at
/// most `pressBound` all together. A hung editor costs the press that much, never more.
///
/// Calls are counted by round trip: calls sent together and then waited for together are one.
class CallBudget {
public:
    static constexpr std::chrono::milliseconds callBound { 250 };
    static constexpr std::chrono::milliseconds pressBound { 1000 };

    explicit CallBudget(std::chrono::milliseconds bound = pressBound);
    ~CallBudget();
    CallBudget(const CallBudget&) = delete;
    CallBudget& operator=(const CallBudget&) = delete;

    /// Before `calls` calls are sent together: throws EditorNotAnsweringError once the whole
    /// bound is spent.
    void beginRoundTrip(int calls);
    /// How long the calls about to be sent may wait for their answers: the call bound, or what
    /// is left of the whole one when that is less.
    int callTimeoutMilliseconds() const;

    bool exhausted() const;
    int calls() const noexcept { return m_calls; }
    int roundTrips() const noexcept { return m_roundTrips; }
    std::chrono::milliseconds elapsed() const;

private:
    using Clock = std::chrono::steady_clock;

    Clock::time_point m_start = Clock::now();
    std::chrono::milliseconds m_bound;
    int m_calls = 0;
    int m_roundTrips = 0;
};

} // namespace quillet
