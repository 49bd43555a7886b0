#include "library/SupportedLanguages.h"

#include "expansion/ExpanderController.h"
#include "text/StringHelpers.h"
#include "text/UnicodeConversion.h"

namespace quillet {

std::vector<ProgrammingLanguageContainer> anyLanguageContainers()
{
    return { ProgrammingLanguageContainer(anyLanguageId()) };
}

std::vector<ProgrammingLanguageContainer> languageContainers(std::vector<icu::UnicodeString> ids)
{
    std::vector<ProgrammingLanguageContainer> containers;
    containers.reserve(ids.size());
    for (auto& id : ids)
        containers.emplace_back(std::move(id));
    return containers;
}

ProgrammingLanguageList knownLanguages(const std::vector<ProgrammingLanguageContainer>& containers)
{
    ProgrammingLanguageList languages;
    languages.reserve(containers.size());
    for (const auto& container : containers) {
        if (container.programmingLanguage)
            languages.push_back(*container.programmingLanguage);
    }
    return languages;
}

icu::UnicodeString languageNames(const ProgrammingLanguageList& languages)
{
    std::vector<icu::UnicodeString> names;
    names.reserve(languages.size());
    for (const auto& language : languages)
        names.push_back(language->name());
    return joined(names, u", ");
}

JSONDictionary languageIdentifiers(const std::vector<ProgrammingLanguageContainer>& containers)
{
    JSONDictionary ids = JSONDictionary::array();
    for (const auto& container : containers)
        ids.push_back(toUtf8(container.identifier));
    return ids;
}

} // namespace quillet
