#include "docs/MarkupHTMLGenerator.h"

#include "docs/MarkupFilters.h"
#include "text/RegexCache.h"
#include "text/StringHelpers.h"
#include "text/StringMatching.h"

namespace quillet {

namespace {

// Positions of the filters in m_filters.
constexpr std::size_t boldFilter = 5;
constexpr std::size_t inlineCodeFilter = 7;
constexpr std::size_t exampleFilter = 8;

// Stand-ins for code while bold and emphasis run. Noncharacters never occur in interchange
// text, and the generator removes any from the description first, so they cannot collide.
constexpr UChar stashOpen = 0xFDD0;
constexpr UChar stashClose = 0xFDD1;

icu::UnicodeString removingStashMarks(const icu::UnicodeString& text)
{
    icu::UnicodeString result = text;
    result.findAndReplace(icu::UnicodeString(stashOpen), u"");
    result.findAndReplace(icu::UnicodeString(stashClose), u"");
    return result;
}

// Code blocks made by the code filter, and backtick spans that the inline-code filter will
// make into code, replaced by numbered stand-ins.
icu::UnicodeString stashingCode(const icu::UnicodeString& text, std::vector<icu::UnicodeString>& stash)
{
    try {
        return replacingMatches(text, uR"(<div\ class="code-block">.*?</div>|(?<=^|[^\`])`{1}(?!:\w)[^`]+`{1})",
            [&](const CaptureGroups& groups) {
                icu::UnicodeString mark(stashOpen);
                mark += icu::UnicodeString(std::to_string(stash.size()).c_str());
                mark += stashClose;
                stash.push_back(captureGroup(groups, 0).value_or(icu::UnicodeString()));
                return mark;
            });
    } catch (const RegexError&) {
        return text;
    }
}

icu::UnicodeString restoringCode(const icu::UnicodeString& text, const std::vector<icu::UnicodeString>& stash)
{
    icu::UnicodeString result;
    int32_t position = 0;
    while (position < text.length()) {
        const int32_t open = text.indexOf(stashOpen, position);
        const int32_t close = open < 0 ? -1 : text.indexOf(stashClose, open);
        if (close < 0) {
            result.append(text, position, text.length() - position);
            break;
        }
        result.append(text, position, open - position);
        std::size_t index = 0;
        for (int32_t i = open + 1; i < close; ++i)
            index = index * 10 + static_cast<std::size_t>(text.charAt(i) - u'0');
        result.append(index < stash.size() ? stash[index] : icu::UnicodeString());
        position = close + 1;
    }
    return result;
}

} // namespace

MarkupHTMLGenerator::MarkupHTMLGenerator()
{
    m_filters.push_back(std::make_unique<EncodeHTMLFilter>());
    m_filters.push_back(std::make_unique<TwitterMarkupFilter>());
    m_filters.push_back(std::make_unique<DotListMarkupFilter>());
    m_filters.push_back(std::make_unique<NewLinesMarkupFilter>());
    m_filters.push_back(std::make_unique<CodeMarkupFilter>());
    m_filters.push_back(std::make_unique<BoldMarkupFilter>());
    m_filters.push_back(std::make_unique<EmphasizeMarkupFilter>());
    m_filters.push_back(std::make_unique<InlineCodeMarkupFilter>());
    m_filters.push_back(std::make_unique<ExampleMarkupFilter>());
}

icu::UnicodeString MarkupHTMLGenerator::generate(
    const icu::UnicodeString& markup, const MarkupFilterOptions& options) const
{
    icu::UnicodeString text = removingStashMarks(markup);
    text.findAndReplace(u"\\n", u"\n");
    // Bundle files written elsewhere may end their lines with CR LF; a CR left at the end of
    // an example would become part of the abbreviation and match nothing.
    text.findAndReplace(u"\r\n", u"\n");

    // Example lines stand alone; the text between them is rendered as blocks of its own, so
    // no other filter reaches into an example and no markup spans across one.
    icu::UnicodeString html;
    std::vector<icu::UnicodeString> block;
    bool first = true;
    auto append = [&](const icu::UnicodeString& piece) {
        if (!first)
            html += u'\n';
        html += piece;
        first = false;
    };
    auto flushBlock = [&] {
        if (!block.empty())
            append(generateBlock(joined(block, u"\n"), options));
        block.clear();
    };
    for (const auto& line : lines(text)) {
        if (isExampleLine(line)) {
            flushBlock();
            append(m_filters[exampleFilter]->filter(line, options));
        } else {
            block.push_back(line);
        }
    }
    flushBlock();
    return html;
}

icu::UnicodeString MarkupHTMLGenerator::generateBlock(
    const icu::UnicodeString& block, const MarkupFilterOptions& options) const
{
    icu::UnicodeString text = block;
    for (std::size_t index = 0; index < boldFilter; ++index)
        text = m_filters[index]->filter(text, options);
    std::vector<icu::UnicodeString> stash;
    text = stashingCode(text, stash);
    for (std::size_t index = boldFilter; index < inlineCodeFilter; ++index)
        text = m_filters[index]->filter(text, options);
    text = restoringCode(text, stash);
    return m_filters[inlineCodeFilter]->filter(text, options);
}

} // namespace quillet
