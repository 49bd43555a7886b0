#include "platform/ClipboardPaster.h"

#include "text/UnicodeConversion.h"

#include <thread>

namespace quillet {
namespace {

constexpr uint32_t deleteKeysym = 0xffff; // Delete
// The paste chord: every toolkit pastes the clipboard with Shift+Insert, and no layout moves
// its keys.
constexpr uint32_t shiftKeysym = 0xffe1; // Shift_L
constexpr uint32_t insertKeysym = 0xff63; // Insert

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
    bool held = false;
    {
        std::lock_guard lock(m_holdMutex);
        if (m_keysAside)
            return TypedKeys::setAside;
        HeldKeys* keys = m_hold.keys();
        if (keys && keys->setAside()) {
            m_keysAside = true;
            return TypedKeys::setAside;
        }
        // A hold that cannot set its keys aside has let them go already, at its bound.
        held = keys != nullptr;
    }
    letKeysGo();
    return held ? TypedKeys::wentOn : TypedKeys::goFirst;
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

bool ClipboardPaster::keepClipboard(Clock::time_point deadline)
{
    return m_keeper.keep(deadline);
}

bool ClipboardPaster::paste(const icu::UnicodeString& text, Clock::time_point deadline)
{
    m_pastedKey = text.isEmpty();
    if (m_pastedKey)
        return sendChord({ deleteKeysym });
    return m_keeper.offer(toUtf8(text), deadline) && sendChord({ shiftKeysym, insertKeysym });
}

bool ClipboardPaster::withdrawPaste(Clock::time_point deadline)
{
    // Taken already: the paste is on its way, and nothing served now changes it.
    if (m_pastedKey || m_keeper.offeredTextFetches() > 0)
        return false;
    if (m_keeper.offer(std::string(), deadline)) {
        while (m_keeper.offeredTextFetches() == 0 && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void ClipboardPaster::restoreClipboard(Clock::time_point deadline)
{
    m_keeper.restore(deadline);
}

} // namespace quillet
