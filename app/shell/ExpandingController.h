#pragma once

#include "expansion/ExpandedExpression.h"
#include "expansion/ExpanderController.h"

#include <unicode/unistr.h>

#include <functional>
#include <optional>
#include <utility>

namespace quillet {

class BundleStore;
class ExpandingController;

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
/// Keeps no state between expansions: every call rebuilds the candidate lists from the
/// current library. The expansion at the caret of another application (through the
/// accessibility bus) is added by the desktop application; this class holds the text
/// entry that the command line and the scripting interface use.
class ExpandingController {
public:
    /// Where the library comes from; by default the application-wide library holder.
    using BundleStoreProvider = std::function<const BundleStore&()>;

    ExpandingController();
    explicit ExpandingController(BundleStoreProvider bundleStore);

    /// Not owned; the delegate must unregister (set nullptr) before it goes away.
    void setDelegate(ExpandingControllerDelegate* delegate) noexcept { m_delegate = delegate; }
    ExpandingControllerDelegate* delegate() const noexcept { return m_delegate; }

    /// Expands the end of the given text. The file extension (without the dot) selects
    /// the preferred expanders; absent or empty prefers none. Nothing when no expander
    /// applies. Throws the expansion engine's user-facing errors, with the expander set.
    std::optional<ExpandedExpression> expand(const icu::UnicodeString& text,
                                             const std::optional<icu::UnicodeString>& fileExtension);

private:
    std::optional<ExpandedExpression> findAndExpand(const icu::UnicodeString& text,
                                                    const std::optional<icu::UnicodeString>& fileExtension) const;
    /// The expanders that support a language of the extension, then all the others.
    std::pair<ExpanderController, ExpanderController> expanderControllers(
        const std::optional<icu::UnicodeString>& fileExtension) const;

    BundleStoreProvider m_bundleStore;
    ExpandingControllerDelegate* m_delegate = nullptr;
};

} // namespace quillet
