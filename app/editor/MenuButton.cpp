#include "editor/MenuButton.h"

#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

namespace quillet {

MenuButton::MenuButton(QWidget* parent)
    : QToolButton(parent)
{
}

void MenuButton::mouseReleaseEvent(QMouseEvent* event)
{
    const bool inside = rect().contains(event->position().toPoint()) && isDown();
    // The click (and its action) comes first, the menu after it.
    QToolButton::mouseReleaseEvent(event);
    if (inside && isEnabled() && m_canShowMenu && m_popupMenu) {
        Q_EMIT aboutToPopUpMenu(m_popupMenu);
        m_popupMenu->popup(mapToGlobal(QPoint(0, height())));
    }
}

void MenuButton::keyReleaseEvent(QKeyEvent* event)
{
    // Space presses the button from the keyboard, as a click does with the mouse.
    const bool pressed = event->key() == Qt::Key_Space && !event->isAutoRepeat() && isDown();
    QToolButton::keyReleaseEvent(event);
    if (pressed && isEnabled() && m_canShowMenu && m_popupMenu) {
        Q_EMIT aboutToPopUpMenu(m_popupMenu);
        m_popupMenu->popup(mapToGlobal(QPoint(0, height())));
        m_popupMenu->setFocus();
    }
}

} // namespace quillet
