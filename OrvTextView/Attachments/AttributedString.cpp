#include "OrvTextView/Attachments/AttributedString.h"

#include "OrvTextView/Attachments/LineBreaksPrivate.h"

#include <QTextBlock>
#include <QTextDocument>

namespace orv {

AttributedString AttributedString::fromDocument(const QTextDocument& document, int start, int length)
{
    AttributedString result;
    const int documentEnd = document.characterCount() - 1;
    start = std::clamp(start, 0, documentEnd);
    const int end = length < 0 ? documentEnd : std::clamp(start + length, start, documentEnd);
    for (QTextBlock block = document.findBlock(start); block.isValid() && block.position() < end;
         block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const int from = std::max(start, fragment.position());
            const int to = std::min(end, fragment.position() + fragment.length());
            if (to <= from)
                continue;
            const QString text = fragment.text().mid(from - fragment.position(), to - from);
            const TextAttachmentPtr attachment = attachmentOf(fragment.charFormat());
            const std::optional<QString> lineBreak = detail::lineBreakOf(fragment.charFormat());
            for (const QChar character : text) {
                if (attachment && character == QChar(attachmentCharacter))
                    result.attachments.emplace(int(result.text.size()), attachment);
                if (lineBreak && character == QChar(detail::lineBreakStandIn))
                    result.text.append(*lineBreak);
                else
                    result.text.append(character);
            }
        }
        // The paragraph break after the block, when the range goes past it.
        const int breakPosition = block.position() + block.length() - 1;
        if (breakPosition >= start && breakPosition < end)
            result.text.append(u'\n');
    }
    return result;
}

TextAttachmentPtr AttributedString::attachmentAt(int position) const
{
    const auto found = attachments.find(position);
    return found == attachments.end() ? nullptr : found->second;
}

} // namespace orv
