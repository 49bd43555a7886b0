#include "variables/GeneratedOutput.h"

#include <cstddef>

namespace quillet {

void GeneratedOutput::appendValue(const icu::UnicodeString& value)
{
    if (!value.isEmpty())
        values.push_back(TextRange { text.length(), value.length() });
    if (text.isEmpty())
        text = value;
    else
        text.append(value);
}

void GeneratedOutput::append(const GeneratedOutput& other)
{
    const int32_t offset = text.length();
    for (const auto& range : other.values)
        values.push_back(TextRange { range.location + offset, range.length });
    if (text.isEmpty())
        text = other.text;
    else
        text.append(other.text);
}

ResolvedOutput resolved(const GeneratedOutput& output, const icu::UnicodeString& head)
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

    // Copied in runs between the places where an escape or the marker stands.
    ResolvedOutput result;
    // Sized once: a long value is copied once, not regrown as the runs come in.
    if (result.text.getBuffer(head.length() + length) != nullptr)
        result.text.releaseBuffer(0);
    result.text.append(head);
    int32_t runStart = 0;
    for (int32_t i = 0; i < length; ++i) {
        const char16_t unit = text.charAt(i);
        if (unit != u'\\' && unit != u'#')
            continue;
        if (!isTemplate[static_cast<std::size_t>(i)])
            continue;
        if (unit == u'\\' && (templateUnit(i + 1, u'|') || templateUnit(i + 1, u'#'))) {
            // "\|" and "\#" of the template stand for the character alone.
            result.text.append(text, runStart, i - runStart);
            runStart = i + 1;
            ++i;
        } else if (unit == u'#' && !result.caretOffset) {
            result.text.append(text, runStart, i - runStart);
            result.caretOffset = result.text.length();
            runStart = i + 1;
        }
    }
    result.text.append(text, runStart, length - runStart);
    return result;
}

} // namespace quillet
