#pragma once

#include "platform/KeySynthesizer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace quillet {

/// What a hold can do with its keys besides letting them go: for a press that writes through
/// the keyboard, whose keys would otherwise wait behind the ones the hold keeps. Any thread.
class HeldKeys {
public:
    virtual ~HeldKeys() = default;
    /// Takes the keys held so far, and those typed until the hold ends, off the display: they
    /// go on in order when it ends, at the caret the focused window has then. False when the
    /// hold has ended (its keys went on).
    virtual bool setAside() = 0;
    /// Whether a key typed after the shortcut that can change a text (not a modifier alone, not
    /// the shortcut's own releases or its key's auto-repeat) went on to the focused window
    /// before the hold was let go: its bound passed, or the process stopped, while the press
    /// ran. The focused text may then hold it, and nobody saw it arrive.
    virtual bool wentOn() const = 0;
    /// Sends a key chord (keysyms, see KeySynthesizer) to `window` ahead of the keys set aside,
    /// when `window` has the input focus: the focus is asked and the keys sent in one hold of
    /// the display (KeySynthesizer::holdDisplayIfFocused()), so that a window switched to in
    /// the meantime never gets them. Not sent when the keys are not set aside, or the chord did
    /// not reach the window.
    virtual KeySynthesizer::Sent sendChord(const std::vector<uint32_t>& keysyms, uint32_t window) = 0;
};

/// Keeps the keys pressed after a global shortcut waiting, in the order they were pressed,
/// until the hold is released: then they go to the focused window as if typed just now.
/// Released at the latest when it is destroyed; an empty hold holds nothing. Move-only, so
/// that exactly one owner decides when the keys may go; it may be handed from one thread to
/// another, its release function runs on the thread of its last owner.
class KeyboardHold {
public:
    KeyboardHold() = default;
    /// `release` runs once, on release() or destruction.
    explicit KeyboardHold(std::function<void()> release, std::shared_ptr<HeldKeys> keys = nullptr)
        : m_release(std::move(release))
        , m_keys(std::move(keys))
    {
    }
    KeyboardHold(KeyboardHold&& other) noexcept
        : m_release(std::exchange(other.m_release, nullptr))
        , m_keys(std::move(other.m_keys))
    {
    }
    KeyboardHold& operator=(KeyboardHold&& other) noexcept
    {
        if (this != &other) {
            release();
            m_release = std::exchange(other.m_release, nullptr);
            m_keys = std::move(other.m_keys);
        }
        return *this;
    }
    KeyboardHold(const KeyboardHold&) = delete;
    KeyboardHold& operator=(const KeyboardHold&) = delete;
    ~KeyboardHold() { release(); }

    void release()
    {
        m_keys.reset();
        if (auto release = std::exchange(m_release, nullptr))
            release();
    }
    bool holds() const noexcept { return static_cast<bool>(m_release); }
    /// Tells whether the keys went on before the hold was let go (HeldKeys::wentOn()), asked
    /// from any thread and also once the hold has been moved on or let go; always false for a
    /// hold that can only let its keys go. Take it before the hold is let go.
    std::function<bool()> wentOnCheck() const
    {
        return [keys = m_keys] { return keys && keys->wentOn(); };
    }
    /// What the hold can do with its keys; null for a hold that can only let them go.
    HeldKeys* keys() const noexcept { return m_release ? m_keys.get() : nullptr; }

private:
    std::function<void()> m_release;
    std::shared_ptr<HeldKeys> m_keys;
};

} // namespace quillet
