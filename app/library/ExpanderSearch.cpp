#include "library/ExpanderSearch.h"

#include "text/StringHelpers.h"
#include "text/StringMatching.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

namespace quillet {

icu::UnicodeString browserSearchText(const std::optional<icu::UnicodeString>& text)
{
    return text ? trimmingWhitespace(*text) : icu::UnicodeString();
}

bool searchTextChangeNeedsFiltering(
    const std::optional<icu::UnicodeString>& previous, const std::optional<icu::UnicodeString>& next)
{
    if (previous && next)
        return !textEquals(trimmingWhitespace(*previous), trimmingWhitespace(*next));
    return true;
}

const ExpanderSearch::FoldedExpander& ExpanderSearch::folded(const CustomExpander& expander)
{
    // A new entry holds empty texts, folded alike, so it starts consistent. Equality of the
    // raw texts is a plain comparison of code units, far cheaper than folding.
    FoldedExpander& folded = m_folded[&expander];
    if (folded.name != expander.name()) {
        folded.name = expander.name();
        folded.foldedName = foldedForSearch(folded.name);
    }
    if (folded.pattern != expander.pattern()) {
        folded.pattern = expander.pattern();
        folded.foldedPattern = foldedForSearch(folded.pattern);
    }
    if (folded.outputTemplate != expander.outputTemplate()) {
        folded.outputTemplate = expander.outputTemplate();
        folded.foldedTemplate = foldedForSearch(folded.outputTemplate);
    }
    if (folded.languages != expander.supportedLanguagesString()) {
        folded.languages = expander.supportedLanguagesString();
        folded.foldedLanguageNames.clear();
        for (const auto& language : expander.supportedLanguages())
            folded.foldedLanguageNames.push_back(foldedForSearch(language->name()));
    }
    return folded;
}

void ExpanderSearch::forgetOthers(const std::vector<CustomExpanderPtr>& expanders)
{
    std::unordered_set<const CustomExpander*> kept;
    kept.reserve(expanders.size());
    for (const auto& expander : expanders)
        kept.insert(expander.get());
    std::erase_if(m_folded, [&kept](const auto& entry) { return !kept.contains(entry.first); });
}

int ExpanderSearch::score(const FoldedExpander& expander, const icu::UnicodeString& foldedText)
{
    // The weights of CustomExpander::searchScore; an empty text is in every string.
    const auto contains = [&foldedText](const icu::UnicodeString& text) {
        return foldedText.isEmpty() || text.indexOf(foldedText) >= 0;
    };
    int score = 0;
    if (contains(expander.foldedName))
        score += 3;
    if (std::any_of(expander.foldedLanguageNames.begin(), expander.foldedLanguageNames.end(), contains))
        score += 2;
    if (contains(expander.foldedPattern))
        score += 1;
    if (contains(expander.foldedTemplate))
        score += 1;
    return score;
}

std::vector<CustomExpanderPtr> ExpanderSearch::search(
    const std::vector<CustomExpanderPtr>& expanders, const icu::UnicodeString& searchText)
{
    const icu::UnicodeString foldedText = foldedForSearch(searchText);
    // Entries of expanders that left the list go once they outnumber the listed ones, so
    // the kept texts stay proportional to the library without a sweep at every keystroke.
    if (m_folded.size() > 2 * expanders.size() + 64)
        forgetOthers(expanders);

    // An expander matches exactly when one of the four texts contains the search text, that
    // is when its score is above zero. Each expander is scored once, not at every comparison.
    std::vector<std::pair<int, const CustomExpanderPtr*>> scored;
    scored.reserve(expanders.size());
    for (const auto& expander : expanders) {
        if (!expander)
            continue;
        const int points = score(folded(*expander), foldedText);
        if (points > 0)
            scored.emplace_back(points, &expander);
    }
    std::stable_sort(scored.begin(), scored.end(), [](const auto& a, const auto& b) { return a.first > b.first; });

    std::vector<CustomExpanderPtr> result;
    result.reserve(scored.size());
    for (const auto& [points, expander] : scored)
        result.push_back(*expander);
    return result;
}

} // namespace quillet
