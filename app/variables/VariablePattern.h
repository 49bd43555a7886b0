#pragma once

#include "text/Pattern.h"

#include <unicode/unistr.h>

#include <optional>

namespace quillet {

/// One input-variable declaration: "${" name ":" type, optional "(" parameters ")",
/// optional "=" default value, "}".
struct VariablePatternMatch {
    explicit VariablePatternMatch(const OptionalCaptureGroups& groups);

    icu::UnicodeString match; ///< the whole declaration
    icu::UnicodeString name; ///< group 1
    icu::UnicodeString type; ///< group 2, the type keyword ("text?" keeps its "?")
    std::optional<icu::UnicodeString> params; ///< group 3, absent without parentheses
    std::optional<icu::UnicodeString> defaultValue; ///< group 5, absent without "=", empty for "=}"
};

/// The declaration expression of input variables.
class VariablePattern : public Pattern<VariablePattern, VariablePatternMatch> {
public:
    /// "\$\{(\w+?):(\w+?\??)(?:\((.+?)(?<!\\)\))?(=([^}]*))?(?<!\\)\}". The pattern editor
    /// highlights and tokenises declarations with it.
    static const icu::UnicodeString& pattern();
    /// The groups of pattern() found by PatternScanner (none when it does not take the text).
    static std::optional<std::vector<OptionalCaptureGroups>> scannedCaptureGroups(const icu::UnicodeString& text);
};

} // namespace quillet
