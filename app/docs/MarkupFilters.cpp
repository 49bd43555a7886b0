#include "docs/MarkupFilters.h"

#include "text/RegexCache.h"
#include "text/StringHelpers.h"
#include "text/StringMatching.h"
#include "text/Tag.h"

#include <unicode/uchar.h>

#include <functional>
#include <vector>

namespace quillet {

namespace {

// The shared rewrite of the markup filters. The patterns are fixed and compile; a match that
// runs out of time (a hostile description) leaves the text as it was, which is still safe to
// show because escaping is the first filter and needs no expression.
icu::UnicodeString rewrite(const icu::UnicodeString& text, const char16_t* expression,
    const std::function<icu::UnicodeString(const CaptureGroups&)>& replacement)
{
    try {
        return replacingMatches(text, icu::UnicodeString(expression), replacement);
    } catch (const RegexError&) {
        return text;
    }
}

icu::UnicodeString group(const CaptureGroups& groups, int32_t index)
{
    return captureGroup(groups, index).value_or(icu::UnicodeString());
}

icu::UnicodeString element(TagName name, const icu::UnicodeString& content)
{
    return Tag(name, std::nullopt, std::nullopt, {}, { content }).html();
}

// Whether the elements that earlier filters made in a text close within it, in order: text
// put into a new element must not hold half of another (the end of a code block and the start
// of the line after it, two items of a list), or the page would not nest.
bool closesItsElements(const icu::UnicodeString& text)
{
    std::vector<icu::UnicodeString> open;
    int32_t at = text.indexOf(u'<');
    while (at >= 0) {
        const int32_t end = text.indexOf(u'>', at);
        if (end < 0)
            break;
        const bool closing = at + 1 < end && text[at + 1] == u'/';
        const bool empty = text[end - 1] == u'/';
        const int32_t nameStart = at + (closing ? 2 : 1);
        int32_t nameEnd = nameStart;
        while (nameEnd < end && (u_isalnum(text[nameEnd])))
            ++nameEnd;
        const icu::UnicodeString name(text, nameStart, nameEnd - nameStart);
        if (!name.isEmpty() && !empty) {
            if (!closing)
                open.push_back(name);
            else if (open.empty() || open.back() != name)
                return false;
            else
                open.pop_back();
        }
        at = text.indexOf(u'<', end);
    }
    return open.empty();
}

// An element around group 1 when it closes what it holds, else the match as it stands.
std::function<icu::UnicodeString(const CaptureGroups&)> wrapping(TagName name)
{
    return [name](const CaptureGroups& groups) {
        const icu::UnicodeString content = group(groups, 1);
        return closesItsElements(content) ? element(name, content) : group(groups, 0);
    };
}

// One level of code-block indentation: a tab, or else four blanks.
icu::UnicodeString droppingIndentationLevel(const icu::UnicodeString& line)
{
    if (line.startsWith(u"\t"))
        return icu::UnicodeString(line, 1);
    if (line.startsWith(u"    "))
        return icu::UnicodeString(line, 4);
    return line;
}

} // namespace

bool isExampleLine(const icu::UnicodeString& line)
{
    return line.length() > 2 && line.startsWith(u"> ") && line.indexOf(u'\n') < 0;
}

icu::UnicodeString EncodeHTMLFilter::filter(const icu::UnicodeString& text, const MarkupFilterOptions&) const
{
    auto parts = lines(text);
    for (auto& line : parts) {
        if (!isExampleLine(line))
            line = escapeHTMLCharacters(line);
    }
    return joined(parts, u"\n");
}

icu::UnicodeString TwitterMarkupFilter::filter(const icu::UnicodeString& text, const MarkupFilterOptions&) const
{
    return rewrite(text, uR"(\[twitter\]\ @(\w+))", [](const CaptureGroups& groups) {
        const icu::UnicodeString handle = escapeHTMLCharacters(group(groups, 1));
        return Tag(TagName::a, std::nullopt, std::nullopt,
            { { u"href", icu::UnicodeString(profileAddressPrefix) + handle } }, { u"@" + handle })
            .html();
    });
}

icu::UnicodeString DotListMarkupFilter::filter(const icu::UnicodeString& text, const MarkupFilterOptions&) const
{
    return rewrite(text, uR"((^\*\ (.+)(\n|$))+)", [](const CaptureGroups& groups) {
        std::vector<TagContent> items;
        for (const auto& item : captureGroups(group(groups, 0), uR"(\*\ (.+)(\n|$))"))
            items.emplace_back(Tag(TagName::li, std::nullopt, std::nullopt, {}, { group(item, 1) }));
        // The run's last line feed stays, so a code block or paragraph after the list still
        // starts a line of its own.
        icu::UnicodeString list = Tag(TagName::ul, std::nullopt, std::nullopt, {}, std::move(items)).html();
        if (group(groups, 0).endsWith(u"\n"))
            list += u'\n';
        return list;
    });
}

icu::UnicodeString NewLinesMarkupFilter::filter(const icu::UnicodeString& text, const MarkupFilterOptions&) const
{
    return rewrite(
        text, uR"(^(\w.[^\n]+))", [](const CaptureGroups& groups) { return element(TagName::p, group(groups, 1)); });
}

icu::UnicodeString CodeMarkupFilter::filter(const icu::UnicodeString& text, const MarkupFilterOptions&) const
{
    return rewrite(text, uR"((^(\t|\ {4})[^\n]+(\n|$))+)", [](const CaptureGroups& groups) {
        const icu::UnicodeString block = group(groups, 0);
        const bool endsWithLineFeed = block.endsWith(u"\n");
        auto blockLines = lines(endsWithLineFeed ? icu::UnicodeString(block, 0, block.length() - 1) : block);
        for (auto& line : blockLines)
            line = droppingIndentationLevel(line);
        // The block's division ends the last line, so its line feed needs no break of its own.
        const Tag code(TagName::code, icu::UnicodeString(u"block"), std::nullopt, {}, { joined(blockLines, u"<br/>") });
        return Tag(TagName::div, icu::UnicodeString(u"code-block"), std::nullopt, {}, { code }).html();
    });
}

icu::UnicodeString BoldMarkupFilter::filter(const icu::UnicodeString& text, const MarkupFilterOptions&) const
{
    return rewrite(text, uR"((?<=^|[^\*])\*{2}(?!:\w)([^*\n]+)(?!:\w)\*{2})", wrapping(TagName::strong));
}

icu::UnicodeString EmphasizeMarkupFilter::filter(const icu::UnicodeString& text, const MarkupFilterOptions&) const
{
    return rewrite(text, uR"((?<=^|[^\*])\*{1}(?!:\w)([^*\n]+)(?!:\w)\*{1})", wrapping(TagName::em));
}

icu::UnicodeString InlineCodeMarkupFilter::filter(const icu::UnicodeString& text, const MarkupFilterOptions&) const
{
    return rewrite(text, uR"((?<=^|[^\`])`{1}(?!:\w)([^`\n]+)(?!:\w)`{1})", wrapping(TagName::code));
}

} // namespace quillet
