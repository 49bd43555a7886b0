#include "text/PatternPattern.h"

#include "text/PatternScanner.h"

namespace quillet {

PatternPatternMatch::PatternPatternMatch(const OptionalCaptureGroups& groups)
    : match(groupText(groups, 0).value_or(icu::UnicodeString()))
    , optionalMatch(groupText(groups, 1))
    , optional(groupText(groups, 2))
    , required(groupText(groups, 3))
{
}

icu::UnicodeString PatternPatternMatch::content() const
{
    return optional ? *optional : required.value_or(icu::UnicodeString());
}

const icu::UnicodeString& PatternPattern::optionalPartPattern()
{
    static const icu::UnicodeString expression(u"(?ismwx-imw)((?<!\\\\)\\|(.*?)(?<!\\\\)\\|)");
    return expression;
}

const icu::UnicodeString& PatternPattern::requiredPartPattern()
{
    static const icu::UnicodeString expression(u"(.*?(?=\\||$))");
    return expression;
}

const icu::UnicodeString& PatternPattern::pattern()
{
    static const icu::UnicodeString expression = optionalPartPattern() + u"|" + requiredPartPattern();
    return expression;
}

std::optional<std::vector<OptionalCaptureGroups>> PatternPattern::scannedCaptureGroups(const icu::UnicodeString& text)
{
    return PatternScanner::segments(text);
}

} // namespace quillet
