#include "OrvTextView/Attachments/TextAttachmentReplacer.h"

#include "OrvTextView/Attachments/AttributedString.h"
#include "OrvTextView/Attachments/LineBreaksPrivate.h"
#include "OrvTextView/Attachments/TextAttachmentBuilder.h"

#include <QTextCursor>

#include <optional>

namespace orv {

namespace {

struct TokenMatch {
    const TextAttachmentPattern* pattern;
    TextRange range;
};

std::optional<TokenMatch> nextToken(const TextAttachmentPatternList& patterns, const QString& text)
{
    for (const auto& pattern : patterns) {
        if (!pattern)
            continue;
        const auto ranges = extractTokenMatches(*pattern, text);
        if (!ranges.empty())
            return TokenMatch { pattern.get(), ranges.front() };
    }
    return std::nullopt;
}

} // namespace

TextAttachmentReplacer::TextAttachmentReplacer(
    QTextDocument* document, QString replacingString, TextRange replacingRange)
    : m_document(document)
    , m_replacingString(std::move(replacingString))
    , m_replacingRange(replacingRange)
{
}

std::vector<TextAttachmentPtr> TextAttachmentReplacer::replace(
    const TextAttachmentPatternList& patterns, const QFont& font)
{
    std::vector<TextAttachmentPtr> made;
    if (!m_document)
        return made;
    QTextCursor cursor(m_document);
    const int documentEnd = cursor.document()->characterCount() - 1;
    const int start = std::clamp(m_replacingRange.location, 0, documentEnd);
    const int end = std::clamp(m_replacingRange.end(), start, documentEnd);
    cursor.beginEditBlock();
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    const QTextCharFormat insertedFormat = withoutAttachment(cursor.charFormat());
    detail::insertExactText(cursor, m_replacingString, insertedFormat);

    while (auto token = nextToken(patterns, m_document->toPlainText())) {
        const QString text = m_document->toPlainText();
        // The token keeps its characters exactly; the document's plain text maps some of them.
        const QString tokenText
            = AttributedString::fromDocument(*m_document, token->range.location, token->range.length).text;
        auto attachment = token->pattern->attachment(tokenText, token->range, text);
        if (!attachment)
            break;
        setAttachmentFont(*attachment, font);
        cursor.setPosition(token->range.location);
        cursor.setPosition(token->range.end(), QTextCursor::KeepAnchor);
        cursor.insertText(QString(QChar(attachmentCharacter)), attachmentFormat(attachment));
        made.push_back(std::move(attachment));
    }
    cursor.endEditBlock();
    return made;
}

TextAttachmentUpdater::TextAttachmentUpdater(QTextDocument* document)
    : m_document(document)
{
}

void TextAttachmentUpdater::update(const TextAttachmentPatternList& patterns, const QFont& font)
{
    if (!m_document || patterns.empty())
        return;
    // Positions and text as the document has them, as the tokens were made from it.
    const QString text = m_document->toPlainText();
    QTextCursor cursor(m_document);
    bool editing = false;
    for (const auto& [position, attachment] : detail::documentAttachments(*m_document)) {
        const auto* token = dynamic_cast<const TextContainingTextAttachment*>(attachment.get());
        if (!token)
            continue;
        const QString tokenText = token->text();
        const TextAttachmentPattern* maker = nullptr;
        for (const auto& pattern : patterns) {
            if (pattern && !extractMatches(*pattern, tokenText).empty()) {
                maker = pattern.get();
                break;
            }
        }
        if (!maker)
            maker = patterns.front().get();
        if (!maker)
            continue;
        auto renewed = maker->attachment(tokenText, TextRange { position, 1 }, text);
        if (!renewed)
            continue;
        setAttachmentFont(*renewed, font);
        if (!editing) {
            // Re-made tokens belong to the edit that made them stale, not to an undo step of their own.
            cursor.joinPreviousEditBlock();
            editing = true;
        }
        cursor.setPosition(position);
        cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
        cursor.setCharFormat(attachmentFormat(renewed));
    }
    if (editing)
        cursor.endEditBlock();
}

} // namespace orv
