#include "languages/OptionalExpressionHighlightingPattern.h"

#include "languages/HighlightingHelpers.h"
#include "text/PatternPattern.h"

namespace quillet {

std::u16string OptionalExpressionHighlightingPattern::pattern() const
{
    return detail::toU16String(PatternPattern::optionalPartPattern());
}

orv::TextFormatPtr OptionalExpressionHighlightingPattern::format() const
{
    return detail::coloredFormat(u"#aaaaaa");
}

} // namespace quillet
