#pragma once

#include "variables/ProgrammingLanguage.h"

#include <unicode/unistr.h>

#include <optional>

namespace quillet {

/// One entry of an expander's or a bundle's supported languages: the identifier as the
/// library file stores it, with the language it names, if any.
///
/// An identifier that names no language (written by a newer version, or mistyped) keeps its
/// entry, so that saving the record writes it back unchanged.
struct ProgrammingLanguageContainer {
    /// Has `language` and its id.
    explicit ProgrammingLanguageContainer(ProgrammingLanguagePtr language);
    /// Has `languageId` exactly as given as its identifier and the installed catalogue's language of that id, or none.
    explicit ProgrammingLanguageContainer(icu::UnicodeString languageId);

    /// Never null when present.
    std::optional<ProgrammingLanguagePtr> programmingLanguage;
    icu::UnicodeString identifier;
};

} // namespace quillet
