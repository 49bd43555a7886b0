#include "expansion/GeneratedOutput.h"

#include <cstddef>

namespace quillet {

void GeneratedOutput::appendValue(const icu::UnicodeString& value)
{
    if (!value.isEmpty())
        values.push_back(TextRange{text.length(), value.length()});
    text.append(value);
}

void GeneratedOutput::append(const GeneratedOutput& other)
{
    const int32_t offset = text.length();
    for (const auto& range : other.values)
        values.push_back(TextRange{range.location + offset, range.length});
    text.append(other.text);
}

ResolvedOutput resolved(const GeneratedOutput& output)
{
    const icu::UnicodeString& text = output.text;
    const int32_t length = text.length();
    // Whether each unit belongs to the template's text (not to a value).
    std::vector<bool> isTemplate(static_cast<std::size_t>(length), true);
    for (const auto& range : output.values) {
        for (int32_t i = range.location; i < range.end() && i < length; ++i)
            isTemplate[static_cast<std::size_t>(i)] = false;
    }
    auto templateUnit = [&](int32_t i, char16_t unit) {
        return i >= 0 && i < length && isTemplate[static_cast<std::size_t>(i)] && text.charAt(i) == unit;
    };

    ResolvedOutput result;
    for (int32_t i = 0; i < length; ++i) {
        const char16_t unit = text.charAt(i);
        if (unit == u'\\' && isTemplate[static_cast<std::size_t>(i)]
            && (templateUnit(i + 1, u'|') || templateUnit(i + 1, u'#'))) {
            result.text.append(text.charAt(i + 1)); // "\|" and "\#" of the template stand for themselves
            ++i;
            continue;
        }
        if (unit == u'#' && !result.caretOffset && isTemplate[static_cast<std::size_t>(i)]) {
            result.caretOffset = result.text.length();
            continue;
        }
        result.text.append(unit);
    }
    return result;
}

} // namespace quillet
