#pragma once

#include <cstdlib>

namespace quillet {

/// Owns what XCB allocated for the caller (an `xcb_…_reply()` result, or an event): frees it
/// when it goes. Empty when the request failed (the reply is null).
template <typename Reply> class Freed {
public:
    explicit Freed(Reply* reply) noexcept
        : m_reply(reply)
    {
    }
    Freed(const Freed&) = delete;
    Freed& operator=(const Freed&) = delete;
    ~Freed() { std::free(m_reply); }

    Reply* get() const noexcept { return m_reply; }
    Reply* operator->() const noexcept { return m_reply; }
    explicit operator bool() const noexcept { return m_reply != nullptr; }

private:
    Reply* m_reply;
};

} // namespace quillet
