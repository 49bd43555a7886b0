#pragma once

#include "languages/ProgrammingLanguageRecord.h"

namespace quillet {

/// The catch-all language "any", "Any Language": accepts every extension, the empty one
/// included, and has no highlighting. New expanders and bundles start with it, and the
/// expander selection treats it as every language.
class AnyProgrammingLanguage final : public ProgrammingLanguageRecord {
public:
    using ProgrammingLanguageRecord::ProgrammingLanguageRecord;
    AnyProgrammingLanguage();
};

} // namespace quillet
