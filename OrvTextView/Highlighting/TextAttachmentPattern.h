#pragma once

#include "OrvTextView/Attachments/TextAttachment.h"
#include "OrvTextView/OrvTextViewExport.h"
#include "OrvTextView/Pattern/StringHelpers.h"

#include <QString>

#include <memory>
#include <vector>

namespace orv {

/// One kind of token: a regular expression (ICU syntax, matched case-insensitively with
/// "^" and "$" at lines) and the factory of the attachment that stands for one match.
/// The expression should match at least one character and never the attachment
/// character; the helpers skip matches that do either, so a careless expression cannot
/// make them loop.
class ORVTEXTVIEW_EXPORT TextAttachmentPattern {
public:
    virtual ~TextAttachmentPattern();

    virtual QString pattern() const = 0;
    /// Makes the attachment for `matchedText`, found at `range` (UTF-16) of `wholeText`.
    /// The attachment's text should be the matched text, so the plain text survives.
    virtual TextContainingTextAttachmentPtr attachment(
        const QString& matchedText, TextRange range, const QString& wholeText) const = 0;
};

using TextAttachmentPatternPtr = std::shared_ptr<const TextAttachmentPattern>;
using TextAttachmentPatternList = std::vector<TextAttachmentPatternPtr>;

/// The UTF-16 ranges of every match of the pattern's expression in `text`, left to right.
ORVTEXTVIEW_EXPORT std::vector<TextRange> extractMatches(const TextAttachmentPattern& pattern, const QString& text);

/// The matches that can become tokens: not empty and without an attachment character.
ORVTEXTVIEW_EXPORT std::vector<TextRange> extractTokenMatches(
    const TextAttachmentPattern& pattern, const QString& text);

} // namespace orv
