#pragma once

#include "OrvTextView/HighlightingPattern.h"

namespace quillet {

/// Sets quoted strings in italic: the shortest run between two double quotes, or between two
/// single quotes, quotes included. A backslash escapes nothing, and a lone quote sets nothing.
class StringHighlightingPattern final : public orv::HighlightingPattern {
public:
    std::u16string pattern() const override { return u"(\".*?\")|('.*?')"; }
    /// A new format each read: italic, no colour.
    orv::TextFormatPtr format() const override
    {
        auto format = std::make_shared<orv::TextFormat>();
        format->isItalic = true;
        return format;
    }
};

} // namespace quillet
