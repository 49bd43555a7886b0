#include "expansion/ExpanderController.h"

#include "expansion/ExpanderExpansion.h"
#include "text/RegexCache.h"
#include "text/StringHelpers.h"
#include "text/UserErrorDescriptionType.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

namespace quillet {
namespace {

bool containsAny(const ProgrammingLanguageList& languages)
{
    return std::any_of(languages.begin(), languages.end(),
        [](const ProgrammingLanguagePtr& language) { return language && language->id() == anyLanguageId(); });
}

bool sharesLanguageId(const ProgrammingLanguageList& given, const ProgrammingLanguageList& supported)
{
    for (const auto& a : given) {
        if (!a)
            continue;
        const auto id = a->id();
        for (const auto& b : supported) {
            if (b && b->id() == id)
                return true;
        }
    }
    return false;
}

/// The language rule shared by both lookups; the identifier is checked by the caller.
bool servesLanguages(const Expander& expander, const ProgrammingLanguageList& languages)
{
    if (containsAny(languages) || languages.empty())
        return true;
    const auto supported = expander.supportedLanguages();
    if (supported.empty() || containsAny(supported))
        return true;
    return sharesLanguageId(languages, supported);
}

/// Runs one step for an expander; an error that concerns an expander leaves naming this one.
template <typename Step> auto attributingErrorsTo(const ExpanderPtr& expander, Step step) -> decltype(step())
{
    try {
        return step();
    } catch (ExpanderRelatedError& error) {
        error.setExpander(expander);
        throw;
    }
}

struct Candidate {
    ExpanderPtr expander;
    int64_t matchedCharacters = 0;
};

std::u16string indexKey(const icu::UnicodeString& identifier)
{
    const icu::UnicodeString canonical = canonicalForm(identifier);
    return std::u16string(canonical.getBuffer(), static_cast<std::size_t>(canonical.length()));
}

} // namespace

struct ExpanderController::Derived {
    uint64_t listId = 0;
    std::mutex mutex;
    uint64_t indexRevision = 0; // 0: not made yet
    std::unordered_map<std::u16string, std::vector<std::size_t>> positionsByIdentifier;
    uint64_t prefiltersRevision = 0;
    std::shared_ptr<const std::vector<Prefilter>> prefilters;
};

std::shared_ptr<const std::vector<ExpanderController::Prefilter>> ExpanderController::prefilters() const
{
    const uint64_t revision = expanderRevision();
    {
        std::lock_guard lock(m_derived->mutex);
        if (m_derived->prefilters && m_derived->prefiltersRevision == revision)
            return m_derived->prefilters;
    }
    // Made without the lock: parsing a pattern that embeds others looks them up in the index.
    auto made = std::make_shared<std::vector<Prefilter>>(m_expanders.size());
    for (std::size_t i = 0; i < m_expanders.size(); ++i) {
        if (!m_expanders[i])
            continue;
        try {
            (*made)[i] = Prefilter {
                .isKnown = true,
                .requiredLiteral = requiredLiteral(m_expanders[i]->matchPattern(*this)),
            };
        } catch (const std::exception&) {
            (*made)[i] = Prefilter {};
        }
    }
    std::lock_guard lock(m_derived->mutex);
    m_derived->prefilters = made;
    m_derived->prefiltersRevision = revision;
    return made;
}

std::optional<std::vector<ExpanderController::Prefilter>> ExpanderController::madePrefilters() const
{
    const uint64_t revision = expanderRevision();
    std::lock_guard lock(m_derived->mutex);
    if (!m_derived->prefilters || m_derived->prefiltersRevision != revision)
        return std::nullopt;
    return *m_derived->prefilters;
}

bool ExpanderController::adoptPrefilters(std::vector<Prefilter> prefilters) const
{
    if (prefilters.size() != m_expanders.size())
        return false;
    const uint64_t revision = expanderRevision();
    std::lock_guard lock(m_derived->mutex);
    m_derived->prefilters = std::make_shared<const std::vector<Prefilter>>(std::move(prefilters));
    m_derived->prefiltersRevision = revision;
    return true;
}

ExpanderController::ExpanderController(std::vector<ExpanderPtr> expanders)
    : m_expanders(std::move(expanders))
    , m_derived(std::make_shared<Derived>())
{
    static std::atomic<uint64_t> lastListId { 0 };
    m_derived->listId = ++lastListId;
}

uint64_t ExpanderController::listId() const noexcept
{
    return m_derived->listId;
}

std::vector<ExpanderPtr> ExpanderController::expandersWithIdentifier(const icu::UnicodeString& identifier) const
{
    const std::u16string key = indexKey(identifier);
    std::vector<ExpanderPtr> result;
    std::lock_guard lock(m_derived->mutex);
    // Read before the index is made: a change while it is being made leaves it older than the
    // revision, and the next lookup makes it again.
    const uint64_t revision = expanderRevision();
    if (m_derived->indexRevision != revision) {
        auto& index = m_derived->positionsByIdentifier;
        index.clear();
        for (std::size_t i = 0; i < m_expanders.size(); ++i) {
            if (m_expanders[i])
                index[indexKey(m_expanders[i]->identifier())].push_back(i);
        }
        m_derived->indexRevision = revision;
    }
    const auto found = m_derived->positionsByIdentifier.find(key);
    if (found == m_derived->positionsByIdentifier.end())
        return result;
    result.reserve(found->second.size());
    for (const std::size_t position : found->second)
        result.push_back(m_expanders[position]);
    return result;
}

std::optional<ExpandedExpression> ExpanderController::findExpander(
    const icu::UnicodeString& text, const ExpanderPtr& expander) const
{
    // However long the line and however many patterns, the search spends one budget of work.
    const RegexCache::SearchBudgetScope budget;
    if (expander) {
        return attributingErrorsTo(expander, [&] { return expandedExpression(*expander, text, *this); });
    }
    if (text.indexOf(u'\n') >= 0)
        return std::nullopt;

    const SuffixSearchScope search(text);
    // Most patterns of a large library cannot match the line at all: their literal is not in it.
    const auto known = prefilters();
    std::vector<Candidate> candidates;
    std::map<int32_t, int64_t> charactersFrom;
    for (std::size_t i = 0; i < m_expanders.size(); ++i) {
        const ExpanderPtr& candidate = m_expanders[i];
        if (!candidate)
            continue;
        const Prefilter& prefilter = (*known)[i];
        if (prefilter.isKnown && !holdsLiteral(text, prefilter.requiredLiteral))
            continue;
        const auto matched = attributingErrorsTo(candidate, [&] { return matchedRange(*candidate, text, *this); });
        if (!matched)
            continue;
        // Every abbreviation ends where the text does, so its length in characters depends on its
        // start alone: counted once per start.
        auto counted = charactersFrom.find(matched->location);
        if (counted == charactersFrom.end()) {
            counted = charactersFrom
                          .emplace(
                              matched->location, characterCount(text.tempSubString(matched->location, matched->length)))
                          .first;
        }
        candidates.push_back(Candidate { .expander = candidate, .matchedCharacters = counted->second });
    }
    // Longest abbreviation first; equal lengths keep the list order, however many candidates there are.
    std::stable_sort(candidates.begin(), candidates.end(),
        [](const Candidate& a, const Candidate& b) { return a.matchedCharacters > b.matchedCharacters; });
    for (const auto& candidate : candidates) {
        auto result = attributingErrorsTo(
            candidate.expander, [&] { return expandedExpression(*candidate.expander, text, *this); });
        if (result)
            return result;
    }
    return std::nullopt;
}

std::vector<ExpanderPtr> ExpanderController::expandersWithKeyAndLanguages(
    const icu::UnicodeString& identifier, const ProgrammingLanguageList& languages) const
{
    if (identifier.isEmpty())
        return {};
    std::vector<ExpanderPtr> result = expandersWithIdentifier(identifier);
    std::erase_if(result, [&](const ExpanderPtr& expander) { return !servesLanguages(*expander, languages); });
    return result;
}

std::vector<ExpanderPtr> ExpanderController::expandersForLanguages(const ProgrammingLanguageList& languages) const
{
    std::vector<ExpanderPtr> result;
    for (const auto& expander : m_expanders) {
        if (expander && expanderMatchesLanguages(*expander, languages))
            result.push_back(expander);
    }
    return result;
}

bool ExpanderController::expanderMatchesLanguages(const Expander& expander, const ProgrammingLanguageList& languages)
{
    return hasIdentifier(expander) && servesLanguages(expander, languages);
}

bool supportsLanguages(const Expander& expander, const ProgrammingLanguageList& languages)
{
    return languages.empty() || sharesLanguageId(languages, expander.supportedLanguages());
}

bool hasIdentifier(const Expander& expander)
{
    return !expander.identifier().isEmpty();
}

} // namespace quillet
