#include "front/PastedLineEdit.h"

#include "front/Accessibility.h"
#include "front/KeyboardPaste.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <thread>

namespace quillet {
namespace {

using Clock = std::chrono::steady_clock;

/// Asks until `shown` holds or the deadline passes: some toolkits answer from a copy of the
/// text that follows the text a moment later.
bool waitUntil(const std::function<bool()>& shown, Clock::time_point deadline)
{
    while (true) {
        if (shown())
            return true;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(PasteBounds::poll);
    }
}

/// Puts the caret after `beforeCaret` until it stays there with the expansion on the line, as
/// often as it is moved away before the deadline.
bool placeCaret(AccessibleElement& element, const icu::UnicodeString& beforeCaret, const icu::UnicodeString& expansion,
    Clock::time_point deadline)
{
    const auto placed = [&] {
        const auto read = element.readOnLineWithCaret(expansion, beforeCaret);
        return read.caretAfter && read.shown == expansion;
    };
    while (true) {
        element.setCaretOnLine(beforeCaret);
        if (!waitUntil(placed, deadline))
            return false;
        std::this_thread::sleep_for(PasteBounds::caretSettling);
        if (placed())
            return true;
        if (Clock::now() >= deadline)
            return false;
    }
}

/// How a paste that did not end as the expansion ended.
enum class Ending {
    notTaken, // withdrawn before the editor took it: the text as it was
    dropped, // taken, and nothing of it shows
    takenBack, // it showed, but the caret could not be put: taken back
    alteredTakenBack, // the editor changed it: taken back
    notPutBack, // the text holds something else, and could not be put back
};

} // namespace

bool pasteOnLine(AccessibleElement& element, const icu::UnicodeString& line, const icu::UnicodeString& expansion,
    int32_t caret, KeyboardPaste& paste)
{
    // A form's field of one line would join the expansion's lines or keep only the first.
    if (expansion.indexOf(u'\n') >= 0 && element.isSingleLine())
        throw SingleLineTextError();
    switch (paste.keepClipboard()) {
    case KeyboardPaste::ClipboardKept::kept:
        break;
    case KeyboardPaste::ClipboardKept::notAnswered:
        throw ClipboardNotKeptError();
    case KeyboardPaste::ClipboardKept::tooLarge:
        throw ClipboardTooLargeError();
    }
    // The user's clipboard comes back however this ends.
    struct GiveBack {
        KeyboardPaste& paste;
        ~GiveBack() { paste.restoreClipboard(); }
    } giveBack { paste };
    // The keys go to the window with the keyboard's focus, which must be the text's: a window
    // switched to right after the shortcut would get the paste.
    const auto focus = paste.keyboardFocus();
    if (!focus)
        throw ReadOnlyTextError();
    const auto process = element.processIdentifier();
    if (focus->process && process && *focus->process != *process)
        throw FocusMovedError();

    // The keys typed after the shortcut would hold the paste behind them: they wait aside and
    // go on after the press, at the caret it leaves. Where they cannot, they go first, to where
    // the user typed them; when they changed the line, it is theirs. Those let go by their hold
    // while the press ran may still be on their way, and would land inside the paste.
    if (paste.setKeysAside() == KeyboardPaste::TypedKeys::wentOn)
        throw EditorTooSlowError();

    const TextEdit edit = minimalEdit(line, expansion);
    const icu::UnicodeString before(line, 0, edit.start);
    const icu::UnicodeString removed(line, edit.start, edit.length);
    // The line and what follows it over the paste's length, to tell at the end whether the text
    // is as it was, also when keys or a paste landed where they were not expected.
    icu::UnicodeString probe(line);
    probe.append(icu::UnicodeString(edit.replacement.length() + 1, U' ', edit.replacement.length() + 1));
    // The line is read again, with what follows it: one question when the caret still ends it.
    // Otherwise the line is looked for afresh (the lines above it may have changed).
    icu::UnicodeString around;
    if (const auto read = element.readOnLineWithCaret(probe, line); read.caretAfter && read.shown.startsWith(line)) {
        around = read.shown;
    } else {
        if (!waitUntil([&] { return element.caretLine() == CaretLine { line }; }, Clock::now() + PasteBounds::line))
            return false;
        around = element.readOnLine(probe);
    }
    const icu::UnicodeString following(around, line.length());
    // Right before the paste: the text still has the focus (asked as its selection shows), and
    // the window the keyboard's (asked by the paste together with its key).
    const auto sent = element.selectOnLine(before, removed) ? paste.paste(edit.replacement, removed, *focus)
                                                            : KeyboardPaste::Sent::focusMoved;
    if (sent != KeyboardPaste::Sent::sent) {
        element.setCaretOnLine(line);
        if (sent == KeyboardPaste::Sent::focusMoved)
            throw FocusMovedError();
        if (sent == KeyboardPaste::Sent::clipboardNotTaken)
            throw ClipboardNotKeptError();
        throw ReadOnlyTextError();
    }
    const icu::UnicodeString beforeCaret(expansion, 0, std::clamp(caret, 0, expansion.length()));
    const auto holdsExpansion = [&] { return element.readOnLine(expansion) == expansion; };
    const auto isAsItWas = [&] { return element.readOnLine(probe) == around; };
    // Takes back `left`, what a paste left after `before`: the text as it was, the caret where
    // it stood.
    // Should the editor stop answering with a paste on its way, the text ends as that paste
    // leaves it, unless it is withdrawn before the editor takes it.
    bool takingBack = false;
    const auto takeBack = [&](const icu::UnicodeString& left) {
        // A text that lost the focus meanwhile would not get the paste that takes it back.
        if (!element.selectOnLine(before, left) || paste.paste(removed, left, *focus) != KeyboardPaste::Sent::sent)
            return false;
        takingBack = true;
        waitUntil(isAsItWas, Clock::now() + PasteBounds::arrival);
        element.setCaretOnLine(line);
        return isAsItWas();
    };
    std::optional<bool> lastPasteTaken;
    Ending ending = Ending::notPutBack;
    // Where the paste leaves the caret: after what it inserted.
    const icu::UnicodeString pasted = before + edit.replacement;
    bool caretFollowed = false;
    // Until the line shows the expansion, or something else that stays (a paste the editor
    // changed; a paste that replaces a selection may show its deletion a moment before its
    // insertion, so what is neither must stay PasteBounds::caretSettling): whether it shows the
    // expansion. Before the application has fetched the paste, nothing of it can show: the
    // text is only asked now and then meanwhile (an application that fetches it otherwise than
    // its window is still seen taking it).
    const auto landed = [&](Clock::time_point deadline) {
        const auto shows = [&](const icu::UnicodeString& read) {
            return icu::UnicodeString(read, 0, expansion.length()) == expansion;
        };
        bool shown = false;
        std::optional<std::pair<icu::UnicodeString, Clock::time_point>> other; // what shows, since when
        const auto changed = [&] {
            const auto read = element.readOnLineWithCaret(probe, pasted);
            shown = shows(read.shown);
            caretFollowed = shown && read.caretAfter;
            if (shown)
                return true;
            if (read.shown == around) {
                other.reset();
                return false;
            }
            if (!other || other->first != read.shown) {
                other.emplace(read.shown, Clock::now());
                return false;
            }
            return Clock::now() - other->second >= PasteBounds::caretSettling;
        };
        while (!paste.awaitPasteTaken(std::min(deadline, Clock::now() + PasteBounds::untakenPoll))) {
            if (changed() || Clock::now() >= deadline)
                return shown;
        }
        waitUntil(changed, deadline);
        return shown;
    };
    try {
        const auto arrival = Clock::now() + PasteBounds::arrival;
        bool shown = landed(arrival);
        if (!shown && isAsItWas()) {
            // Not taken by now, it is withdrawn: it cannot land later. Taken, it may still show.
            lastPasteTaken = !paste.withdrawPaste();
            if (*lastPasteTaken)
                shown = landed(Clock::now() + PasteBounds::arrivalOnceTaken);
        }
        if (!lastPasteTaken)
            lastPasteTaken = true; // something of it shows
        if (shown) {
            lastPasteTaken = true;
            // The paste ends by putting the caret after what it inserted, and the text may show
            // before that: a caret put earlier would be moved there.
            // The caret may follow the text late, also when the text took most of its bound.
            if (!caretFollowed)
                caretFollowed = waitUntil([&] { return element.caretStandsAfterOnLine(pasted); },
                    std::max(arrival, Clock::now() + PasteBounds::line));
            // The expansion's caret is where the paste left it, with the expansion shown: a
            // later move of the paste's own caret would leave it there.
            if (caretFollowed && beforeCaret == pasted)
                return true;
            if (placeCaret(element, beforeCaret, expansion, Clock::now() + PasteBounds::caret))
                return true;
        }
        if (holdsExpansion()) {
            // It showed, but the caret cannot be put where the expansion wants it.
            ending = takeBack(edit.replacement) ? Ending::takenBack : Ending::notPutBack;
        } else if (isAsItWas()) {
            element.setCaretOnLine(line);
            ending = *lastPasteTaken ? Ending::dropped : Ending::notTaken;
        } else if (*lastPasteTaken) {
            // Neither: the editor changed the paste as it took it. What it left stands between
            // where the paste went in and the caret after it, and what followed the line follows.
            const auto toCaret = element.readToCaretOnLine();
            if (toCaret && toCaret->startsWith(before)
                && element.readOnLine(*toCaret + following) == *toCaret + following) {
                ending = takeBack(icu::UnicodeString(*toCaret, before.length())) ? Ending::alteredTakenBack
                                                                                 : Ending::notPutBack;
            }
        }
    } catch (...) {
        // The editor stopped answering, or its bus went: nothing it shows can be seen now.
        if (!lastPasteTaken)
            lastPasteTaken = !paste.withdrawPaste();
        // It writes the expansion once it answers again.
        if (*lastPasteTaken != takingBack)
            throw EditUnfinishedError();
        throw;
    }
    switch (ending) {
    case Ending::notTaken:
        throw EditorTooSlowError();
    case Ending::dropped:
    case Ending::takenBack:
        throw ReadOnlyTextError();
    case Ending::alteredTakenBack:
        throw PasteAlteredError();
    case Ending::notPutBack:
        break;
    }
    throw EditNotPutBackError();
}

} // namespace quillet
