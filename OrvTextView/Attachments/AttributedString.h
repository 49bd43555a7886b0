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

    /// The part of a document from `start` (document position) on, `length` document
    /// positions long, as exactly the characters it was given and typed: a paragraph break
    /// reads "\n", a stand-in for another line break reads as that break ("\r\n", "\r",
    /// U+2029), and no-break spaces and line separators stay. So `text` may be longer than
    /// the range, and the attachments are keyed by their positions in `text`.
    static AttributedString fromDocument(const QTextDocument& document, int start = 0, int length = -1);

    /// The attachment at `position`, or null.
    TextAttachmentPtr attachmentAt(int position) const;
};

} // namespace orv
