#pragma once

#include "OrvTextView/Highlighting/TextAttachmentPattern.h"
#include "OrvTextView/OrvTextViewExport.h"

#include <QFont>
#include <QPointer>
#include <QString>
#include <QTextDocument>

#include <vector>

namespace orv {

/// Inserts a string into a document at a range and then turns every token of the whole
/// document into an attachment, all as one undoable edit. Holds the document weakly: once
/// it is gone, replace() does nothing.
class ORVTEXTVIEW_EXPORT TextAttachmentReplacer {
public:
    TextAttachmentReplacer(QTextDocument* document, QString replacingString, TextRange replacingRange);

    /// The attachments made, in the order made. The earliest pattern in the list that
    /// matches anywhere wins each round; empty matches and matches over an attachment
    /// character are skipped. The inserted characters take the format at the range
    /// without any attachment.
    std::vector<TextAttachmentPtr> replace(const TextAttachmentPatternList& patterns, const QFont& font);

private:
    QPointer<QTextDocument> m_document;
    QString m_replacingString;
    TextRange m_replacingRange;
};

/// Re-makes every token attachment already in a document from its own token text, so a
/// change of the factories or of the font reaches every token. Never looks for new tokens.
class ORVTEXTVIEW_EXPORT TextAttachmentUpdater {
public:
    explicit TextAttachmentUpdater(QTextDocument* document);

    /// For each token attachment, the first pattern whose expression matches its text (the
    /// first pattern when none does) makes the new attachment, which replaces the old one
    /// in place with the attachment as its only attribute. No patterns: nothing changes.
    void update(const TextAttachmentPatternList& patterns, const QFont& font);

private:
    QPointer<QTextDocument> m_document;
};

} // namespace orv
