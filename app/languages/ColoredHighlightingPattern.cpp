#include "languages/ColoredHighlightingPattern.h"

#include <cassert>
#include <memory>
#include <utility>

namespace quillet {

ColoredHighlightingPattern::ColoredHighlightingPattern(std::u16string pattern, std::u16string_view rgb)
    : m_pattern(std::move(pattern))
{
    const auto color = orv::Color::fromRgb(rgb);
    assert(color);
    m_color = color.value_or(orv::Color {});
}

orv::TextFormatPtr ColoredHighlightingPattern::format() const
{
    auto format = std::make_shared<orv::TextFormat>();
    format->color = m_color;
    return format;
}

} // namespace quillet
