#pragma once

#include "variables/ProgrammingLanguage.h"

namespace quillet {

/// Something whose supported languages the user picks from a list: the expander record
/// implements it, so that the language rows need not know the record.
class SupportedLanguagesHolder {
public:
    virtual ~SupportedLanguagesHolder() = default;

    /// The languages of the entries in order, leaving out entries that name no language.
    virtual ProgrammingLanguageList supportedLanguages() const = 0;
    /// Replaces the entries with entries made from `languages` and tells the holder's observers.
    virtual void setSupportedLanguages(const ProgrammingLanguageList& languages) = 0;
};

} // namespace quillet
