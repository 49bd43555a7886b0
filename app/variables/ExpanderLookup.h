#pragma once

#include "variables/Expander.h"
#include "variables/ProgrammingLanguage.h"

#include <unicode/unistr.h>

#include <cstdint>
#include <vector>

namespace quillet {

/// The expanders that a pattern may embed through an expander variable, as pattern parsing
/// and the expanders themselves look them up by identifier.
///
/// Parsing sits below the expander selection, so it asks through this interface; the
/// selection (ExpanderController) implements it over the list it was made with.
class ExpanderLookup {
public:
    virtual ~ExpanderLookup() = default;

    /// The same for a list and its copies, and for no other list in this process: what is
    /// derived from the list may be kept under it together with expanderRevision().
    virtual uint64_t listId() const noexcept = 0;

    /// The expanders, in list order, whose identifier equals the given one (canonical
    /// equivalence); the empty identifier finds those without one.
    virtual std::vector<ExpanderPtr> expandersWithIdentifier(const icu::UnicodeString& identifier) const = 0;

    /// The expanders, in list order, whose identifier equals the given one and that serve the
    /// languages. An empty identifier finds nothing.
    virtual std::vector<ExpanderPtr> expandersWithKeyAndLanguages(
        const icu::UnicodeString& identifier, const ProgrammingLanguageList& languages) const = 0;

    /// The expanders, in list order, that have an identifier and serve the languages.
    virtual std::vector<ExpanderPtr> expandersForLanguages(const ProgrammingLanguageList& languages) const = 0;

protected:
    ExpanderLookup() = default;
    ExpanderLookup(const ExpanderLookup&) = default;
    ExpanderLookup& operator=(const ExpanderLookup&) = default;
    ExpanderLookup(ExpanderLookup&&) = default;
    ExpanderLookup& operator=(ExpanderLookup&&) = default;
};

} // namespace quillet
