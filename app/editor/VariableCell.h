#pragma once

#include "OrvTextView/Attachments/TextAttachment.h"

#include <QColor>
#include <QPalette>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>

namespace quillet {

/// Draws a variable token: its label on a rounded coloured background, sitting on the text's
/// baseline like a word. Knows nothing of variables; the input and output token cells add
/// the popover editors. On a dark palette the token is drawn in a darker shade (shownColors).
///
/// Geometry (in the view's units, the font's pixel size standing for its point size): the
/// label is measured in the cell's font; the cell is the label plus the paddings, 5 units
/// wider still, and lies (height − font size) / 2 + additionalBaselineOffset below the baseline.
class VariableCell : public orv::TextAttachmentCell {
public:
    static constexpr qreal labelLeftPadding = 4.0;
    static constexpr qreal labelRightPadding = 4.0;
    static constexpr qreal labelTopPadding = 0.0;
    static constexpr qreal labelBottomPadding = 2.0;
    static constexpr qreal extraWidth = 5.0;

    /// The colour of a token starting at `location` of `wholeText`: grey inside an optional
    /// part, blue elsewhere.
    static QColor colorForTokenAt(const QString& wholeText, int location);

    explicit VariableCell(QString label);
    ~VariableCell() override;

    const QString& label() const noexcept { return m_label; }
    void setLabel(QString label) { m_label = std::move(label); }

    qreal additionalBaselineOffset() const noexcept { return m_additionalBaselineOffset; }
    void setAdditionalBaselineOffset(qreal offset) noexcept { m_additionalBaselineOffset = offset; }

    /// The frame of the latest drawing, in the painter's coordinates; none until drawn.
    const std::optional<QRectF>& lastDrawnFrame() const noexcept { return m_lastDrawnFrame; }

    QSizeF labelSize() const;
    QRectF labelFrame() const;
    qreal cellWidth() const;
    qreal cellHeight() const;
    /// The size of the whole token: cellWidth() + 5 by cellHeight().
    QSizeF cellSize() const;
    /// How far the token's bottom lies below the baseline.
    qreal baselineDistance() const;

    struct Colors {
        QColor background;
        QColor text;
    };
    /// The colours a drawing in that palette uses: backgroundColor() and textColor() on a
    /// light palette; on a dark one a darker shade of the background that stands out from the
    /// palette's base as much as the colour does from white, with the text lifted to 4.5:1 on it.
    Colors shownColors(const QPalette& palette) const;

    QSizeF cellSize(const orv::TextAttachment& attachment) const override;
    qreal descent() const override;
    void draw(QPainter& painter, const QRectF& rect, const orv::TextAttachment& attachment) const override;

private:
    QString m_label;
    qreal m_additionalBaselineOffset = 2.0;
    mutable std::optional<QRectF> m_lastDrawnFrame;
};

} // namespace quillet
