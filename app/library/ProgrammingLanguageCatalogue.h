#pragma once

#include "variables/ProgrammingLanguage.h"

#include <unicode/unistr.h>

#include <optional>

namespace quillet {

/// Answers which language a stored language identifier names.
///
/// Expanders and bundles keep the identifiers the library file holds, each with the language
/// it names. The catalogue of languages is built above the library, so the library asks
/// through this interface and the catalogue installs itself before main() runs (see
/// languages/LanguageStoreInstaller.cpp, which every program linking the core compiles in).
class ProgrammingLanguageCatalogue {
public:
    virtual ~ProgrammingLanguageCatalogue() = default;

    /// The language whose id equals `id` exactly, or none.
    virtual std::optional<ProgrammingLanguagePtr> language(const icu::UnicodeString& id) const = 0;

    /// The installed catalogue; null until one is installed, and then no identifier names a language.
    static const ProgrammingLanguageCatalogue* installed() noexcept;
    /// Makes `catalogue` the one that records ask. It must outlive every record made after.
    static void install(const ProgrammingLanguageCatalogue* catalogue) noexcept;

protected:
    ProgrammingLanguageCatalogue() = default;
    ProgrammingLanguageCatalogue(const ProgrammingLanguageCatalogue&) = default;
    ProgrammingLanguageCatalogue& operator=(const ProgrammingLanguageCatalogue&) = default;
};

} // namespace quillet
