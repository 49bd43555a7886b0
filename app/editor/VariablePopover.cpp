#include "editor/VariablePopover.h"

#include "OrvTextView/Misc/WindowFront.h"

#include <QApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace quillet {

VariablePopover::VariablePopover(QWidget* content)
    : QFrame(nullptr, Qt::Popup)
    , m_content(content)
{
    setObjectName(QStringLiteral("VariablePopover"));
    setFrameShape(QFrame::StyledPanel);
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(content);
}

void VariablePopover::showRelativeTo(const QRect& anchor, QWidget* view)
{
    adjustSize();
    QPoint position = view ? view->mapToGlobal(anchor.bottomLeft()) : anchor.bottomLeft();
    if (const QScreen* screen = view ? view->screen() : QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        position.setX(
            std::clamp(position.x(), available.left(), std::max(available.left(), available.right() - width())));
        if (position.y() + height() > available.bottom() && view)
            position.setY(view->mapToGlobal(anchor.topLeft()).y() - height());
    }
    move(position);
    orv::bringToFront(this, orv::HiddenWindow::keepPosition);
    m_content->setFocus(Qt::PopupFocusReason);
}

bool VariablePopover::isAnyOpen()
{
    return qobject_cast<VariablePopover*>(QApplication::activePopupWidget()) != nullptr;
}

void VariablePopover::hideEvent(QHideEvent* event)
{
    QFrame::hideEvent(event);
    Q_EMIT closed();
}

} // namespace quillet
