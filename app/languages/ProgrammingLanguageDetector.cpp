#include "languages/ProgrammingLanguageDetector.h"

#include "languages/ProgrammingLanguageStore.h"

namespace quillet {

ProgrammingLanguageList ProgrammingLanguageDetector::languages(const std::optional<icu::UnicodeString>& extension) const
{
    // Any Language accepts the empty text too; an empty list instead tells the selection
    // that nothing is known, so no group of expanders is preferred.
    if (!extension || extension->isEmpty())
        return {};
    return ProgrammingLanguageStore::shared().languages(*extension);
}

} // namespace quillet
