#include "expansion/TemplateSubexpressionPattern.h"

#include "expansion/OutputVariablePattern.h"
#include "text/PatternPattern.h"

namespace quillet {

TemplateSubexpressionPatternMatch::TemplateSubexpressionPatternMatch(const OptionalCaptureGroups& groups)
    : match(groupText(groups, 0).value_or(icu::UnicodeString()))
    , optionalExpression(groupText(groups, 2))
    , variablePattern(groupText(groups, 3))
{
}

icu::UnicodeString TemplateSubexpressionPatternMatch::expression() const
{
    return optionalExpression ? *optionalExpression : variablePattern.value_or(icu::UnicodeString());
}

const icu::UnicodeString& TemplateSubexpressionPattern::pattern()
{
    static const icu::UnicodeString expression
        = PatternPattern::optionalPartPattern() + u"|(" + OutputVariablePattern::pattern() + u")";
    return expression;
}

std::optional<std::vector<OptionalCaptureGroups>> TemplateSubexpressionPattern::scannedCaptureGroups(
    const icu::UnicodeString& text)
{
    // Groups: 1 the optional part with its bars, 2 its inside, 3 a placeholder, 4 to 7 the
    // placeholder's own groups. At each place the optional part is tried first: a bar without a
    // backslash before it, up to the next such bar (across lines); then a placeholder.
    const int32_t length = text.length();
    auto isUnescapedBar = [&](int32_t i) { return text.charAt(i) == u'|' && (i == 0 || text.charAt(i - 1) != u'\\'); };
    auto captured = [&](int32_t start, int32_t end) {
        return std::optional<CapturedGroup>(
            CapturedGroup { TextRange { start, end - start }, icu::UnicodeString(text, start, end - start) });
    };
    std::vector<OptionalCaptureGroups> result;
    int32_t position = 0;
    while (position < length) {
        const char16_t unit = text.charAt(position);
        if (unit == u'|' && isUnescapedBar(position)) {
            int32_t close = position + 1;
            while (close < length && !isUnescapedBar(close))
                ++close;
            if (close < length) {
                OptionalCaptureGroups groups(8);
                groups[0] = groups[1] = captured(position, close + 1);
                groups[2] = captured(position + 1, close);
                result.push_back(std::move(groups));
                position = close + 1;
                continue;
            }
        } else if (unit == u'$') {
            if (auto placeholder = OutputVariablePattern::placeholderAt(text, position)) {
                OptionalCaptureGroups groups(8);
                groups[0] = groups[3] = (*placeholder)[0];
                for (std::size_t group = 1; group < placeholder->size(); ++group)
                    groups[3 + group] = (*placeholder)[group];
                position = groups[0]->range.end();
                result.push_back(std::move(groups));
                continue;
            }
        }
        ++position;
    }
    return result;
}

} // namespace quillet
