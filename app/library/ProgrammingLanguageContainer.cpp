#include "library/ProgrammingLanguageContainer.h"

#include "library/ProgrammingLanguageCatalogue.h"

#include <cassert>
#include <utility>

namespace quillet {

ProgrammingLanguageContainer::ProgrammingLanguageContainer(ProgrammingLanguagePtr language)
{
    assert(language);
    identifier = language->id();
    programmingLanguage = std::move(language);
}

ProgrammingLanguageContainer::ProgrammingLanguageContainer(icu::UnicodeString languageId)
    : identifier(std::move(languageId))
{
    if (const auto* catalogue = ProgrammingLanguageCatalogue::installed())
        programmingLanguage = catalogue->language(identifier);
}

} // namespace quillet
