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
constexpr uint32_t leftKeysym = 0xff51; // Left
constexpr uint32_t rightKeysym = 0xff53; // Right

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

KeySynthesizer::Sent ClipboardPaster::sendChord(const std::vector<uint32_t>& keysyms, uint32_t window)
{
    {
        std::lock_guard lock(m_holdMutex);
        if (m_keysAside) {
            HeldKeys* keys = m_hold.keys();
            return keys ? keys->sendChord(keysyms, window) : KeySynthesizer::Sent::notSent;
        }
    }
    // Keys sent now would wait behind the held ones.
    letKeysGo();
    return m_keys.sendChordTo(keysyms, window);
}

KeyboardPaste::Sent ClipboardPaster::moveCaret(CaretKey key, int32_t times, const KeyboardFocus& focus)
{
    const uint32_t keysym = key == CaretKey::left ? leftKeysym : rightKeysym;
    for (int32_t i = 0; i < times; ++i) {
        switch (sendChord({ keysym }, focus.window)) {
        case KeySynthesizer::Sent::sent:
            break;
        case KeySynthesizer::Sent::focusMoved:
            return Sent::focusMoved;
        case KeySynthesizer::Sent::notSent:
            return Sent::notSent;
        }
    }
    return Sent::sent;
}

KeyboardPaste::ClipboardKept ClipboardPaster::keepClipboard()
{
    const auto now = ClipboardKeeper::Clock::now();
    switch (m_keeper.keep(now + CallBudget::clipboardBound, now + CallBudget::clipboardReadBound)) {
    case ClipboardKeeper::Kept::kept:
        return ClipboardKept::kept;
    case ClipboardKeeper::Kept::tooLarge:
        return ClipboardKept::tooLarge;
    case ClipboardKeeper::Kept::notAnswered:
        break;
    }
    return ClipboardKept::notAnswered;
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
    const auto sent = [](KeySynthesizer::Sent chord) {
        switch (chord) {
        case KeySynthesizer::Sent::sent:
            return Sent::sent;
        case KeySynthesizer::Sent::focusMoved:
            return Sent::focusMoved;
        case KeySynthesizer::Sent::notSent:
            break;
        }
        return Sent::notSent;
    };
    m_pastedKey = text.isEmpty();
    // Nothing is offered for a window that lost the focus already. The chord asks once more,
    // together with its keys.
    if (keyboardFocus() != focus)
        return Sent::focusMoved;
    if (m_pastedKey)
        return sent(sendChord({ deleteKeysym }, focus.window));
    if (!m_keeper.offer(toUtf8(text), toUtf8(selected), focus.window, clipboardDeadline())) {
        m_keeper.restore(clipboardDeadline());
        return Sent::clipboardNotTaken;
    }
    m_offerOut = true;
    const Sent chord = sent(sendChord({ shiftKeysym, insertKeysym }, focus.window));
    if (chord == Sent::focusMoved) {
        // No key went out: nobody can take the offer.
        m_offerOut = false;
        m_keeper.restore(clipboardDeadline());
    }
    return chord;
}

bool ClipboardPaster::awaitPasteTaken(std::chrono::steady_clock::time_point until)
{
    if (m_pastedKey || !m_offerOut)
        return true;
    return m_keeper.awaitTaken(until);
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
