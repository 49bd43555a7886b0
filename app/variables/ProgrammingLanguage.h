#pragma once

#include "OrvTextView/HighlightingPattern.h"

#include <unicode/unistr.h>

#include <memory>
#include <vector>

namespace quillet {

/// The file name extensions that select a language: a given list, or every extension.
/// Extensions are written without the leading dot.
class ProgrammingLanguageExtension {
public:
    static ProgrammingLanguageExtension given(std::vector<icu::UnicodeString> extensions);
    static ProgrammingLanguageExtension all();

    bool isAll() const noexcept { return m_isAll; }
    /// The given list in its order; empty for all().
    const std::vector<icu::UnicodeString>& extensions() const noexcept { return m_extensions; }

    /// True for every text (the empty one included) when all(); otherwise when the list holds
    /// the text exactly: case-sensitive, nothing trimmed, a leading dot not removed.
    bool accepts(const icu::UnicodeString& extension) const;

    friend bool operator==(const ProgrammingLanguageExtension&, const ProgrammingLanguageExtension&) = default;

private:
    ProgrammingLanguageExtension(bool isAll, std::vector<icu::UnicodeString> extensions);

    bool m_isAll = false;
    std::vector<icu::UnicodeString> m_extensions;
};

/// A programming language: identifier, display name, file extensions and the highlighting
/// patterns that colour code written in it. Handled as shared immutable values; two
/// languages are equal when their identifiers are, whatever else they hold.
class ProgrammingLanguage {
public:
    virtual ~ProgrammingLanguage() = default;

    /// Unique within the catalogue, lower-case ASCII; what records store and compare.
    virtual icu::UnicodeString id() const = 0;
    virtual icu::UnicodeString name() const = 0;
    /// The extensions that select the language. Every catalogue language lists its own; a
    /// language known only by its id (as in tests of the selection) selects no file.
    virtual const ProgrammingLanguageExtension& extensions() const;
    /// In the order the editors apply them; none unless the language has its own.
    virtual orv::HighlightingPatternList highlightingPatterns() const { return {}; }

    /// True when a file name extension (written without the dot) selects the language.
    /// Answered from extensions(); an override must agree with it.
    virtual bool accepts(const icu::UnicodeString& extension) const { return extensions().accepts(extension); }
};

using ProgrammingLanguagePtr = std::shared_ptr<const ProgrammingLanguage>;
using ProgrammingLanguageList = std::vector<ProgrammingLanguagePtr>;

inline bool operator==(const ProgrammingLanguage& a, const ProgrammingLanguage& b)
{
    return a.id() == b.id();
}

} // namespace quillet
