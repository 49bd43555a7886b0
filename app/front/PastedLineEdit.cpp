#include "front/PastedLineEdit.h"

#include "front/Accessibility.h"
#include "front/KeyboardPaste.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <thread>

namespace quillet {
namespace {

using Clock = KeyboardPaste::Clock;

constexpr std::chrono::milliseconds clipboardBound { 250 };
constexpr std::chrono::milliseconds pollInterval { 2 };
// How long a paste that has not shown is withdrawn for before the user's clipboard is back.
constexpr std::chrono::milliseconds withdrawalBound { 300 };
// How long the line may take to show what it held once the caret was put back.
constexpr std::chrono::milliseconds lineBound { 100 };
// How long the caret may take to show where it was put, and to stay there.
constexpr std::chrono::milliseconds caretBound { 300 };
// How long the caret must stay where it was put before the press counts as done: a browser can
// show it there and then move it once more to where its paste ended.
constexpr std::chrono::milliseconds caretSettling { 40 };

/// Asks until `shown` holds or the deadline passes: some toolkits answer from a copy of the
/// text that follows the text a moment later.
bool waitUntil(const std::function<bool()>& shown, Clock::time_point deadline)
{
    while (true) {
        if (shown())
            return true;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(pollInterval);
    }
}

bool waitForLine(AccessibleElement& element, const icu::UnicodeString& expected, Clock::time_point deadline)
{
    return waitUntil([&] { return element.readOnLine(expected) == expected; }, deadline);
}

/// Puts the caret after `beforeCaret` until it stays there with the expansion on the line, as
/// often as it is moved away before the deadline.
bool placeCaret(AccessibleElement& element, const icu::UnicodeString& beforeCaret, const icu::UnicodeString& expansion,
    Clock::time_point deadline)
{
    const auto placed
        = [&] { return element.caretStandsAfterOnLine(beforeCaret) && element.readOnLine(expansion) == expansion; };
    while (true) {
        element.setCaretOnLine(beforeCaret);
        if (!waitUntil(placed, deadline))
            return false;
        std::this_thread::sleep_for(caretSettling);
        if (placed())
            return true;
        if (Clock::now() >= deadline)
            return false;
    }
}

} // namespace

bool pasteOnLine(AccessibleElement& element, const icu::UnicodeString& line, const icu::UnicodeString& expansion,
    int32_t caret, KeyboardPaste& paste)
{
    if (!paste.keepClipboard(Clock::now() + clipboardBound))
        throw ReadOnlyTextError();
    // The user's clipboard comes back however this ends.
    struct GiveBack {
        KeyboardPaste& paste;
        ~GiveBack() { paste.restoreClipboard(Clock::now() + clipboardBound); }
    } giveBack { paste };

    // The keys typed after the shortcut would hold the paste behind them: they wait aside and
    // go on after the press, at the caret it leaves. Where they cannot, they go first, to where
    // the user typed them; when they changed the line, it is theirs. Those let go by their hold
    // while the press ran may still be on their way, and would land inside the paste.
    if (paste.setKeysAside() == KeyboardPaste::TypedKeys::wentOn)
        throw EditorTooSlowError();
    if (!waitUntil([&] { return element.caretLine() == CaretLine { line }; }, Clock::now() + lineBound))
        return false;

    const TextEdit edit = minimalEdit(line, expansion);
    const icu::UnicodeString before(line, 0, edit.start);
    const icu::UnicodeString removed(line, edit.start, edit.length);
    // The line and what follows it over the paste's length, to tell at the end whether the text
    // is as it was, also when keys or a paste landed where they were not expected.
    icu::UnicodeString probe(line);
    probe.append(icu::UnicodeString(edit.replacement.length() + 1, U' ', edit.replacement.length() + 1));
    const icu::UnicodeString around = element.readOnLine(probe);
    element.selectOnLine(before, removed);
    if (!paste.paste(edit.replacement, Clock::now() + clipboardBound)) {
        element.setCaretOnLine(line);
        throw ReadOnlyTextError();
    }
    const icu::UnicodeString beforeCaret(expansion, 0, std::clamp(caret, 0, expansion.length()));
    // Should the editor stop answering with a paste on its way, the text ends as that paste
    // leaves it, unless it is withdrawn before the editor takes it.
    bool takingBack = false;
    std::optional<bool> lastPasteTaken;
    try {
        const auto arrival = Clock::now() + pasteArrivalBound;
        if (waitForLine(element, expansion, arrival)) {
            // The paste ends by putting the caret after what it inserted, and the text may show
            // before that: a caret put earlier would be moved there.
            // The caret may follow the text late, also when the text took most of its bound.
            const icu::UnicodeString pasted = before + edit.replacement;
            waitUntil(
                [&] { return element.caretStandsAfterOnLine(pasted); }, std::max(arrival, Clock::now() + lineBound));
            if (placeCaret(element, beforeCaret, expansion, Clock::now() + caretBound))
                return true;
        }
        // Taken back, also a paste that showed late: the text as it was, the caret where it stood.
        const auto holdsExpansion = [&] { return element.readOnLine(expansion) == expansion; };
        if (holdsExpansion()) {
            element.selectOnLine(before, edit.replacement);
            takingBack = paste.paste(removed, Clock::now() + clipboardBound);
            if (takingBack)
                waitUntil([&] { return !holdsExpansion() && element.readOnLine(line) == line; },
                    Clock::now() + pasteArrivalBound);
            else
                lastPasteTaken = true; // the expansion's, which showed
        } else {
            lastPasteTaken = !paste.withdrawPaste(Clock::now() + withdrawalBound);
        }
        element.setCaretOnLine(line);
        if (element.readOnLine(probe) != around)
            throw EditNotPutBackError();
    } catch (const EditNotPutBackError&) {
        throw;
    } catch (...) {
        // The editor stopped answering, or its bus went: nothing it shows can be seen now.
        if (!lastPasteTaken)
            lastPasteTaken = !paste.withdrawPaste(Clock::now() + withdrawalBound);
        // It writes the expansion once it answers again.
        if (*lastPasteTaken != takingBack)
            throw EditUnfinishedError();
        throw;
    }
    throw ReadOnlyTextError();
}

} // namespace quillet
