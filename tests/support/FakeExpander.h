#pragma once

#include "variables/EmbeddableExpander.h"
#include "variables/Expander.h"
#include "variables/ProgrammingLanguage.h"

#include <unicode/unistr.h>

#include <memory>
#include <optional>
#include <vector>

namespace quillet::test {

/// A language that is only an id (its name is the id; it accepts its id as extension).
class FakeLanguage final : public ProgrammingLanguage {
public:
    explicit FakeLanguage(icu::UnicodeString id)
        : m_id(std::move(id))
    {
    }
    icu::UnicodeString id() const override { return m_id; }
    icu::UnicodeString name() const override { return m_id; }
    bool accepts(const icu::UnicodeString& extension) const override { return extension == m_id; }

private:
    icu::UnicodeString m_id;
};

ProgrammingLanguagePtr language(const icu::UnicodeString& id);

/// An expander for tests: identifier, name, pattern and languages, all fixed at creation.
///
/// expand() returns the given output when one was set, otherwise the expression itself;
/// it records nothing and never fails. matchPattern() parses the pattern as the library's
/// expander does (trimmed of spaces and tabs, itself as parent) and returns regexPattern.
/// It is embeddable, so expander variables can find it by identifier.
class FakeExpander final : public Expander, public EmbeddableExpander {
public:
    FakeExpander(icu::UnicodeString identifier, icu::UnicodeString pattern, ProgrammingLanguageList languages = {},
        std::optional<icu::UnicodeString> output = std::nullopt, icu::UnicodeString name = {});

    static std::shared_ptr<FakeExpander> make(icu::UnicodeString identifier, icu::UnicodeString pattern,
        ProgrammingLanguageList languages = {}, std::optional<icu::UnicodeString> output = std::nullopt);

    icu::UnicodeString identifier() const override { return m_identifier; }
    icu::UnicodeString name() const override { return m_name; }
    icu::UnicodeString expanderDescription() const override { return {}; }
    std::vector<std::shared_ptr<const ProgrammingLanguage>> supportedLanguages() const override { return m_languages; }
    icu::UnicodeString expand(
        const icu::UnicodeString& expression, const ExpanderLookup& expanderController) const override;
    icu::UnicodeString matchPattern(const ExpanderLookup& expanderController) const override;
    icu::UnicodeString pattern() const override { return m_pattern; }

private:
    icu::UnicodeString m_identifier;
    icu::UnicodeString m_pattern;
    ProgrammingLanguageList m_languages;
    std::optional<icu::UnicodeString> m_output;
    icu::UnicodeString m_name;
};

} // namespace quillet::test
