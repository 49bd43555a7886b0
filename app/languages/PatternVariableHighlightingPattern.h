#pragma once

#include "OrvTextView/HighlightingPattern.h"

namespace quillet {

/// Colours the input-variable declarations of a pattern, such as "${name:word}" or
/// "${count:number=3}", with the very expression the engine declares variables with.
class PatternVariableHighlightingPattern final : public orv::HighlightingPattern {
public:
    std::u16string pattern() const override;
    /// A new format each read, coloured #3B9AFB.
    orv::TextFormatPtr format() const override;
};

} // namespace quillet
