#pragma once

#include "OrvTextView/OrvTextViewExport.h"

class QWidget;

namespace orv {

/// What bringToFront() does with a window that is hidden.
enum class HiddenWindow {
    /// placeOnScreen() first.
    place,
    /// Shown where it stands: the caller placed it, or it keeps a frame of its own.
    keepPosition,
};

/// Shows a window (out of the minimised state too), raises it above the others and gives it
/// the keyboard. Nothing for none.
ORVTEXTVIEW_EXPORT void bringToFront(QWidget* window, HiddenWindow hidden = HiddenWindow::place);

/// Puts a window that is about to show where it opens whole: centred on the application's
/// active window (the window whose menu asked for it), else on the screen under the pointer,
/// and no larger than that screen's available area leaves room for (the desktop's frame
/// allowed for). A window shown before keeps the place the user gave it while that lies on
/// the screen.
ORVTEXTVIEW_EXPORT void placeOnScreen(QWidget* window);

/// Keeps a window that has a place of its own (a stored frame) whole on its screen: made
/// smaller where it is larger than the screen's available area leaves room for, and moved
/// the least that brings it inside. A window that lies inside stays as it is.
ORVTEXTVIEW_EXPORT void keepOnScreen(QWidget* window);

} // namespace orv
