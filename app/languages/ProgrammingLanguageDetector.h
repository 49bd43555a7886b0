#pragma once

#include "variables/ProgrammingLanguage.h"

#include <unicode/unistr.h>

#include <optional>

namespace quillet {

/// Turns a file name extension into the languages whose expanders are tried first.
/// Holds no state; consults the shared store.
class ProgrammingLanguageDetector {
public:
    /// No languages for an absent or empty extension (no file, so no preference); otherwise
    /// the store's languages that accept it exactly, in store order, Any Language last.
    ProgrammingLanguageList languages(const std::optional<icu::UnicodeString>& extension) const;
};

} // namespace quillet
