#pragma once

#include <unicode/unistr.h>

#include <chrono>
#include <cstdint>
#include <optional>

namespace quillet {

/// How long each step of a paste through the keyboard may take. (How long the clipboard's
/// owners may take to answer is the platform's: CallBudget::clipboardBound.)
struct PasteBounds {
    /// For the paste to show in the text, before it counts as not taken.
    static constexpr std::chrono::milliseconds arrival { 700 };
    /// For a paste that the application has fetched to show, beyond `arrival`: a browser's
    /// page, busy with a script, shows it late.
    static constexpr std::chrono::milliseconds arrivalOnceTaken { 1000 };
    /// For a paste withdrawn before its application took it: how long that application's
    /// requests for the clipboard get what the paste's selection held, so that a paste it
    /// takes late (busy as it was) leaves the text as it was rather than pasting the user's
    /// clipboard.
    static constexpr std::chrono::milliseconds withdrawal { 5000 };
    /// Once one late request was answered so, how long the other requests of that paste (a
    /// toolkit asks for one text format after another) are answered so too.
    static constexpr std::chrono::milliseconds withdrawalLinger { 500 };
    /// For the line to show what it held once the caret was put back, and for the caret to
    /// follow a paste that showed.
    static constexpr std::chrono::milliseconds line { 100 };
    /// For the caret to show where it was put, and to stay there.
    static constexpr std::chrono::milliseconds caret { 300 };
    /// How long the caret must stay where it was put before the press counts as done: a
    /// browser can show it there and then move it once more to where its paste ended.
    static constexpr std::chrono::milliseconds caretSettling { 40 };
    /// How often the text is asked while one of these waits.
    static constexpr std::chrono::milliseconds poll { 2 };
    /// How often, while its application has not fetched the paste yet (and nothing of it can
    /// show): only to see a text that fetched it otherwise, or an editor that stopped answering.
    static constexpr std::chrono::milliseconds untakenPoll { 20 };
};

/// Writes into the focused window through its keyboard: a text put on the clipboard for the
/// moment of a paste key, for the texts whose application lets other programs read them and
/// set their selection but refuses their edits. The user's clipboard is theirs: what it held
/// before is served again afterwards, and only the application pasted into gets the paste.
/// Each call bounds its own wait.
class KeyboardPaste {
public:
    virtual ~KeyboardPaste() = default;

    /// What keepClipboard() learnt: only a clipboard kept may be pasted over.
    enum class ClipboardKept {
        kept, // whole in hand, to be given back
        notAnswered, // its owner did not say in time what it holds
        tooLarge, // more than can be kept, or not handed over whole in time: left untouched
    };
    /// Reads what the clipboard and the primary selection hold, whole, so that they can be
    /// given back, before anything takes them.
    virtual ClipboardKept keepClipboard() = 0;

    /// Where the keys sent now would go: the window that has the keyboard's focus, and the
    /// process that shows it, where the window names one.
    struct KeyboardFocus {
        uint32_t window = 0;
        std::optional<uint32_t> process;
        friend bool operator==(const KeyboardFocus&, const KeyboardFocus&) = default;
    };
    /// None when it cannot be told (no display answers).
    virtual std::optional<KeyboardFocus> keyboardFocus() = 0;

    /// What became of the keys typed after the shortcut as a paste was about to go out.
    enum class TypedKeys {
        setAside, // off the display until letKeysGo(), or their hold's bound if that comes first
        goFirst, // nothing holds them (or its bound let them go, none typing): they go on now, as typed
        wentOn, // what held them let a key that types go on while the press ran, at a moment nobody saw
    };
    /// Takes the keys typed after the shortcut, and those typed until letKeysGo(), out of the
    /// way of the paste: they go on at letKeysGo() (or at their hold's bound, when the press
    /// outlasts it, ahead of the keys typed later), in order, at the caret the text has then.
    /// Where they cannot be set aside they go on now.
    virtual TypedKeys setKeysAside() = 0;
    /// Lets the keys typed after the shortcut go on to the focused window.
    virtual void letKeysGo() = 0;

    enum class Sent {
        sent, // whether they arrived, only the text can tell
        notSent, // the keys could not be sent
        clipboardNotTaken, // the clipboard could not be taken for the paste (or changed hands)
        focusMoved, // `focus` no longer has the keyboard's focus: nothing was sent
    };
    /// Replaces the selection of `focus`'s window, which holds `selected`, with `text` by a
    /// paste (an empty text deletes the selection). The paste key goes out only while `focus`
    /// has the keyboard: that is asked together with the key, so that no window switched to
    /// in between gets it.
    virtual Sent paste(const icu::UnicodeString& text, const icu::UnicodeString& selected, const KeyboardFocus& focus)
        = 0;
    /// Keys that move the caret by one character.
    enum class CaretKey { left, right };
    /// Presses `key` `times` times in `focus`'s window, each only while it has the keyboard's
    /// focus: for a text whose page moves its caret only for its own keys (an editor that draws
    /// its text itself and keeps a hidden text area for the keyboard). By default none are sent.
    virtual Sent moveCaret(CaretKey key, int32_t times, const KeyboardFocus& focus)
    {
        (void)key;
        (void)times;
        (void)focus;
        return Sent::notSent;
    }
    /// Waits until the application pasted into has fetched the paste sent last, or until
    /// `until`: true once it has, or when there is nothing to fetch (a key's paste, or none
    /// that can tell). Until then the text cannot show the paste, and need not be asked.
    virtual bool awaitPasteTaken(std::chrono::steady_clock::time_point until)
    {
        (void)until;
        return true;
    }
    /// The paste sent last has not shown: ends it, the user's clipboard served again. When its
    /// application has not taken it, that application's requests for the clipboard get what
    /// the paste's selection held for a while (PasteBounds::withdrawal), so that a paste it
    /// takes late puts back what it replaces (some toolkits delete the selection for a paste
    /// that brings nothing); then this returns true. False when the application had taken the
    /// paste (or it was a key, which nothing takes back): it is on its way.
    virtual bool withdrawPaste() = 0;
    /// Serves again what keepClipboard() learnt: the clipboard, and the primary selection where
    /// the press changed it (selecting a text makes its toolkit take it).
    virtual void restoreClipboard() = 0;
};

} // namespace quillet
