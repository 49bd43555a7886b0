#pragma once

#include "OrvTextView/Attachments/TextAttachment.h"
#include "OrvTextView/OrvTextViewExport.h"

#include <QString>

#include <map>

class QTextDocument;

namespace orv {

/// Plain text with attachments: each attachment stands in `text` as one attachment
/// character, keyed here by its UTF-16 position. Characters carry no other attributes.
struct ORVTEXTVIEW_EXPORT AttributedString {
    QString text;
    std::map<int, TextAttachmentPtr> attachments;

    /// The part of a document from `start` (UTF-16 position) on, `length` units long,
    /// reading the attachment of every attachment character on its own: equal adjacent
    /// formats may share one run in the document, but each character keeps its token.
    static AttributedString fromDocument(const QTextDocument& document, int start = 0, int length = -1);

    /// The attachment at `position`, or null.
    TextAttachmentPtr attachmentAt(int position) const;
};

} // namespace orv
