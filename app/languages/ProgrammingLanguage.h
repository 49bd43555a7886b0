#pragma once

#include <unicode/unistr.h>

#include <memory>
#include <vector>

namespace quillet {

/// A programming language: identifier, display name, file extensions and the
/// highlighting patterns of the editors. Handled as shared immutable values;
/// two languages are equal when their identifiers are.
class ProgrammingLanguage {
public:
    virtual ~ProgrammingLanguage() = default;

    virtual icu::UnicodeString id() const = 0;
    virtual icu::UnicodeString name() const = 0;
    /// True when a file name extension (written without the dot) selects the language.
    virtual bool accepts(const icu::UnicodeString& extension) const = 0;
};

using ProgrammingLanguagePtr = std::shared_ptr<const ProgrammingLanguage>;
using ProgrammingLanguageList = std::vector<ProgrammingLanguagePtr>;

inline bool operator==(const ProgrammingLanguage& a, const ProgrammingLanguage& b)
{
    return a.id() == b.id();
}

} // namespace quillet
