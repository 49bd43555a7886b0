#pragma once

#include <unicode/unistr.h>

#include <map>

namespace quillet {

/// A page template whose placeholders are written "#{key}" (no blanks, case-sensitive).
class TemplateCompiler {
public:
    using Values = std::map<icu::UnicodeString, icu::UnicodeString>;

    explicit TemplateCompiler(icu::UnicodeString templateText);

    /// The template with every placeholder whose key has a value replaced by it, in one pass
    /// from left to right: inserted values are never searched for placeholders, so a
    /// description that mentions "#{name}" shows it as written. Placeholders without a value
    /// stay as written; values without a placeholder are ignored. Never fails.
    icu::UnicodeString compile(const Values& values) const;

    const icu::UnicodeString& templateText() const noexcept { return m_template; }

private:
    icu::UnicodeString m_template;
};

} // namespace quillet
