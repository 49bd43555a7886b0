#pragma once

#include "library/DictionaryReader.h"
#include "library/ProgrammingLanguageContainer.h"

#include <unicode/unistr.h>

#include <vector>

namespace quillet {

// The supported-language entries that expanders and bundles share.

/// The one entry of a new record: Any Language.
std::vector<ProgrammingLanguageContainer> anyLanguageContainers();
/// One entry per stored id, in order; ids that name no language keep their entry.
std::vector<ProgrammingLanguageContainer> languageContainers(std::vector<icu::UnicodeString> ids);
/// The languages of the entries, in order, without the entries that name no language.
ProgrammingLanguageList knownLanguages(const std::vector<ProgrammingLanguageContainer>& containers);
/// The display names of the languages joined by ", ".
icu::UnicodeString languageNames(const ProgrammingLanguageList& languages);
/// The "supported_languages" array: every entry's id, unknown ones included.
JSONDictionary languageIdentifiers(const std::vector<ProgrammingLanguageContainer>& containers);

} // namespace quillet
