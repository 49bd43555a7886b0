#pragma once

#include "languages/ColoredHighlightingPattern.h"

namespace quillet {

/// Colours the placeholders of an output template, such as "${name.uppercase}", with
/// the very expression the engine fills placeholders with; declarations do not match it.
class OutputVariableHighlightingPattern final : public ColoredHighlightingPattern {
public:
    /// Coloured #3B9AFB.
    OutputVariableHighlightingPattern();
};

} // namespace quillet
