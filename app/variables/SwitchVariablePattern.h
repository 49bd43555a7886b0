#pragma once

#include <unicode/unistr.h>

#include <optional>
#include <vector>

namespace quillet {

/// One case of a switch variable.
struct SwitchCase {
    icu::UnicodeString key;
    icu::UnicodeString value;
    bool operator==(const SwitchCase&) const = default;
};

/// The case-list syntax of switch parameters: "key1:value1,key2:value2", with ":" "," "{"
/// "}" "$" escaped by a backslash. Checks nothing: empty or repeated keys are the
/// switch variable's validators' concern.
class SwitchVariablePattern {
public:
    /// "((.*?(?<!\\):.*?(?<!\\)(?<!\\))(,|$))?": one case (group 2) and its separator.
    static const icu::UnicodeString& casesPattern();
    /// "(.*?)(?<!\\):(.*)": key (group 1) and value (group 2).
    static const icu::UnicodeString& casePattern();

    /// The cases of a parameters text, in order; stretches without an unescaped ":" are dropped.
    std::vector<SwitchCase> cases(const icu::UnicodeString& parameters) const;
    /// The parameters text declaring the cases (keys and values escaped).
    icu::UnicodeString string(const std::vector<SwitchCase>& cases) const;
    /// The alternation of the keys, each matched literally; "*" matches any text.
    icu::UnicodeString regex(const std::vector<SwitchCase>& cases) const;

private:
    std::optional<SwitchCase> parseCase(const icu::UnicodeString& caseText) const;
    icu::UnicodeString caseString(const icu::UnicodeString& key, const icu::UnicodeString& value) const;
};

} // namespace quillet
