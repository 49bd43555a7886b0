#pragma once

#include "expansion/ExpandedExpression.h"
#include "variables/Expander.h"
#include "variables/ExpanderLookup.h"
#include "variables/ProgrammingLanguage.h"

#include <unicode/unistr.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace quillet {

/// The expanders to choose from for one task (one expansion, one validation, one preview).
///
/// Callers build one per use with the list they picked (for example the enabled expanders
/// that support the editor's language); it never changes afterwards. Pattern parsing hands
/// it on so that a pattern can embed another expander by identifier.
///
/// What every search derives alike from the list is kept with it and shared by its copies:
/// an index of the identifiers (by canonical form) and each pattern's required literal, made on
/// first need and made again when an expander has changed since (expanderRevision). A controller kept for many searches
/// (the expansion front keeps one per library state and language) so pays for it once. The
/// index has its own lock, so copies may be used on several threads.
class ExpanderController : public ExpanderLookup {
public:
    explicit ExpanderController(std::vector<ExpanderPtr> expanders = {});

    /// The expanders in the caller's order.
    const std::vector<ExpanderPtr>& expanders() const noexcept { return m_expanders; }

    /// The same for this controller and its copies, and for no other controller made in this
    /// process: what is derived from the list (the expression of a pattern that embeds other
    /// expanders) may be kept under it together with expanderRevision.
    uint64_t listId() const noexcept override;

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

    /// The expanders, in list order, whose identifier equals the given one (canonical
    /// equivalence); the empty identifier finds those without one. Looked up in the index.
    std::vector<ExpanderPtr> expandersWithIdentifier(const icu::UnicodeString& identifier) const override;

    /// The expanders, in list order, whose identifier equals the given one and that serve the
    /// languages (see expanderMatchesLanguages). An empty identifier finds nothing.
    std::vector<ExpanderPtr> expandersWithKeyAndLanguages(
        const icu::UnicodeString& identifier, const ProgrammingLanguageList& languages) const override;

    /// The expanders, in list order, that have an identifier and serve the languages.
    std::vector<ExpanderPtr> expandersForLanguages(const ProgrammingLanguageList& languages) const override;

    /// False for an expander without identifier; otherwise the language rule: it holds when a given
    /// language is "any", no language is given, the expander names no language or names "any",
    /// or the two lists share a language id.
    static bool expanderMatchesLanguages(const Expander& expander, const ProgrammingLanguageList& languages);

    /// What one expander's pattern tells a search before anything is matched.
    struct Prefilter {
        /// False when the pattern did not parse when this was made: the search asks it again,
        /// so that its error still ends the search in list order.
        bool isKnown = false;
        /// A text that every match holds (requiredLiteral); empty when none is known.
        icu::UnicodeString requiredLiteral;

        bool operator==(const Prefilter&) const = default;
    };

    /// The prefilters of the expanders in list order, when a search has made them (or they were
    /// adopted) since the expanders last changed; none otherwise. Lets a short-lived process
    /// keep them for its next run.
    std::optional<std::vector<Prefilter>> madePrefilters() const;
    /// Takes prefilters that an earlier search made for exactly these expanders, in list order,
    /// instead of parsing every pattern again; refused (false) when the count differs. The caller
    /// vouches for the rest: a wrong literal would hide an expander that matches.
    bool adoptPrefilters(std::vector<Prefilter> prefilters) const;

private:
    struct Derived;
    /// One per expander, in list order; made again when an expander has changed.
    std::shared_ptr<const std::vector<Prefilter>> prefilters() const;
    const Derived& derived() const;

    std::vector<ExpanderPtr> m_expanders;
    std::shared_ptr<Derived> m_derived;
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
