#include "languages/TextViewHighlighting.h"

#include "support/TestSupport.h"

#include <unicode/regex.h>

#include <memory>

namespace quillet::test {

namespace {

std::unique_ptr<icu::RegexPattern> compile(const std::u16string& pattern)
{
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    std::unique_ptr<icu::RegexPattern> compiled(
        icu::RegexPattern::compile(u16(pattern), UREGEX_CASE_INSENSITIVE | UREGEX_MULTILINE, parseError, status));
    if (U_FAILURE(status))
        return nullptr;
    return compiled;
}

} // namespace

bool compiles(const std::u16string& pattern)
{
    return compile(pattern) != nullptr;
}

std::vector<std::pair<int32_t, int32_t>> matchRanges(const std::u16string& pattern, const icu::UnicodeString& text)
{
    std::vector<std::pair<int32_t, int32_t>> ranges;
    const auto compiled = pattern.empty() ? nullptr : compile(pattern);
    if (!compiled)
        return ranges;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(compiled->matcher(text, status));
    while (U_SUCCESS(status) && matcher->find(status) && U_SUCCESS(status))
        ranges.emplace_back(matcher->start(status), matcher->end(status));
    return ranges;
}

std::vector<std::u16string> matchedTexts(const orv::HighlightingPattern& pattern, const icu::UnicodeString& text)
{
    std::vector<std::u16string> texts;
    for (const auto& [start, end] : matchRanges(pattern.pattern(), text)) {
        const icu::UnicodeString matched(text, start, end - start);
        texts.emplace_back(matched.getBuffer(), std::size_t(matched.length()));
    }
    return texts;
}

std::vector<Look> highlight(const orv::HighlightingPatternList& patterns, const icu::UnicodeString& text)
{
    std::vector<Look> looks(std::size_t(text.length()));
    for (const auto& pattern : patterns) {
        const auto format = pattern->format();
        for (const auto& [start, end] : matchRanges(pattern->pattern(), text)) {
            for (int32_t i = start; i < end; ++i) {
                auto& look = looks[std::size_t(i)];
                look.isBold = format->isBold;
                look.isItalic = format->isItalic;
                if (format->color)
                    look.color = format->color;
            }
        }
    }
    return looks;
}

std::optional<Look> lookOf(
    const std::vector<Look>& looks, const icu::UnicodeString& text, const icu::UnicodeString& part)
{
    const int32_t start = text.indexOf(part);
    if (start < 0 || part.isEmpty())
        return std::nullopt;
    const Look first = looks[std::size_t(start)];
    for (int32_t i = start; i < start + part.length(); ++i) {
        const Look& look = looks[std::size_t(i)];
        if (look.isBold != first.isBold || look.isItalic != first.isItalic || look.color != first.color)
            return std::nullopt;
    }
    return first;
}

} // namespace quillet::test
