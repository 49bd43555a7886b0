#pragma once

#include "OrvTextView/FontSize.h"
#include "OrvTextView/OrvTextViewExport.h"
#include "OrvTextView/TextFormat.h"

#include <QFont>
#include <QTextBlockFormat>
#include <QTextCharFormat>

#include <optional>

namespace orv {

/// What a TextFormat lays over the text it matches, in the toolkit's terms: a character
/// format (the font always; colours and an attachment when set) and, when the format has
/// paddings that make one, the paragraph layout of the paragraphs it starts.
struct TextFormatAttributes {
    QTextCharFormat charFormat;
    std::optional<ParagraphSpacing> paragraph;
};

/// The length of `size` in points for `font` (the width of "a" for character units).
ORVTEXTVIEW_EXPORT double fontSize(const FontSize& size, const QFont& font);

/// The standard font with the format's traits added (never removed).
ORVTEXTVIEW_EXPORT QFont formatFont(const TextFormat& format, const QFont& standardFont);

/// The format's paragraph layout measured in its font; none unless topPadding or leftPadding is set.
ORVTEXTVIEW_EXPORT std::optional<ParagraphSpacing> paragraphStyle(const TextFormat& format, const QFont& standardFont);

/// Everything the format lays over a match, computed afresh (nothing is cached).
ORVTEXTVIEW_EXPORT TextFormatAttributes attributes(const TextFormat& format, const QFont& standardFont);

/// The block format of a paragraph layout; none gives the toolkit's defaults. The tail
/// indent becomes the right margin: a length from the right edge, never a line width.
ORVTEXTVIEW_EXPORT QTextBlockFormat blockFormat(const std::optional<ParagraphSpacing>& spacing);

} // namespace orv
