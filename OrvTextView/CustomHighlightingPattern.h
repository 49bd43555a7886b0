#pragma once

#include "OrvTextView/HighlightingPattern.h"

#include <string>
#include <utility>

namespace orv {

/// A highlighting pattern made from a given expression and format. The format is held by
/// reference: every read returns the same object, so changing it shows at the next pass.
class CustomHighlightingPattern final : public HighlightingPattern {
public:
    CustomHighlightingPattern(std::u16string pattern, TextFormatPtr format)
        : m_pattern(std::move(pattern))
        , m_format(std::move(format))
    {
    }

    std::u16string pattern() const override { return m_pattern; }
    TextFormatPtr format() const override { return m_format; }

private:
    std::u16string m_pattern;
    TextFormatPtr m_format;
};

} // namespace orv
