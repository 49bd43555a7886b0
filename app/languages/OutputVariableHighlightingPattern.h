#pragma once

#include "OrvTextView/HighlightingPattern.h"

namespace quillet {

/// Colours the placeholders of an output template, such as "${name.uppercase}", with
/// the very expression the engine fills placeholders with; declarations do not match it.
class OutputVariableHighlightingPattern final : public orv::HighlightingPattern {
public:
    std::u16string pattern() const override;
    /// A new format each read, coloured #3B9AFB.
    orv::TextFormatPtr format() const override;
};

} // namespace quillet
