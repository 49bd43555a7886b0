#include "platform/ClipboardPaster.h"

#include "platform/atspi/CallBudget.h"
#include "text/UnicodeConversion.h"

#include <utility>

namespace quillet {
namespace {

constexpr uint32_t deleteKeysym = 0xffff; // Delete
// The paste chord: every toolkit pastes the clipboard with Shift+Insert, and no layout moves
// its keys.
constexpr uint32_t shiftKeysym = 0xffe1; // Shift_L
constexpr uint32_t insertKeysym = 0xff63; // Insert

ClipboardKeeper::Clock::time_point clipboardDeadline()
{
    return ClipboardKeeper::Clock::now() + CallBudget::clipboardBound;
}

} // namespace

void ClipboardPaster::holdKeys(KeyboardHold hold)
{
    KeyboardHold previous;
    {
        std::lock_guard lock(m_holdMutex);
        previous = std::exchange(m_hold, std::move(hold));
    }
}

KeyboardPaste::TypedKeys ClipboardPaster::setKeysAside()
{
    bool wentOn = false;
    {
        std::lock_guard lock(m_holdMutex);
        if (m_keysAside)
            return TypedKeys::setAside;
        HeldKeys* keys = m_hold.keys();
        if (keys && keys->setAside()) {
            m_keysAside = true;
            return TypedKeys::setAside;
        }
        // A hold that cannot set its keys aside has let them go already, at its bound; keys
        // that type may have gone with them.
        wentOn = keys && keys->wentOn();
    }
    letKeysGo();
    return wentOn ? TypedKeys::wentOn : TypedKeys::goFirst;
}

void ClipboardPaster::letKeysGo()
{
    KeyboardHold hold;
    {
        std::lock_guard lock(m_holdMutex);
        hold = std::move(m_hold);
        m_keysAside = false;
    }
    hold.release();
}

bool ClipboardPaster::sendChord(const std::vector<uint32_t>& keysyms)
{
    {
        std::lock_guard lock(m_holdMutex);
        if (m_keysAside) {
            HeldKeys* keys = m_hold.keys();
            return keys && keys->sendChord(keysyms);
        }
    }
    // Keys sent now would wait behind the held ones.
    letKeysGo();
    return m_keys.sendChord(keysyms);
}

bool ClipboardPaster::keepClipboard()
{
    return m_keeper.keep(clipboardDeadline());
}

std::optional<KeyboardPaste::KeyboardFocus> ClipboardPaster::keyboardFocus()
{
    const auto focus = m_keys.focus();
    if (!focus)
        return std::nullopt;
    return KeyboardFocus { .window = focus->window, .process = focus->process };
}

KeyboardPaste::Sent ClipboardPaster::paste(
    const icu::UnicodeString& text, const icu::UnicodeString& selected, const KeyboardFocus& focus)
{
    const auto stillFocused = [&] { return keyboardFocus() == focus; };
    m_pastedKey = text.isEmpty();
    if (!stillFocused())
        return Sent::focusMoved;
    if (m_pastedKey)
        return sendChord({ deleteKeysym }) ? Sent::sent : Sent::notSent;
    if (!m_keeper.offer(toUtf8(text), toUtf8(selected), focus.window, clipboardDeadline())) {
        m_keeper.restore(clipboardDeadline());
        return Sent::notSent;
    }
    // Offering took a moment: the keyboard's focus may have moved meanwhile.
    if (!stillFocused()) {
        m_keeper.restore(clipboardDeadline());
        return Sent::focusMoved;
    }
    m_offerOut = true;
    return sendChord({ shiftKeysym, insertKeysym }) ? Sent::sent : Sent::notSent;
}

bool ClipboardPaster::withdrawPaste()
{
    // Taken already: the paste is on its way, and nothing served now changes it.
    if (m_pastedKey || !m_offerOut)
        return false;
    m_offerOut = false;
    return m_keeper.withdraw(clipboardDeadline());
}

void ClipboardPaster::restoreClipboard()
{
    // A paste that went out and was not taken may still be taken late: withdrawn first.
    if (m_offerOut) {
        m_offerOut = false;
        m_keeper.withdraw(clipboardDeadline());
    }
    m_keeper.restore(clipboardDeadline());
}

} // namespace quillet
