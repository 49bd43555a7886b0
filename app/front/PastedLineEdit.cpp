#include "front/PastedLineEdit.h"

#include "front/Accessibility.h"
#include "front/KeyboardPaste.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <thread>
#include <utility>

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
/// often as it is moved away before the deadline. A page that puts its own caret back (an
/// editor that keeps a hidden text area for the keyboard) has it moved there with its keys.
bool placeCaret(AccessibleElement& element, const icu::UnicodeString& beforeCaret, const icu::UnicodeString& expansion,
    Clock::time_point deadline, KeyboardPaste& paste, const KeyboardPaste::KeyboardFocus& focus)
{
    const auto placed = [&] {
        const auto read = element.readOnLineWithCaret(expansion, beforeCaret);
        return read.caretAfter && read.shown == expansion;
    };
    const auto stays = [&] {
        std::this_thread::sleep_for(PasteBounds::caretSettling);
        return placed();
    };
    element.setCaretOnLine(beforeCaret);
    if (waitUntil(placed, std::min(deadline, Clock::now() + PasteBounds::line)) && stays())
        return true;
    // Where the page's caret stands now, in the expansion: the keys move it from there.
    if (waitUntil([&] { return !placed(); }, std::min(deadline, Clock::now() + PasteBounds::line))) {
        const auto toCaret = element.readToCaretOnLine();
        const int32_t steps = toCaret ? toCaret->countChar32() - beforeCaret.countChar32() : 0;
        if (toCaret && steps != 0 && (steps > 0 ? toCaret->startsWith(beforeCaret) : beforeCaret.startsWith(*toCaret))
            && expansion.startsWith(steps > 0 ? *toCaret : beforeCaret)) {
            if (paste.moveCaret(
                    steps > 0 ? KeyboardPaste::CaretKey::left : KeyboardPaste::CaretKey::right, std::abs(steps), focus)
                    == KeyboardPaste::Sent::sent
                && waitUntil(placed, std::max(deadline, Clock::now() + PasteBounds::line)) && stays())
                return true;
        }
    }
    while (Clock::now() < deadline) {
        element.setCaretOnLine(beforeCaret);
        if (!waitUntil(placed, deadline))
            return false;
        if (stays())
            return true;
    }
    return false;
}

/// One paste of an expansion over the line, from the paste key to its end: the text read, the
/// paste's fate learnt step by step (Fate), and the text put back where it did not end as the
/// expansion. Each step is a member of its own.
class LinePaste {
public:
    LinePaste(AccessibleElement& element, KeyboardPaste& paste, const KeyboardPaste::KeyboardFocus& focus,
        const icu::UnicodeString& line, const icu::UnicodeString& expansion, int32_t caret)
        : m_element(element)
        , m_paste(paste)
        , m_focus(focus)
        , m_line(line)
        , m_expansion(expansion)
        , m_edit(minimalEdit(line, expansion))
        , m_before(line, 0, m_edit.start)
        , m_removed(line, m_edit.start, m_edit.length)
        , m_pasted(m_before + m_edit.replacement)
        , m_beforeCaret(expansion, 0, std::clamp(caret, 0, expansion.length()))
        , m_probe(line)
    {
        // The line and what follows it over the paste's length, to tell at the end whether the
        // text is as it was, also when keys or a paste landed where they were not expected.
        const int32_t margin = m_edit.replacement.length() + 1;
        m_probe.append(icu::UnicodeString(margin, U' ', margin));
    }

    /// Reads what follows the line; false when the line is no longer there.
    bool readAround();
    /// Sends the paste: throws where it did not go out.
    void send();
    /// Sees the paste through: true once the text holds the expansion with its caret in place;
    /// otherwise throws why the text is as it was (or is not).
    bool finish();

private:
    /// What became of the paste sent, as far as is known.
    enum class Fate {
        sent, // nothing tells yet whether the application took it
        withdrawn, // withdrawn before the application took it: it cannot land
        taken, // taken: it lands (or landed) whatever happens now
        takenBack, // taken, and a paste that takes it back sent after it
    };
    /// What the line showed at the end of a wait for the paste.
    struct Sight {
        bool shown = false; // the expansion
        bool caretFollowed = false; // and the caret after what the paste inserted
    };

