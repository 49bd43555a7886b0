#include "OrvTextView/Highlighting/TextFormatAttributes.h"

#include "OrvTextView/Attachments/TextAttachment.h"
#include "OrvTextView/Misc/QtColor.h"

#include <QFontMetricsF>

namespace orv {

double fontSize(const FontSize& size, const QFont& font)
{
    const double widthOfA = size.unit == FontSize::Unit::characters ? QFontMetricsF(font).horizontalAdvance(u'a') : 0;
    return size.size(font.pointSizeF(), widthOfA);
}

QFont formatFont(const TextFormat& format, const QFont& standardFont)
{
    QFont font = standardFont;
    if (format.isBold)
        font.setBold(true);
    if (format.isItalic)
        font.setItalic(true);
    return font;
}

std::optional<ParagraphSpacing> paragraphStyle(const TextFormat& format, const QFont& standardFont)
{
    if (!format.topPadding && !format.leftPadding)
        return std::nullopt;
    const QFont font = formatFont(format, standardFont);
    const FontMetrics metrics { .pointSize = font.pointSizeF(),
        .widthOfA = QFontMetricsF(font).horizontalAdvance(u'a') };
    return format.paragraphSpacing(metrics);
}

TextFormatAttributes attributes(const TextFormat& format, const QFont& standardFont)
{
    TextFormatAttributes result;
    result.charFormat.setFont(formatFont(format, standardFont));
    if (format.color)
        result.charFormat.setForeground(toQColor(*format.color));
    if (format.backgroundColor)
        result.charFormat.setBackground(toQColor(*format.backgroundColor));
    if (format.attachment.has_value()) {
        if (const auto* attachment = std::any_cast<TextAttachmentPtr>(&format.attachment); attachment && *attachment) {
            result.charFormat.setObjectType(attachmentObjectType);
            result.charFormat.setProperty(attachmentProperty, QVariant::fromValue(*attachment));
        }
    }
    result.paragraph = paragraphStyle(format, standardFont);
    return result;
}

QTextBlockFormat blockFormat(const std::optional<ParagraphSpacing>& spacing)
{
    QTextBlockFormat format;
    const ParagraphSpacing values = spacing.value_or(ParagraphSpacing {});
    format.setTopMargin(values.spacingBefore.value_or(0));
    if (values.lineSpacing && *values.lineSpacing > 0)
        format.setLineHeight(*values.lineSpacing, QTextBlockFormat::LineDistanceHeight);
    else
        format.setLineHeight(0, QTextBlockFormat::SingleHeight);
    const double headIndent = values.headIndent.value_or(0);
    format.setLeftMargin(headIndent);
    format.setTextIndent(values.firstLineHeadIndent.value_or(headIndent) - headIndent);
    format.setRightMargin(values.tailIndent ? std::max(0.0, *values.tailIndent) : 0);
    return format;
}

} // namespace orv
