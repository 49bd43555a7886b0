#include "languages/ExampleHighlightingPattern.h"

namespace quillet {

ExampleHighlightingPattern::ExampleHighlightingPattern()
    : ColoredHighlightingPattern(u"^>\\ ([^\\n]+)", u"#52C0FF")
{
}

} // namespace quillet
