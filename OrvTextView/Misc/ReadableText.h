#pragma once

#include "OrvTextView/OrvTextViewExport.h"

#include <QColor>
#include <QPalette>

#include <functional>

class QLabel;
class QWidget;

namespace orv {

/// Runs `apply` now and again whenever the widget's palette changes (the desktop switched
/// between a light and a dark look, or the widget moved to another parent). `apply` may set
/// the widget's own palette or style: a change it makes does not run it again.
ORVTEXTVIEW_EXPORT void followPalette(QWidget* widget, std::function<void()> apply);

/// A colour written for a light window (a link's blue, an error's red): kept where it reads
/// at 4.5:1 on a light `ground` (5:1 on a dark one, readableContrastOn()), else moved towards
/// `onDark` on a dark ground, or towards `text` on a light one, until it does; `text` itself
/// when nothing on the way does.
ORVTEXTVIEW_EXPORT QColor accentOn(
    const QColor& written, const QColor& ground, const QColor& text, const QColor& onDark);

/// The quieter text of a hint or a note on a palette's window: its disabled text, lifted
/// towards its text until it reads at 4.5:1 (5:1 on a dark window).
ORVTEXTVIEW_EXPORT QColor hintColor(const QPalette& palette);

/// Draws a label as a hint: enabled (so assistive tools read it as any text) in hintColor,
/// following the palette.
ORVTEXTVIEW_EXPORT void makeHint(QLabel* label);

} // namespace orv
