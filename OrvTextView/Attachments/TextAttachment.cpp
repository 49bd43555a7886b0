#include "OrvTextView/Attachments/TextAttachment.h"

#include "OrvTextView/Attachments/LineBreaksPrivate.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QStringDecoder>

namespace orv {

namespace {
constexpr qreal cellPadding = 3;
}

TextAttachmentCell::~TextAttachmentCell() = default;

QSizeF TextAttachmentCell::cellSize(const TextAttachment& attachment) const
{
    const QFontMetricsF metrics(m_font);
    return QSizeF(metrics.horizontalAdvance(attachment.displayText()) + 2 * cellPadding, metrics.height());
}

qreal TextAttachmentCell::descent() const
{
    return QFontMetricsF(m_font).descent();
}

void TextAttachmentCell::draw(QPainter& painter, const QRectF& rect, const TextAttachment& attachment) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    painter.fillPath(path, m_backgroundColor);
    painter.setFont(m_font);
    painter.setPen(m_textColor.isValid() ? m_textColor : QGuiApplication::palette().color(QPalette::Text));
    painter.drawText(rect.adjusted(cellPadding, 0, -cellPadding, 0), Qt::AlignCenter, attachment.displayText());
    painter.restore();
}

TextAttachment::TextAttachment(QByteArray contents, QString fileType)
    : m_contents(std::move(contents))
    , m_fileType(std::move(fileType))
    , m_cell(std::make_shared<TextAttachmentCell>())
{
}

TextAttachment::~TextAttachment() = default;

void TextAttachment::setCell(std::shared_ptr<TextAttachmentCell> cell)
{
    m_cell = cell ? std::move(cell) : std::make_shared<TextAttachmentCell>();
}

QString TextAttachment::displayText() const
{
    return {};
}

QString TextContainingTextAttachment::contentsType()
{
    return QStringLiteral("com.orvanta.OrvTextView.TextAttachment");
}

TextContainingTextAttachment::TextContainingTextAttachment(const QString& text)
    : TextAttachment(text.toUtf8(), contentsType())
{
}

TextContainingTextAttachment::TextContainingTextAttachment(QByteArray contents, QString fileType)
    : TextAttachment(std::move(contents), std::move(fileType))
{
}

QString TextContainingTextAttachment::text() const
{
    if (contents().isEmpty())
        return {};
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = decoder(contents());
    if (decoder.hasError())
        return {};
    return decoded;
}

void TextContainingTextAttachment::setText(const QString& text)
{
    setContents(text.toUtf8());
}

QTextCharFormat attachmentFormat(const TextAttachmentPtr& attachment)
{
    QTextCharFormat format;
    format.setObjectType(attachmentObjectType);
    format.setProperty(attachmentProperty, QVariant::fromValue(attachment));
    // Centred on the line's text instead of standing on its baseline.
    format.setVerticalAlignment(QTextCharFormat::AlignMiddle);
    return format;
}

TextAttachmentPtr attachmentOf(const QTextFormat& format)
{
    const QVariant value = format.property(attachmentProperty);
    if (!value.isValid())
        return nullptr;
    return value.value<TextAttachmentPtr>();
}

QTextCharFormat withoutAttachment(QTextCharFormat format)
{
    if (format.objectType() == attachmentObjectType)
        format.setObjectType(QTextFormat::NoObject);
    format.clearProperty(attachmentProperty);
    format.clearProperty(detail::lineBreakProperty);
    return format;
}

} // namespace orv
