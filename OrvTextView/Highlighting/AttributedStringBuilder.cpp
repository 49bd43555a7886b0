#include "OrvTextView/Highlighting/AttributedStringBuilder.h"

#include "OrvTextView/Highlighting/HighlightingMatches.h"
#include "OrvTextView/Pattern/RegexMatchingPrivate.h"

namespace orv {

std::vector<TextRange> extractMatches(const HighlightingPattern& pattern, const QString& text)
{
    return detail::matchRanges(text, QString::fromStdU16String(pattern.pattern()));
}

AttributedStringBuilder::AttributedStringBuilder(QString text, QColor textColor)
    : m_text(std::move(text))
    , m_textColor(std::move(textColor))
{
}

void AttributedStringBuilder::initializeFormatting(
    const QFont& font, const std::optional<ParagraphSpacing>& paragraphStyle)
{
    m_baseFormat = QTextCharFormat();
    m_baseFormat.setForeground(m_textColor);
    m_baseFormat.setFont(font);
    m_baseParagraph = paragraphStyle;
}

void AttributedStringBuilder::addAttributes(const TextFormatAttributes& attributes, TextRange range)
{
    if (range.length <= 0)
        return;
    m_runs.push_back(Run { .range = range, .format = attributes.charFormat, .paragraph = attributes.paragraph });
}

void AttributedStringBuilder::addHighlightingPatterns(
    const HighlightingPatternList& patterns, const QFont& standardFont)
{
    for (const auto& pattern : patterns) {
        if (!pattern)
            continue;
        const auto ranges = extractMatches(*pattern, m_text);
        if (ranges.empty())
            continue;
        const TextFormatPtr format = pattern->format();
        if (!format)
            continue;
        const TextFormatAttributes formatAttributes = attributes(*format, standardFont);
        for (const TextRange& range : ranges)
            addAttributes(formatAttributes, range);
    }
}

QTextCharFormat AttributedStringBuilder::formatAt(int position) const
{
    QTextCharFormat format = m_baseFormat;
    for (const Run& run : m_runs) {
        if (position >= run.range.location && position < run.range.end())
            format.merge(run.format);
    }
    return format;
}

std::optional<ParagraphSpacing> AttributedStringBuilder::paragraphAt(int paragraphStart) const
{
    std::optional<ParagraphSpacing> paragraph = m_baseParagraph;
    for (const Run& run : m_runs) {
        if (run.paragraph && paragraphStart >= run.range.location && paragraphStart < run.range.end())
            paragraph = run.paragraph;
    }
    return paragraph;
}

} // namespace orv
