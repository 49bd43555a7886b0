#pragma once

#include "text/Pattern.h"

#include <unicode/unistr.h>

#include <optional>

namespace quillet {

/// One placeholder of an output template: "${" name, filter suffixes, "}".
struct OutputVariableMatch {
    explicit OutputVariableMatch(const OptionalCaptureGroups& groups);

    icu::UnicodeString match; ///< the whole placeholder
    icu::UnicodeString name; ///< the variable name
    std::optional<icu::UnicodeString> filters; ///< the filter suffixes as written; empty when none
};

/// The output placeholder expression "\$\{(\w+)((\.(\w+))*)\}": group 1 the name, group 2 the
/// filter chain, groups 3 and 4 the last suffix and its filter name.
class OutputVariablePattern : public Pattern<OutputVariablePattern, OutputVariableMatch> {
public:
    /// Built once from the filter suffix expression. The template editor highlights
    /// placeholders with it; the template subexpression pattern embeds it.
    static const icu::UnicodeString& pattern();
    /// The groups of pattern() found by a plain scan, for any text: a template may be long and
    /// a chain of filters long, and the expression's time limit must not drop a placeholder.
    static std::optional<std::vector<OptionalCaptureGroups>> scannedCaptureGroups(const icu::UnicodeString& text);
    /// The groups of the placeholder that starts at `start` (entry 0 the whole placeholder and
    /// groups 1 to 4), or none when no placeholder starts there.
    static std::optional<OptionalCaptureGroups> placeholderAt(const icu::UnicodeString& text, int32_t start);
};

} // namespace quillet
