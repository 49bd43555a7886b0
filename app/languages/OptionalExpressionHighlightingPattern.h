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

/// The bars of optional parts (a "|" not preceded by a backslash) in the optional parts' grey
/// and bold: a plain bar is a single thin stroke, which smoothing draws lighter than its colour
/// and, on a dark ground, too faint to read. Laid over OptionalExpressionHighlightingPattern.
class OptionalBarHighlightingPattern final : public orv::HighlightingPattern {
public:
    std::u16string pattern() const override;
    orv::TextFormatPtr format() const override;
};

} // namespace quillet
