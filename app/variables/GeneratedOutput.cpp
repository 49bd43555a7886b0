#include "variables/GeneratedOutput.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace quillet {

namespace {

void appendText(icu::UnicodeString& text, const icu::UnicodeString& part)
{
    if (text.isEmpty() && text.getCapacity() < part.length())
        text = part;
    else
        text.append(part);
}

} // namespace

void GeneratedOutput::appendValue(const icu::UnicodeString& value)
{
    if (!value.isEmpty())
        values.push_back(TextRange { text.length(), value.length() });
    appendText(text, value);
}

void GeneratedOutput::append(const GeneratedOutput& other)
{
    const int32_t offset = text.length();
    for (const auto& range : other.values)
        values.push_back(TextRange { range.location + offset, range.length });
    appendText(text, other.text);
}

GeneratedOutput GeneratedOutput::joined(const std::vector<GeneratedOutput>& parts)
{
    int64_t length = 0;
    std::size_t withText = 0;
    for (const auto& part : parts) {
        length += part.text.length();
        withText += part.text.isEmpty() ? 0 : 1;
    }
    GeneratedOutput result;
    if (withText > 1 && length <= INT32_MAX)
        result.text = icu::UnicodeString(static_cast<int32_t>(length), 0, 0); // room, no content
    for (const auto& part : parts)
        result.append(part);
    return result;
}

ResolvedOutput resolved(const GeneratedOutput& output, const icu::UnicodeString& head)
{
    const icu::UnicodeString& text = output.text;
    const int32_t length = text.length();
    const char16_t* units = text.getBuffer();
    // Whether each unit belongs to the template's text (not to a value).
    std::vector<bool> isTemplate(static_cast<std::size_t>(length), true);
    for (const auto& range : output.values) {
        const int32_t start = std::clamp(range.location, 0, length);
        const int32_t end = std::clamp(range.end(), start, length);
        std::fill(isTemplate.begin() + start, isTemplate.begin() + end, false);
    }
    auto templateUnit = [&](int32_t i, char16_t unit) {
        return i >= 0 && i < length && isTemplate[static_cast<std::size_t>(i)] && units[i] == unit;
    };

    // Copied in runs between the places where an escape or the marker stands, into a text sized
    // once: a long value is copied once, not regrown as the runs come in. An output with nothing
    // to resolve and nothing before it is the output's own text.
    ResolvedOutput result;
    bool isCopying = false;
    auto copyFrom = [&](int32_t start, int32_t end) {
        if (!isCopying) {
            result.text = icu::UnicodeString(
                static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(head.length()) + length, INT32_MAX)), 0, 0);
            result.text.append(head);
            isCopying = true;
        }
        result.text.append(text, start, end - start);
    };
    int32_t runStart = 0;
    for (int32_t i = 0; i < length; ++i) {
        const char16_t unit = units[i];
        if (unit != u'\\' && unit != u'#')
            continue;
        if (!isTemplate[static_cast<std::size_t>(i)])
            continue;
        if (unit == u'\\' && (templateUnit(i + 1, u'|') || templateUnit(i + 1, u'#'))) {
            // "\|" and "\#" of the template stand for the character alone.
            copyFrom(runStart, i);
            runStart = i + 1;
            ++i;
        } else if (unit == u'#' && !result.caretOffset) {
            copyFrom(runStart, i);
            result.caretOffset = result.text.length();
            runStart = i + 1;
        }
    }
    if (!isCopying && head.isEmpty())
        result.text = text;
    else
        copyFrom(runStart, length);
    return result;
}

} // namespace quillet
