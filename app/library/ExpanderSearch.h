#pragma once

#include "library/CustomExpander.h"

#include <unicode/unistr.h>

#include <optional>
#include <unordered_map>
#include <vector>

namespace quillet {

/// The search text the expander browser filters by: its value trimmed of spaces and tabs at
/// both ends (line breaks stay), the empty text when there is none.
icu::UnicodeString browserSearchText(const std::optional<icu::UnicodeString>& text);

/// Whether a change of the browser's search text calls for a new filtering: not when both
/// texts are present and equal (canonically) once trimmed, so a blank typed at either end
/// changes nothing; always when either is absent.
bool searchTextChangeNeedsFiltering(
    const std::optional<icu::UnicodeString>& previous, const std::optional<icu::UnicodeString>& next);

/// Finds expanders by a search text, the way the expander browser lists them: the expanders
/// that match (as CustomExpander::matchesSearch), the highest score (as
/// CustomExpander::searchScore) first, and among equal scores in the order given.
///
/// The search keeps the folded texts of the expanders it saw last, so that each keystroke
/// over an unchanged library folds only the search text; an expander whose name, pattern,
/// template or languages changed is folded again, and the texts of expanders that are no
/// longer given are let go. Main thread only, like the expanders.
class ExpanderSearch {
public:
    std::vector<CustomExpanderPtr> search(
        const std::vector<CustomExpanderPtr>& expanders, const icu::UnicodeString& searchText);

private:
    struct FoldedExpander {
        // The texts the folded ones were made from, to notice an edit.
        icu::UnicodeString name;
        icu::UnicodeString pattern;
        icu::UnicodeString outputTemplate;
        icu::UnicodeString languages;
        icu::UnicodeString foldedName;
        icu::UnicodeString foldedPattern;
        icu::UnicodeString foldedTemplate;
        std::vector<icu::UnicodeString> foldedLanguageNames;
    };

    const FoldedExpander& folded(const CustomExpander& expander);
    void forgetOthers(const std::vector<CustomExpanderPtr>& expanders);
    static int score(const FoldedExpander& expander, const icu::UnicodeString& foldedText);

    std::unordered_map<const CustomExpander*, FoldedExpander> m_folded;
};

} // namespace quillet
