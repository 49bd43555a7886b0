#pragma once

#include "languages/ColoredHighlightingPattern.h"

namespace quillet {

/// Colours the input-variable declarations of a pattern, such as "${name:word}" or
/// "${count:number=3}", with the very expression the engine declares variables with.
class PatternVariableHighlightingPattern final : public ColoredHighlightingPattern {
public:
    /// Coloured #3B9AFB.
    PatternVariableHighlightingPattern();
};

} // namespace quillet
