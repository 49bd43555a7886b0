#include "platform/ClipboardPaster.h"

#include "text/UnicodeConversion.h"

namespace quillet {
namespace {

constexpr uint32_t deleteKeysym = 0xffff; // Delete

} // namespace

void ClipboardPaster::holdKeys(KeyboardHold hold)
{
    KeyboardHold previous;
    {
        std::lock_guard lock(m_holdMutex);
        previous = std::exchange(m_hold, std::move(hold));
    }
}

void ClipboardPaster::letKeysGo()
{
    KeyboardHold hold;
    {
        std::lock_guard lock(m_holdMutex);
        hold = std::move(m_hold);
    }
    hold.release();
}

bool ClipboardPaster::keepClipboard(Clock::time_point deadline)
{
    return m_keeper.keep(deadline);
}

bool ClipboardPaster::paste(const icu::UnicodeString& text, Clock::time_point deadline)
{
    letKeysGo();
    if (text.isEmpty())
        return m_keys.sendChord({ deleteKeysym });
    return m_keeper.offer(toUtf8(text), deadline) && m_keys.sendPaste();
}

void ClipboardPaster::restoreClipboard(Clock::time_point deadline)
{
    m_keeper.restore(deadline);
}

} // namespace quillet
