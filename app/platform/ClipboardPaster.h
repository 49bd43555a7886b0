#pragma once

#include "front/KeyboardPaste.h"
#include "platform/ClipboardKeeper.h"
#include "platform/KeySynthesizer.h"
#include "platform/KeyboardHold.h"

#include <mutex>

namespace quillet {

/// Pastes into the focused window of an X11 desktop: the text served on the clipboard by a
/// ClipboardKeeper, the paste key sent by a KeySynthesizer, the user's clipboard kept and
/// given back around it. Each call waits at most CallBudget::clipboardBound on the display
/// and the clipboard's owners, but awaitPasteTaken(), which waits as long as it is told.
///
/// The keys typed after the expand shortcut wait in the press's hold, which this keeps while
/// a press is under way. The paste key would wait behind them: setKeysAside() takes them off
/// the display until letKeysGo() (at the press's end), or until the hold's bound when the
/// press outlasts it, and the paste goes ahead of them through the hold. A hold that cannot do
/// that lets them go first. The hold may be let go from any thread.
///
/// The paste key goes out only while the window the press read has the input focus: the
/// focus is asked and the key sent in one hold of the display (KeySynthesizer::
/// holdDisplayIfFocused()), so that a window switched to at that moment never gets it.
class ClipboardPaster final : public KeyboardPaste {
public:
    ClipboardPaster() = default;

    /// False without an X11 display that offers XTEST.
    bool isAvailable() const noexcept { return m_keeper.isAvailable() && m_keys.isAvailable(); }

    /// Keeps the hold on the keys typed after the shortcut for the press under way; they go
    /// on at letKeysGo(), or at the hold's bound if that comes first.
    void holdKeys(KeyboardHold hold);

    ClipboardKept keepClipboard() override;
    std::optional<KeyboardFocus> keyboardFocus() override;
    TypedKeys setKeysAside() override;
    void letKeysGo() override;
    Sent paste(const icu::UnicodeString& text, const icu::UnicodeString& selected, const KeyboardFocus& focus) override;
    Sent moveCaret(CaretKey key, int32_t times, const KeyboardFocus& focus) override;
    bool awaitPasteTaken(std::chrono::steady_clock::time_point until) override;
    bool withdrawPaste() override;
    void restoreClipboard() override;

private:
    ClipboardKeeper m_keeper;
    KeySynthesizer m_keys;
    KeySynthesizer::Sent sendChord(const std::vector<uint32_t>& keysyms, uint32_t window);

    std::mutex m_holdMutex;
    KeyboardHold m_hold;
    bool m_keysAside = false;
    // The last paste was the Delete key, not the clipboard.
    bool m_pastedKey = false;
    // A paste key went out for the text offered, and the offer has not ended yet.
    bool m_offerOut = false;
};

} // namespace quillet
