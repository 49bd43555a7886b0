#include "languages/OptionalExpressionHighlightingPattern.h"

#include "languages/HighlightingHelpers.h"
#include "text/PatternPattern.h"

namespace quillet {

OptionalExpressionHighlightingPattern::OptionalExpressionHighlightingPattern()
    : ColoredHighlightingPattern(detail::toU16String(PatternPattern::optionalPartPattern()), u"#aaaaaa")
{
}

std::u16string OptionalBarHighlightingPattern::pattern() const
{
    return u"(?<!\\\\)\\|";
}

orv::TextFormatPtr OptionalBarHighlightingPattern::format() const
{
    auto format = OptionalExpressionHighlightingPattern().format();
    format->isBold = true;
    return format;
}

} // namespace quillet
