#pragma once

#include "OrvTextView/HighlightingPattern.h"

namespace quillet {

/// Colours the example lines of a description: a line that begins with ">" and a blank and
/// has at least one more character, from the ">" to the line end.
class ExampleHighlightingPattern final : public orv::HighlightingPattern {
public:
    std::u16string pattern() const override { return u"^>\\ ([^\\n]+)"; }
    /// A new format each read, coloured #52C0FF.
    orv::TextFormatPtr format() const override;
};

} // namespace quillet
