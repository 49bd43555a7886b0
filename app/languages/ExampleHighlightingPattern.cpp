#include "languages/ExampleHighlightingPattern.h"

#include "languages/HighlightingHelpers.h"

namespace quillet {

orv::TextFormatPtr ExampleHighlightingPattern::format() const
{
    return detail::coloredFormat(u"#52C0FF");
}

} // namespace quillet
