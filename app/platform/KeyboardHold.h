#pragma once

#include <functional>
#include <utility>

namespace quillet {

/// Keeps the keys pressed after a global shortcut waiting, in the order they were pressed,
/// until the hold is released: then they go to the focused window as if typed just now.
/// Released at the latest when it is destroyed; an empty hold holds nothing. Move-only, so
/// that exactly one owner decides when the keys may go; it may be handed from one thread to
/// another, its release function runs on the thread of its last owner.
class KeyboardHold {
public:
    KeyboardHold() = default;
    /// `release` runs once, on release() or destruction.
    explicit KeyboardHold(std::function<void()> release)
        : m_release(std::move(release))
    {
    }
    KeyboardHold(KeyboardHold&& other) noexcept
        : m_release(std::exchange(other.m_release, nullptr))
    {
    }
    KeyboardHold& operator=(KeyboardHold&& other) noexcept
    {
        if (this != &other) {
            release();
            m_release = std::exchange(other.m_release, nullptr);
        }
        return *this;
    }
    KeyboardHold(const KeyboardHold&) = delete;
    KeyboardHold& operator=(const KeyboardHold&) = delete;
    ~KeyboardHold() { release(); }

    void release()
    {
        if (auto release = std::exchange(m_release, nullptr))
            release();
    }
    bool holds() const noexcept { return static_cast<bool>(m_release); }

private:
    std::function<void()> m_release;
};

} // namespace quillet
