#include "OrvTextView/Misc/WindowFront.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QLayout>
#include <QMargins>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace orv {

namespace {

// The desktop's frame is not known before a window first shows: its title bar and borders
// are allowed for.
const QMargins frameAllowance(4, 28, 4, 4);

/// The size a window opens at: its own once sized, else its layout's.
QSize openingSize(QWidget* window)
{
    if (QLayout* layout = window->layout())
        layout->activate();
    return window->testAttribute(Qt::WA_Resized) ? window->size()
                                                 : window->sizeHint().expandedTo(window->minimumSize());
}

/// The desktop's frame around the window: as it was drawn, once the window has shown.
QSize frameGrowth(const QWidget* window)
{
    const QSize drawn = window->frameGeometry().size() - window->geometry().size();
    if (drawn.width() > 0 || drawn.height() > 0)
        return drawn;
    return QSize(frameAllowance.left() + frameAllowance.right(), frameAllowance.top() + frameAllowance.bottom());
}

/// Makes the window no larger than `available` leaves room for, frame included (never below
/// its minimum size); answers the frame it then needs, at its present place.
QRect fitInto(QWidget* window, const QRect& available)
{
    const QSize size = openingSize(window);
    const QSize frame = frameGrowth(window);
    const QSize room = available.size() - frame;
    const QSize fitted = size.boundedTo(room).expandedTo(window->minimumSize());
    if (fitted != size)
        window->resize(fitted);
    return QRect(window->pos(), fitted + frame);
}

QRect clampedInto(QRect frame, const QRect& available)
{
    frame.moveLeft(
        std::clamp(frame.left(), available.left(), std::max(available.left(), available.right() - frame.width())));
    frame.moveTop(
        std::clamp(frame.top(), available.top(), std::max(available.top(), available.bottom() - frame.height())));
    return frame;
}

} // namespace

void placeOnScreen(QWidget* window)
{
    if (!window)
        return;
    QWidget* anchor = QApplication::activeWindow();
    if (anchor == window || (anchor && !anchor->isVisible()))
        anchor = nullptr;
    QScreen* screen = anchor ? anchor->screen() : QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    const QRect current = fitInto(window, available);
    const bool placedBefore = window->property("orvPlacedOnScreen").toBool();
    if (placedBefore && available.contains(current))
        return;
    QRect target(QPoint(), current.size());
    target.moveCenter(anchor ? anchor->frameGeometry().center() : available.center());
    window->move(clampedInto(target, available).topLeft());
    window->setProperty("orvPlacedOnScreen", true);
}

void keepOnScreen(QWidget* window)
{
    if (!window)
        return;
    QScreen* screen = QGuiApplication::screenAt(window->geometry().center());
    if (!screen)
        screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    const QRect current = fitInto(window, available);
    if (available.contains(current))
        return;
    window->move(clampedInto(current, available).topLeft());
}

void bringToFront(QWidget* window, HiddenWindow hidden)
{
    if (!window)
        return;
    if (hidden == HiddenWindow::place && !window->isVisible())
        placeOnScreen(window);
    window->show();
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->raise();
    window->activateWindow();
}

} // namespace orv
