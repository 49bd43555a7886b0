#pragma once

#include "OrvTextView/OrvTextViewExport.h"

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QMetaType>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QTextFormat>

#include <memory>

class QPainter;

namespace orv {

class TextAttachment;

/// Draws one attachment inline in the text. The default cell draws the attachment's
/// display text in its font inside a rounded box; token factories give their attachments
/// cells of their own (another colour, another shape) by subclassing it.
class ORVTEXTVIEW_EXPORT TextAttachmentCell {
public:
    TextAttachmentCell() = default;
    virtual ~TextAttachmentCell();

    /// The font of the cell's text; the helpers that place tokens set it to the view's font.
    QFont font() const { return m_font; }
    void setFont(const QFont& font) { m_font = font; }

    /// Fill and text colour of the default drawing; an invalid colour keeps the palette's.
    QColor backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const QColor& color) { m_backgroundColor = color; }
    QColor textColor() const { return m_textColor; }
    void setTextColor(const QColor& color) { m_textColor = color; }

    /// The size the cell takes in the line, in points, and the distance of its bottom below
    /// the baseline (its descent).
    virtual QSizeF cellSize(const TextAttachment& attachment) const;
    virtual qreal descent() const;
    /// Draws the cell into `rect` (the full cell, in the painter's coordinates).
    virtual void draw(QPainter& painter, const QRectF& rect, const TextAttachment& attachment) const;

private:
    QFont m_font;
    QColor m_backgroundColor = QColor(0x45, 0x9b, 0xff, 0x40);
    QColor m_textColor;
};

/// An object that stands in the text as one attachment character (U+FFFC), with contents
/// (bytes and a file type) and the cell that draws it.
class ORVTEXTVIEW_EXPORT TextAttachment {
public:
    TextAttachment(QByteArray contents, QString fileType);
    virtual ~TextAttachment();

    const QByteArray& contents() const { return m_contents; }
    void setContents(QByteArray contents) { m_contents = std::move(contents); }
    const QString& fileType() const { return m_fileType; }

    /// Never null: a new attachment has a default cell.
    TextAttachmentCell* cell() const { return m_cell.get(); }
    void setCell(std::shared_ptr<TextAttachmentCell> cell);

    /// The text the default cell shows; empty for a plain attachment.
    virtual QString displayText() const;

private:
    QByteArray m_contents;
    QString m_fileType;
    std::shared_ptr<TextAttachmentCell> m_cell;
};

using TextAttachmentPtr = std::shared_ptr<TextAttachment>;

/// An attachment that keeps the token text it stands for, so that the plain text can be
/// rebuilt character for character. The text is its contents as UTF-8.
class ORVTEXTVIEW_EXPORT TextContainingTextAttachment : public TextAttachment {
public:
    /// The contents file type of every token attachment.
    static QString contentsType();

    explicit TextContainingTextAttachment(const QString& text);
    TextContainingTextAttachment(QByteArray contents, QString fileType);

    /// The contents decoded as UTF-8; empty when there are none or they are not UTF-8.
    QString text() const;
    void setText(const QString& text);

    QString displayText() const override { return text(); }
};

using TextContainingTextAttachmentPtr = std::shared_ptr<TextContainingTextAttachment>;

/// The attachment character that every attachment occupies in the text.
constexpr char16_t attachmentCharacter = u'\uFFFC';

/// The object type and property under which a character format carries its attachment.
constexpr int attachmentObjectType = QTextFormat::UserObject + 0x4F52;
constexpr int attachmentProperty = QTextFormat::UserProperty + 0x4F52;

/// A character format that holds only `attachment`.
ORVTEXTVIEW_EXPORT QTextCharFormat attachmentFormat(const TextAttachmentPtr& attachment);
/// The attachment a character format holds, or null.
ORVTEXTVIEW_EXPORT TextAttachmentPtr attachmentOf(const QTextFormat& format);
/// The format without its attachment or line break: what text typed next to one gets.
ORVTEXTVIEW_EXPORT QTextCharFormat withoutAttachment(QTextCharFormat format);

} // namespace orv

Q_DECLARE_METATYPE(orv::TextAttachmentPtr)
