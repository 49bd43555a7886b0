#pragma once

#include "languages/ColoredHighlightingPattern.h"

namespace quillet {

/// Colours the example lines of a description: a line that begins with ">" and a blank and
/// has at least one more character, from the ">" to the line end.
class ExampleHighlightingPattern final : public ColoredHighlightingPattern {
public:
    /// Coloured #52C0FF.
    ExampleHighlightingPattern();
};

} // namespace quillet
