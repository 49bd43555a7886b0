#include "languages/ProgrammingLanguageContainer.h"

#include "languages/ProgrammingLanguageStore.h"

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
    : programmingLanguage(ProgrammingLanguageStore::shared().language(languageId))
    , identifier(std::move(languageId))
{
}

} // namespace quillet
