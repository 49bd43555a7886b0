#pragma once

#include "languages/ColoredHighlightingPattern.h"

namespace quillet {

/// Greys out the optional parts of a pattern or template: from a "|" not preceded by a
/// backslash to the next such "|", bars included, across line breaks. The expression sets
/// its own flags, so the view's case and line-anchor options do not change it.
class OptionalExpressionHighlightingPattern final : public ColoredHighlightingPattern {
public:
    /// Coloured #aaaaaa.
    OptionalExpressionHighlightingPattern();
};

} // namespace quillet
