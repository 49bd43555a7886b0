#pragma once

#include "OrvTextView/HighlightingPattern.h"

#include <string>
#include <string_view>

namespace quillet {

/// An editor highlighting pattern that colours its matches and changes nothing else, so the
/// font stays the view's (plain) and only the text colour changes.
class ColoredHighlightingPattern : public orv::HighlightingPattern {
public:
    std::u16string pattern() const final { return m_pattern; }
    /// A new format each read with only `color` set.
    orv::TextFormatPtr format() const final;

protected:
    /// `rgb` is a fixed "#RRGGBB" text; an unreadable one is a bug.
    ColoredHighlightingPattern(std::u16string pattern, std::u16string_view rgb);

private:
    std::u16string m_pattern;
    orv::Color m_color;
};

} // namespace quillet
