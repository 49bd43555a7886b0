#include "OrvTextView/Misc/WindowFront.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace orv {

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
    // The size it will open at: its layout's, unless it was sized already.
    if (QLayout* layout = window->layout())
        layout->activate();
    const QSize size
        = window->testAttribute(Qt::WA_Resized) ? window->size() : window->sizeHint().expandedTo(window->minimumSize());
    // The desktop's frame is not known before the window shows; the title bar is allowed for.
    constexpr int frameAllowance = 32;
    const QRect current(window->pos(), size + QSize(0, frameAllowance));
    const bool placedBefore = window->property("orvPlacedOnScreen").toBool();
    if (placedBefore && available.contains(current))
        return;
    QRect target(QPoint(), current.size());
    target.moveCenter(anchor ? anchor->frameGeometry().center() : available.center());
    target.moveLeft(
        std::clamp(target.left(), available.left(), std::max(available.left(), available.right() - target.width())));
    target.moveTop(
        std::clamp(target.top(), available.top(), std::max(available.top(), available.bottom() - target.height())));
    window->move(target.topLeft());
    window->setProperty("orvPlacedOnScreen", true);
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
