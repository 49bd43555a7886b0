#include "expansion/ExpanderController.h"

#include <algorithm>

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

} // namespace

ExpanderController::ExpanderController(std::vector<ExpanderPtr> expanders)
    : m_expanders(std::move(expanders))
{
}

std::vector<ExpanderPtr> ExpanderController::expandersWithKeyAndLanguages(const icu::UnicodeString& identifier,
                                                                          const ProgrammingLanguageList& languages) const
{
    std::vector<ExpanderPtr> result;
    if (identifier.isEmpty())
        return result;
    for (const auto& expander : m_expanders) {
        if (expander && expander->identifier() == identifier && servesLanguages(*expander, languages))
            result.push_back(expander);
    }
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
