#include "OrvTextView/Attachments/TextAttachmentBuilder.h"

#include "OrvTextView/Pattern/RegexMatchingPrivate.h"

namespace orv {

TextAttachmentPattern::~TextAttachmentPattern() = default;

std::vector<TextRange> extractMatches(const TextAttachmentPattern& pattern, const QString& text)
{
    return detail::matchRanges(text, pattern.pattern());
}

std::vector<TextRange> extractTokenMatches(const TextAttachmentPattern& pattern, const QString& text)
{
    auto ranges = extractMatches(pattern, text);
    std::erase_if(ranges, [&](const TextRange& range) {
        return range.length <= 0
            || QStringView(text).mid(range.location, range.length).contains(QChar(attachmentCharacter));
    });
    return ranges;
}

void setAttachmentFont(TextAttachment& attachment, const QFont& font)
{
    if (auto* cell = attachment.cell())
        cell->setFont(font);
}

TextAttachmentBuilder::TextAttachmentBuilder(QString text)
{
    m_attributedString.text = std::move(text);
}

TextAttachmentBuilder::Result TextAttachmentBuilder::attributedString(
    const TextAttachmentPatternList& patterns, const QFont& font, int cursorPosition)
{
    AttributedString& string = m_attributedString;
    for (const auto& pattern : patterns) {
        if (!pattern)
            continue;
        for (;;) {
            const auto ranges = extractTokenMatches(*pattern, string.text);
            if (ranges.empty())
                break;
            const TextRange range = ranges.front();
            auto attachment = pattern->attachment(string.text.mid(range.location, range.length), range, string.text);
            if (!attachment)
                break; // a factory that makes nothing would be asked for the same match forever
            setAttachmentFont(*attachment, font);
            // Matches hold no attachment character, so every attachment lies before or after the range.
            std::map<int, TextAttachmentPtr> shifted;
            for (auto& [position, existing] : string.attachments)
                shifted.emplace(
                    position < range.location ? position : position - range.length + 1, std::move(existing));
            shifted.emplace(range.location, std::move(attachment));
            string.attachments = std::move(shifted);
            string.text.replace(range.location, range.length, QChar(attachmentCharacter));
            cursorPosition -= range.length;
        }
    }
    return Result { .attributedString = string, .cursorPosition = cursorPosition };
}

} // namespace orv
