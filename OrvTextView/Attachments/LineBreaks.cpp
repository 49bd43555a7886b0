#include "OrvTextView/Attachments/LineBreaksPrivate.h"

#include <QTextBlock>
#include <QTextDocument>

namespace orv::detail {

namespace {

// The characters besides "\n" that a document's text insertion turns into a paragraph.
bool becomesParagraph(QChar character)
{
    const char16_t code = character.unicode();
    return code == u'\r' || code == u'\u2029' || code == u'\uFDD0' || code == u'\uFDD1';
}

} // namespace

int foreignLineBreakLength(const QString& text, int position)
{
    if (position < 0 || position >= text.size() || !becomesParagraph(text.at(position)))
        return 0;
    return text.at(position) == u'\r' && position + 1 < text.size() && text.at(position + 1) == u'\n' ? 2 : 1;
}

std::optional<QString> lineBreakOf(const QTextFormat& format)
{
    const QVariant value = format.property(lineBreakProperty);
    if (!value.isValid())
        return std::nullopt;
    return value.toString();
}

QTextCharFormat lineBreakFormat(QTextCharFormat format, const QString& lineBreak)
{
    format.setProperty(lineBreakProperty, lineBreak);
    return format;
}

QString documentTextFor(const QString& text, std::map<int, QString>* breaks)
{
    QString result;
    result.reserve(text.size());
    for (int position = 0; position < text.size();) {
        const int length = foreignLineBreakLength(text, position);
        if (length == 0) {
            result.append(text.at(position++));
            continue;
        }
        if (breaks)
            breaks->emplace(int(result.size()), text.mid(position, length));
        result.append(QChar(lineBreakStandIn));
        position += length;
    }
    return result;
}

void insertExactText(QTextCursor& cursor, const QString& text, const QTextCharFormat& format)
{
    int runStart = 0;
    for (int position = 0; position < text.size();) {
        const int length = foreignLineBreakLength(text, position);
        if (length == 0) {
            ++position;
            continue;
        }
        if (position > runStart)
            cursor.insertText(text.mid(runStart, position - runStart), format);
        cursor.insertText(QString(QChar(lineBreakStandIn)), lineBreakFormat(format, text.mid(position, length)));
        position += length;
        runStart = position;
    }
    if (runStart < text.size() || text.isEmpty())
        cursor.insertText(text.mid(runStart), format);
}

std::map<int, TextAttachmentPtr> documentAttachments(const QTextDocument& document)
{
    std::map<int, TextAttachmentPtr> result;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const TextAttachmentPtr attachment = attachmentOf(fragment.charFormat());
            if (!attachment)
                continue;
            const QString text = fragment.text();
            for (int offset = text.indexOf(QChar(attachmentCharacter)); offset >= 0;
                 offset = text.indexOf(QChar(attachmentCharacter), offset + 1))
                result.emplace(fragment.position() + offset, attachment);
        }
    }
    return result;
}

} // namespace orv::detail
