#pragma once

#include "expansion/ExpandedExpression.h"
#include "languages/ProgrammingLanguage.h"
#include "library/Expander.h"

#include <unicode/unistr.h>

#include <optional>
#include <vector>

namespace quillet {

/// The expanders to choose from for one task (one expansion, one validation, one preview).
///
/// Callers build one per use with the list they picked (for example the enabled expanders
/// that support the editor's language); it never changes afterwards. Pattern parsing hands
/// it on so that a pattern can embed another expander by identifier.
class ExpanderController {
public:
    explicit ExpanderController(std::vector<ExpanderPtr> expanders = {});
    virtual ~ExpanderController() = default;

    /// The expanders in the caller's order.
    const std::vector<ExpanderPtr>& expanders() const noexcept { return m_expanders; }

    /// Expands the end of `text` (the text before the caret) with the best expander.
    ///
    /// Every expander whose pattern matches the end of the text is a candidate; candidates are
    /// tried longest matched text first (equal lengths in list order) until one gives a result.
    /// With `expander` given, only it is tried and the list is ignored. None when nothing applies,
    /// also for a text with a line feed.
    ///
    /// The first error met ends the search: an ExpanderRelatedError gets the expander in hand
    /// attached (replacing any other); every error is rethrown.
    std::optional<ExpandedExpression> findExpander(
        const icu::UnicodeString& text, const ExpanderPtr& expander = nullptr) const;

    /// The expanders, in list order, whose identifier equals the given one and that serve the
    /// languages (see expanderMatchesLanguages). An empty identifier finds nothing.
    std::vector<ExpanderPtr> expandersWithKeyAndLanguages(
        const icu::UnicodeString& identifier, const ProgrammingLanguageList& languages) const;

    /// The expanders, in list order, that have an identifier and serve the languages.
    std::vector<ExpanderPtr> expandersForLanguages(const ProgrammingLanguageList& languages) const;

    /// False for an expander without identifier; otherwise the language rule: it holds when a given
    /// language is "any", no language is given, the expander names no language or names "any",
    /// or the two lists share a language id.
    static bool expanderMatchesLanguages(const Expander& expander, const ProgrammingLanguageList& languages);

private:
    std::vector<ExpanderPtr> m_expanders;
};

/// The language id that stands for every language.
inline const icu::UnicodeString& anyLanguageId()
{
    static const icu::UnicodeString id(u"any");
    return id;
}

/// True when no language is given or the expander names one of the given languages' ids
/// ("any" has no special meaning here). The bundle store splits expanders with it.
bool supportsLanguages(const Expander& expander, const ProgrammingLanguageList& languages);

/// True when the expander's identifier is not empty.
bool hasIdentifier(const Expander& expander);

} // namespace quillet
