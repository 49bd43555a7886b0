#include "library/ProgrammingLanguageCocoaAdapter.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace quillet {

ProgrammingLanguageCocoaAdapter::ProgrammingLanguageCocoaAdapter(
    ProgrammingLanguagePtr programmingLanguage, std::weak_ptr<SupportedLanguagesHolder> expander)
    : m_programmingLanguage(std::move(programmingLanguage))
    , m_expander(std::move(expander))
{
    assert(m_programmingLanguage);
}

bool ProgrammingLanguageCocoaAdapter::chosen() const
{
    const auto expander = m_expander.lock();
    if (!expander)
        return false;
    const auto languages = expander->supportedLanguages();
    return std::ranges::any_of(languages, [&](const auto& language) { return *language == *m_programmingLanguage; });
}

void ProgrammingLanguageCocoaAdapter::setChosen(bool chosen)
{
    const auto expander = m_expander.lock();
    if (!expander)
        return;
    auto languages = expander->supportedLanguages();
    if (chosen) {
        languages.push_back(m_programmingLanguage);
    } else {
        const auto found = std::ranges::find_if(
            languages, [&](const auto& language) { return *language == *m_programmingLanguage; });
        if (found == languages.end())
            return;
        languages.erase(found);
    }
    expander->setSupportedLanguages(languages);
    if (m_changeHandler)
        m_changeHandler("chosen");
}

} // namespace quillet
