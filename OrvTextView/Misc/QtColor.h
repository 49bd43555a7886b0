#pragma once

#include "OrvTextView/Color.h"
#include "OrvTextView/OrvTextViewExport.h"

#include <QColor>
#include <QPalette>
#include <QString>

#include <optional>

namespace orv {

/// The toolkit colour of a framework colour (sRGB, same components and alpha).
ORVTEXTVIEW_EXPORT QColor toQColor(const Color& color);

/// Reads "#RRGGBB" as Color::fromRgb() does and gives the toolkit colour; none when the
/// text is not "#" and six more characters after trimming.
ORVTEXTVIEW_EXPORT std::optional<QColor> colorFromRgb(const QString& text);

/// The relative luminance of a colour, from 0 (black) to 1 (white), alpha ignored.
ORVTEXTVIEW_EXPORT double relativeLuminance(const QColor& color);

/// The contrast ratio of two colours as the web's accessibility guidelines define it, alpha
/// ignored: 1 for the same colour, 21 for black on white. Text wants 4.5 or more.
ORVTEXTVIEW_EXPORT double contrastRatio(const QColor& first, const QColor& second);

/// Whether the palette draws light text on a dark ground: its Base is darker than its Text.
ORVTEXTVIEW_EXPORT bool isDarkPalette(const QPalette& palette);

/// The contrast a colour is moved to when it must be made readable: 4.5:1 on a light ground;
/// on a dark one 5:1, as light letters smoothed at their edges show darker than their colour.
ORVTEXTVIEW_EXPORT double readableContrastOn(const QColor& ground, const QColor& text);

/// A fill chosen for a white ground, remade for a dark `ground`: the ground moved towards the
/// fill (in a hundred steps) until it stands out from the ground as much as the fill does
/// from white. White itself gives the ground.
ORVTEXTVIEW_EXPORT QColor fillOnDarkGround(const QColor& fill, const QColor& ground);

/// `color` when it reaches `minimum` against `background`; otherwise the first colour on the
/// straight way from it to `toward` (in a hundred steps) that does, or `toward` itself.
ORVTEXTVIEW_EXPORT QColor readableColor(
    const QColor& color, const QColor& background, const QColor& toward, double minimum = 4.5);

} // namespace orv
