#include "editor/MenuButton.h"

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

} // namespace quillet