    bool holdsExpansion() { return m_element.readOnLine(m_expansion) == m_expansion; }
    bool isAsItWas() { return m_element.readOnLine(m_probe) == m_around; }
    Sight awaitLanding(Clock::time_point deadline);
    bool settledOn(Sight& sight, std::optional<std::pair<icu::UnicodeString, Clock::time_point>>& other);
    bool placeCaretAfterShown(const Sight& sight, Clock::time_point arrival);
    bool takeBack(const icu::UnicodeString& left);
    /// How a paste that did not end as the expansion ended.
    enum class Ending {
        notTaken, // withdrawn before the editor took it: the text as it was
        dropped, // taken, and nothing of it shows
        takenBack, // it showed, but the caret could not be put: taken back
        alteredTakenBack, // the editor changed it: taken back
        notPutBack, // the text holds something else, and could not be put back
    };
    /// Puts the text back as it was where the paste did not end as the expansion.
    Ending endAsItIs();

    AccessibleElement& m_element;
    KeyboardPaste& m_paste;
    KeyboardPaste::KeyboardFocus m_focus;
    icu::UnicodeString m_line;
    icu::UnicodeString m_expansion;
    TextEdit m_edit;
    icu::UnicodeString m_before; // the line up to the span that differs
    icu::UnicodeString m_removed; // that span
    icu::UnicodeString m_pasted; // the line up to where the paste leaves the caret
    icu::UnicodeString m_beforeCaret; // the expansion up to its caret
    icu::UnicodeString m_probe;
    icu::UnicodeString m_around; // the line and what followed it, as read before the paste
    Fate m_fate = Fate::sent;
};

bool LinePaste::readAround()
{
    // The line is read again, with what follows it: one question when the caret still ends it.
    // Otherwise the line is looked for afresh (the lines above it may have changed).
    if (const auto read = m_element.readOnLineWithCaret(m_probe, m_line);
        read.caretAfter && read.shown.startsWith(m_line)) {
        m_around = read.shown;
        return true;
    }
    if (!waitUntil([&] { return m_element.caretLine() == CaretLine { m_line }; }, Clock::now() + PasteBounds::line))
        return false;
    m_around = m_element.readOnLine(m_probe);
    return true;
}

void LinePaste::send()
{
    // Right before the paste: the text still has the focus (asked as its selection shows), and
    // the window the keyboard's (asked by the paste together with its key).
    const auto sent = m_element.selectOnLine(m_before, m_removed)
        ? m_paste.paste(m_edit.replacement, m_removed, m_focus)
        : KeyboardPaste::Sent::focusMoved;
    if (sent == KeyboardPaste::Sent::sent)
        return;
    m_element.setCaretOnLine(m_line);
    switch (sent) {
    case KeyboardPaste::Sent::focusMoved:
        throw FocusMovedError();
    case KeyboardPaste::Sent::clipboardNotTaken:
        throw ClipboardNotKeptError();
    case KeyboardPaste::Sent::sent:
    case KeyboardPaste::Sent::notSent:
        break;
    }
    throw ReadOnlyTextError();
}

bool LinePaste::settledOn(Sight& sight, std::optional<std::pair<icu::UnicodeString, Clock::time_point>>& other)
{
    const auto read = m_element.readOnLineWithCaret(m_probe, m_pasted);
    sight.shown = icu::UnicodeString(read.shown, 0, m_expansion.length()) == m_expansion;
    sight.caretFollowed = sight.shown && read.caretAfter;
    if (sight.shown)
        return true;
    if (read.shown == m_around) {
        other.reset();
        return false;
    }
    if (!other || other->first != read.shown) {
        other.emplace(read.shown, Clock::now());
        return false;
    }
    return Clock::now() - other->second >= PasteBounds::caretSettling;
}

LinePaste::Sight LinePaste::awaitLanding(Clock::time_point deadline)
{
    // Until the line shows the expansion, or something else that stays (a paste the editor
    // changed; a paste that replaces a selection may show its deletion a moment before its
    // insertion, so what is neither must stay PasteBounds::caretSettling). Before the
    // application has fetched the paste, nothing of it can show: the text is only asked now
    // and then meanwhile (an application that fetches it otherwise than its window is still
    // seen taking it).
    Sight sight;
    std::optional<std::pair<icu::UnicodeString, Clock::time_point>> other; // what shows, since when
    while (!m_paste.awaitPasteTaken(std::min(deadline, Clock::now() + PasteBounds::untakenPoll))) {
        if (settledOn(sight, other) || Clock::now() >= deadline)
            return sight;
    }
    waitUntil([&] { return settledOn(sight, other); }, deadline);
    return sight;
}

