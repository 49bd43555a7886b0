#pragma once

#include "text/Pattern.h"

#include <unicode/unistr.h>

#include <optional>

namespace quillet {

/// One active piece of an output template: an optional expression between unescaped bars
/// (which may span lines) or a placeholder outside optional expressions.
struct TemplateSubexpressionPatternMatch {
    explicit TemplateSubexpressionPatternMatch(const OptionalCaptureGroups& groups);

    icu::UnicodeString match; ///< as written, bars included
    std::optional<icu::UnicodeString> optionalExpression; ///< the text between the bars
    std::optional<icu::UnicodeString> variablePattern; ///< the whole placeholder

    bool isRequired() const noexcept { return !optionalExpression.has_value(); }
    /// `optionalExpression` when present, otherwise `variablePattern`.
    icu::UnicodeString expression() const;
};

/// Finds optional expressions and placeholders of an output template in one pass.
/// Plain text belongs to no match.
class TemplateSubexpressionPattern : public Pattern<TemplateSubexpressionPattern, TemplateSubexpressionPatternMatch> {
public:
    static const icu::UnicodeString& pattern();
    /// The groups of pattern() found by a plain scan, for any text (see OutputVariablePattern).
    static std::optional<std::vector<OptionalCaptureGroups>> scannedCaptureGroups(const icu::UnicodeString& text);
};

} // namespace quillet
