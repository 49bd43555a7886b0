#pragma once

#include "expansion/ExpandedExpression.h"
#include "expansion/ExpanderController.h"

#include <unicode/unistr.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace quillet {

class AccessibilityBackend;
class BundleStore;
class KeyboardPaste;
class ExpandingController;
class PrefilterCache;

/// Told when an expansion starts and when it ends (also when it fails), so the
/// application can show its busy status icon.
class ExpandingControllerDelegate {
public:
    virtual ~ExpandingControllerDelegate() = default;
    virtual void expandingControllerDidStartExpanding(ExpandingController& controller) = 0;
    virtual void expandingControllerDidEndExpanding(ExpandingController& controller) = 0;
};

/// Runs one expansion from start to end: picks the expanders of the file's languages
/// first, then the rest, and lets the expansion engine find the best one.
///
/// Reads the other application afresh for every expansion. The candidate lists (the split of
/// the enabled expanders by the file's languages, with what their controllers derive from
/// them) are kept per file extension while the library stays as it is (expanderRevision), so
/// a search over a large library does not split it and index it again at every press. Two entries:
/// startExpanding() at the caret of the frontmost application (through the accessibility
/// backend), and expand(text, extension) on a given text for the command line and the D-Bus
/// methods.
class ExpandingController {
public:
    /// Where the library comes from; by default the application-wide library holder.
    using BundleStoreProvider = std::function<const BundleStore&()>;

    ExpandingController();
    explicit ExpandingController(BundleStoreProvider bundleStore);

    /// Not owned; the delegate must unregister (set nullptr) before it goes away.
    void setDelegate(ExpandingControllerDelegate* delegate) noexcept { m_delegate = delegate; }
    ExpandingControllerDelegate* delegate() const noexcept { return m_delegate; }

    /// Where the candidate lists' prefilters are kept between processes (the command line); none
    /// by default, as a long-lived process keeps them in memory.
    void setPrefilterCache(std::shared_ptr<PrefilterCache> cache) { m_prefilterCache = std::move(cache); }

    /// The accessibility backend of startExpanding(); AccessibilityBackend::shared() when none
    /// is set.
    void setAccessibilityBackend(std::shared_ptr<AccessibilityBackend> backend) { m_backend = std::move(backend); }

    /// How a press writes into a text whose application refuses other programs' edits but
    /// takes the keyboard's; without one such a press fails. Used where the backend calls.
    void setKeyboardPaste(std::shared_ptr<KeyboardPaste> paste) { m_keyboardPaste = std::move(paste); }

    /// Asks the backend whether this process may reach other applications' text; an
    /// untrusted process asks for access (every caller passes true).
    bool isAccessibilityTrusted(bool prompt);

    /// How a press of the expand shortcut ended: whether the abbreviation was expanded, or
    /// what failed.
    struct PressOutcome {
        bool expanded = false;
        std::exception_ptr error;
    };

    /// Expands the abbreviation before the caret of the focused element of the frontmost
    /// application and moves the caret to where the template puts it, for the expand shortcut.
    /// Reads only the line before the caret and writes the smallest edit, so the editor keeps
    /// one undo step, and the text ends either as it was or as the expansion.
    ///
    /// Never waits on the other application: the calls to it run where the backend runs them
    /// (off the event loop, for a desktop's backend) and the search runs here. `done` runs here
    /// once the press has ended, with the outcome: not expanded when there is nothing to
    /// expand or the line changed before the write (nothing is written); the error
    /// ReadOnlyTextError for a text other programs cannot change, the errors of
    /// CaretLineText::replace(), AXError and the expansion engine's errors. An untrusted process
    /// gets it at once, and the delegate hears nothing then; otherwise the delegate hears the
    /// start and the end. A press while another one is under way is ignored: false, and
    /// `done` never runs.
    ///
    /// `keysWentOn`, when given, tells (from any thread) whether the keys typed after the
    /// shortcut went on to the editor without waiting for the press (their hold's bound passed
    /// before the press was read or written). The line may then hold them, so the press writes
    /// nothing and fails with ShortcutAnsweredLateError.
    ///
    /// Without `keysHeld`, nothing keeps the keys typed after the trigger from the editor (a
    /// desktop without the grab, an action run over D-Bus): a line that changed before the write
    /// fails with ShortcutAnsweredLateError rather than quietly.
    bool startExpanding(
        std::function<void(const PressOutcome&)> done, std::function<bool()> keysWentOn = {}, bool keysHeld = true);
    bool isExpanding() const noexcept { return m_pressUnderWay; }

    /// Expands the end of the given text. The file extension (without the dot) selects
    /// the preferred expanders; absent or empty prefers none. Nothing when no expander
    /// applies. Throws the expansion engine's user-facing errors, with the expander set.
    std::optional<ExpandedExpression> expand(
        const icu::UnicodeString& text, const std::optional<icu::UnicodeString>& fileExtension);

    /// Makes what a search in a file with this extension needs (its candidate lists and what
    /// they derive from the expanders) without expanding anything, so that the first expansion
    /// does not pay for it. The delegate hears nothing.
    void prepareSearch(const std::optional<icu::UnicodeString>& fileExtension) const;

private:
    class CaretRead;
    /// The line before the caret and the file's extension, through one focus lookup.
    static std::shared_ptr<CaretRead> readAtCaret(AccessibilityBackend& backend);
    /// The expansion of the line read; none when nothing would change.
    std::optional<ExpandedExpression> expansionOf(const CaretRead& read) const;
    static bool write(CaretRead& read, const ExpandedExpression& expression, KeyboardPaste* paste,
        const std::function<bool()>& keysWentOn, bool keysHeld);
    AccessibilityBackend& backend();

    std::optional<ExpandedExpression> findAndExpand(
        const icu::UnicodeString& text, const std::optional<icu::UnicodeString>& fileExtension) const;
    /// controller.findExpander(text), with the list's prefilters taken from and kept in the
    /// prefilter cache when there is one.
    std::optional<ExpandedExpression> searchKeepingPrefilters(const ExpanderController& controller,
        const icu::UnicodeString& text, const std::optional<icu::UnicodeString>& fileExtension, const char* list) const;
    /// The expanders that support a language of the extension, then all the others.
    const std::pair<ExpanderController, ExpanderController>& expanderControllers(
        const std::optional<icu::UnicodeString>& fileExtension) const;

    struct KeptControllers {
        const BundleStore* store = nullptr;
        uint64_t revision = 0;
        std::map<std::u16string, std::pair<ExpanderController, ExpanderController>> byExtension;
    };
    // Only derived from the library, and dropped when it changes; main thread only.
    mutable KeptControllers m_keptControllers;

    BundleStoreProvider m_bundleStore;
    std::shared_ptr<PrefilterCache> m_prefilterCache;
    std::shared_ptr<AccessibilityBackend> m_backend;
    std::shared_ptr<KeyboardPaste> m_keyboardPaste;
    std::shared_ptr<AccessibilityBackend> m_sharedBackend; // held for the current expansion
    ExpandingControllerDelegate* m_delegate = nullptr;
    bool m_pressUnderWay = false;
    // Continuations of a press check it: they may arrive after this controller has gone.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace quillet