bool LinePaste::placeCaretAfterShown(const Sight& sight, Clock::time_point arrival)
{
    // The paste ends by putting the caret after what it inserted, and the text may show before
    // that: a caret put earlier would be moved there. The caret may follow the text late, also
    // when the text took most of its bound.
    const bool caretFollowed = sight.caretFollowed
        || waitUntil([&] { return m_element.caretStandsAfterOnLine(m_pasted); },
            std::max(arrival, Clock::now() + PasteBounds::line));
    // The expansion's caret is where the paste left it, with the expansion shown: a later move
    // of the paste's own caret would leave it there.
    if (caretFollowed && m_beforeCaret == m_pasted)
        return true;
    return placeCaret(m_element, m_beforeCaret, m_expansion, Clock::now() + PasteBounds::caret, m_paste, m_focus);
}

bool LinePaste::takeBack(const icu::UnicodeString& left)
{
    // Takes back `left`, what the paste left after `before`: the text as it was, the caret where
    // it stood. A text that lost the focus meanwhile would not get the paste that takes it back.
    if (!m_element.selectOnLine(m_before, left) || m_paste.paste(m_removed, left, m_focus) != KeyboardPaste::Sent::sent)
        return false;
    m_fate = Fate::takenBack;
    waitUntil([this] { return isAsItWas(); }, Clock::now() + PasteBounds::arrival);
    m_element.setCaretOnLine(m_line);
    return isAsItWas();
}

LinePaste::Ending LinePaste::endAsItIs()
{
    if (holdsExpansion()) {
        // It showed, but the caret cannot be put where the expansion wants it.
        return takeBack(m_edit.replacement) ? Ending::takenBack : Ending::notPutBack;
    }
    if (isAsItWas()) {
        m_element.setCaretOnLine(m_line);
        return m_fate == Fate::withdrawn ? Ending::notTaken : Ending::dropped;
    }
    if (m_fate == Fate::taken) {
        // Neither: the editor changed the paste as it took it. What it left stands between where
        // the paste went in and the caret after it, and what followed the line follows.
        const icu::UnicodeString following(m_around, m_line.length());
        const auto toCaret = m_element.readToCaretOnLine();
        if (toCaret && toCaret->startsWith(m_before)
            && m_element.readOnLine(*toCaret + following) == *toCaret + following)
            return takeBack(icu::UnicodeString(*toCaret, m_before.length())) ? Ending::alteredTakenBack
                                                                             : Ending::notPutBack;
    }
    return Ending::notPutBack;
}

bool LinePaste::finish()
{
    Ending ending = Ending::notPutBack;
    try {
        const auto arrival = Clock::now() + PasteBounds::arrival;
        Sight sight = awaitLanding(arrival);
        if (!sight.shown && isAsItWas()) {
            // Not taken by now, it is withdrawn: it cannot land later. Taken, it may still show.
            m_fate = m_paste.withdrawPaste() ? Fate::withdrawn : Fate::taken;
            if (m_fate == Fate::taken)
                sight = awaitLanding(Clock::now() + PasteBounds::arrivalOnceTaken);
        }
        if (m_fate == Fate::sent || sight.shown)
            m_fate = Fate::taken; // something of it shows
        if (sight.shown && placeCaretAfterShown(sight, arrival))
            return true;
        ending = endAsItIs();
    } catch (...) {
        // The editor stopped answering, or its bus went: nothing it shows can be seen now.
        if (m_fate == Fate::sent)
            m_fate = m_paste.withdrawPaste() ? Fate::withdrawn : Fate::taken;
        // It writes the expansion once it answers again.
        if (m_fate == Fate::taken)
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

    LinePaste attempt(element, paste, *focus, line, expansion, caret);
    if (!attempt.readAround())
        return false;
    attempt.send();
    return attempt.finish();
}

} // namespace quillet
