#include "OrvTextView/Attachments/AttributedString.h"

#include <QTextBlock>
#include <QTextDocument>

namespace orv {

AttributedString AttributedString::fromDocument(const QTextDocument& document, int start, int length)
{
    AttributedString result;
    const QString whole = document.toPlainText();
    start = std::clamp(start, 0, int(whole.size()));
    const int end = length < 0 ? int(whole.size()) : std::clamp(start + length, start, int(whole.size()));
    result.text = whole.mid(start, end - start);
    for (int position = result.text.indexOf(attachmentCharacter); position >= 0;
         position = result.text.indexOf(attachmentCharacter, position + 1)) {
        const int documentPosition = start + position;
        const QTextBlock block = document.findBlock(documentPosition);
        const int offset = documentPosition - block.position();
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            const QTextFragment part = fragment.fragment();
            const int fragmentStart = part.position() - block.position();
            if (offset >= fragmentStart && offset < fragmentStart + part.length()) {
                if (auto attachment = attachmentOf(part.charFormat()))
                    result.attachments.emplace(position, std::move(attachment));
                break;
            }
        }
    }
    return result;
}

TextAttachmentPtr AttributedString::attachmentAt(int position) const
{
    const auto found = attachments.find(position);
    return found == attachments.end() ? nullptr : found->second;
}

} // namespace orv
