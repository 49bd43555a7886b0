#pragma once

#include "OrvTextView/TextFormat.h"

#include <memory>
#include <string_view>

namespace quillet::detail {

/// A new format with only its colour set, read from "#RRGGBB"; the editors' syntax colours
/// are fixed texts, so an unreadable one is a bug.
inline orv::TextFormatPtr coloredFormat(std::u16string_view rgb)
{
    auto format = std::make_shared<orv::TextFormat>();
    format->color = orv::Color::fromRgb(rgb);
    return format;
}

} // namespace quillet::detail
