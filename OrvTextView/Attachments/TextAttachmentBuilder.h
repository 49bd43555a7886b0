#pragma once

#include "OrvTextView/Attachments/AttributedString.h"
#include "OrvTextView/Highlighting/TextAttachmentPattern.h"
#include "OrvTextView/OrvTextViewExport.h"

#include <QFont>
#include <QString>

namespace orv {

/// Turns a plain string into an attributed string in which every token is an attachment.
class ORVTEXTVIEW_EXPORT TextAttachmentBuilder {
public:
    struct Result {
        AttributedString attributedString;
        /// The given position less the lengths of all replaced matches.
        int cursorPosition = 0;
    };

    explicit TextAttachmentBuilder(QString text);

    /// For each pattern in list order, replaces its leftmost token match again and again
    /// until none is left, so all of the first pattern's tokens go before the second's.
    /// Each attachment's cell gets `font`. Matches that are empty or hold an attachment
    /// character are skipped.
    Result attributedString(const TextAttachmentPatternList& patterns, const QFont& font, int cursorPosition);

private:
    AttributedString m_attributedString;
};

/// Gives the attachment's cell the font the helpers place tokens with.
ORVTEXTVIEW_EXPORT void setAttachmentFont(TextAttachment& attachment, const QFont& font);

} // namespace orv
