#pragma once

#include "OrvTextView/TextFormat.h"

#include <unicode/unistr.h>

#include <cassert>
#include <memory>
#include <string>
#include <string_view>

namespace quillet::detail {

/// A new format with only its colour set, read from "#RRGGBB"; the editors' syntax colours
/// are fixed texts, so an unreadable one is a bug.
inline orv::TextFormatPtr coloredFormat(std::u16string_view rgb)
{
    auto format = std::make_shared<orv::TextFormat>();
    format->color = orv::Color::fromRgb(rgb);
    assert(format->color);
    return format;
}

/// The engine's expression text in the form the text view's patterns hand out.
inline std::u16string toU16String(const icu::UnicodeString& expression)
{
    return std::u16string(expression.getBuffer(), std::size_t(expression.length()));
}

} // namespace quillet::detail
