#include "editor/VariableCell.h"

#include "docs/views/QtText.h"
#include "editor/VariableNaming.h"

#include "OrvTextView/Misc/QtColor.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

namespace quillet {

QColor VariableCell::colorForTokenAt(const QString& wholeText, int location)
{
    return QColor(qtString(tokenColorHex(icuString(wholeText), location)));
}

VariableCell::VariableCell(QString label)
    : m_label(std::move(label))
{
    setBackgroundColor(QColor(0x52, 0xC0, 0xFF));
    setTextColor(Qt::white);
}

VariableCell::~VariableCell() = default;

QSizeF VariableCell::labelSize() const
{
    const QFontMetricsF metrics(font());
    return { metrics.horizontalAdvance(m_label), metrics.height() };
}

QRectF VariableCell::labelFrame() const
{
    const QSizeF size = labelSize();
    return { labelLeftPadding, labelTopPadding, size.width() + labelLeftPadding + labelRightPadding,
        size.height() + labelTopPadding + labelBottomPadding };
}

qreal VariableCell::cellWidth() const
{
    return labelSize().width() + labelLeftPadding + labelRightPadding;
}

qreal VariableCell::cellHeight() const
{
    return labelSize().height() + labelTopPadding + labelBottomPadding;
}

QSizeF VariableCell::cellSize() const
{
    return { cellWidth() + extraWidth, cellHeight() };
}

qreal VariableCell::baselineDistance() const
{
    const qreal fontSize = QFontInfo(font()).pixelSize();
    return (cellSize().height() - fontSize) * 0.5 + m_additionalBaselineOffset;
}

QSizeF VariableCell::cellSize(const orv::TextAttachment&) const
{
    return cellSize();
}

qreal VariableCell::descent() const
{
    return baselineDistance();
}

VariableCell::Colors VariableCell::shownColors(const QPalette& palette) const
{
    if (!orv::isDarkPalette(palette))
        return { .background = backgroundColor(), .text = textColor() };
    // The bright token colours are made for a light editor. On a dark one the token is a
    // darker shade of its colour that stands out as much, and its label reads at 4.5:1.
    const QColor background = orv::fillOnDarkGround(backgroundColor(), palette.color(QPalette::Base));
    return { .background = background,
        .text = orv::readableColor(textColor(), background, palette.color(QPalette::Text)) };
}

void VariableCell::draw(QPainter& painter, const QRectF& rect, const orv::TextAttachment&) const
{
    m_lastDrawnFrame = rect;
    const auto* view = dynamic_cast<const QWidget*>(painter.device());
    const Colors colors = shownColors(view ? view->palette() : QApplication::palette());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath background;
    background.addRoundedRect(rect, 4.0, 4.0);
    painter.fillPath(background, colors.background);
    painter.setFont(font());
    painter.setPen(colors.text);
    // The label starts after the left and top paddings; a label too wide for the token is
    // cut with an ellipsis rather than drawn outside it.
    const QRectF labelRect(rect.x() + labelLeftPadding, rect.y() + labelTopPadding, rect.width() - labelLeftPadding,
        rect.height() - labelTopPadding);
    const QString shown = QFontMetricsF(font()).elidedText(m_label, Qt::ElideRight, labelRect.width());
    painter.setClipRect(rect);
    painter.drawText(labelRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, shown);
    painter.restore();
}

} // namespace quillet
