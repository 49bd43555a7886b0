#pragma once

#include <unicode/unistr.h>

#include <chrono>

namespace quillet {

/// Writes into the focused window through its keyboard: a text put on the clipboard for the
/// moment of a paste key, for the texts whose application lets other programs read them and
/// set their selection but refuses their edits. The user's clipboard is theirs: what it held
/// before is served again afterwards.
class KeyboardPaste {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~KeyboardPaste() = default;

    /// Keeps every format the clipboard and the primary selection hold; false when they
    /// cannot be kept whole by the deadline (then nothing may be pasted).
    virtual bool keepClipboard(Clock::time_point deadline) = 0;
    /// What became of the keys typed after the shortcut as a paste was about to go out.
    enum class TypedKeys {
        setAside, // off the display until letKeysGo(), or their hold's bound if that comes first
        goFirst, // nothing held them: they go on now, as typed
        wentOn, // what held them let them go while the press ran, at a moment nobody saw
    };
    /// Takes the keys typed after the shortcut, and those typed until letKeysGo(), out of the
    /// way of the paste: they go on at letKeysGo() (or at their hold's bound, when the press
    /// outlasts it, ahead of the keys typed later), in order, at the caret the text has then.
    /// Where they cannot be set aside they go on now.
    virtual TypedKeys setKeysAside() = 0;
    /// Lets the keys typed after the shortcut go on to the focused window.
    virtual void letKeysGo() = 0;
    /// Replaces the focused window's selection with `text` by a paste (an empty text deletes
    /// the selection). False when the keys could not be sent; whether they arrived, only the
    /// text can tell.
    virtual bool paste(const icu::UnicodeString& text, Clock::time_point deadline) = 0;
    /// The paste sent last has not shown: serves an empty text in its place until the deadline
    /// or until an application takes it, so that an application that takes the paste late
    /// inserts nothing rather than the user's own clipboard. False when an application had
    /// taken the paste already (or it was a key, which nothing takes back): it is on its way.
    virtual bool withdrawPaste(Clock::time_point deadline) = 0;
    /// Serves again what keepClipboard() kept.
    virtual void restoreClipboard(Clock::time_point deadline) = 0;
};

} // namespace quillet
