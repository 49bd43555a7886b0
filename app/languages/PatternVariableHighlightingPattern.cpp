#include "languages/PatternVariableHighlightingPattern.h"

#include "languages/HighlightingHelpers.h"
#include "variables/VariablePattern.h"

namespace quillet {

std::u16string PatternVariableHighlightingPattern::pattern() const
{
    return detail::toU16String(VariablePattern::pattern());
}

orv::TextFormatPtr PatternVariableHighlightingPattern::format() const
{
    return detail::coloredFormat(u"#3B9AFB");
}

} // namespace quillet
