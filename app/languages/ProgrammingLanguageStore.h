#pragma once

#include "variables/ProgrammingLanguage.h"

#include <unicode/unistr.h>

#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillet {

/// The fixed catalogue of the eighteen languages, in the order the language picker lists
/// them, with Any Language last.
///
/// Built once per process on the first call to shared() (thread-safe); the list and its
/// languages never change afterwards, so readers on any thread need no lock. Lookups by
/// extension are linear scans over eighteen entries; by id, an index (a library names a
/// language three times per expander, often one that no entry has).
class ProgrammingLanguageStore {
public:
    static const ProgrammingLanguageStore& shared();

    const ProgrammingLanguageList& allLanguages() const noexcept { return m_allLanguages; }

    /// Every language that accepts the extension, in store order; always ends with Any
    /// Language. The extension is compared as given: not lower-cased, no dot stripped.
    ProgrammingLanguageList languages(const icu::UnicodeString& extension) const;

    /// The language whose id equals `id` exactly, or none. An unknown id does not fall back
    /// to Any Language: the caller decides what to keep.
    std::optional<ProgrammingLanguagePtr> language(const icu::UnicodeString& id) const;

private:
    ProgrammingLanguageStore();

    ProgrammingLanguageList m_allLanguages;
    std::vector<icu::UnicodeString> m_ids; // in store order; the index's keys point into them
    std::unordered_map<std::u16string_view, ProgrammingLanguagePtr> m_languagesById;
};

} // namespace quillet
