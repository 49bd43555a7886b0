#include "editor/VariablePopover.h"

#include "OrvTextView/Misc/WindowFront.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QLineEdit>
#include <QScreen>
#include <QVBoxLayout>

namespace quillet {

namespace {

QAccessibleInterface* popoverAccessible(const QString& className, QObject* object)
{
    if (className != QLatin1String(VariablePopover::staticMetaObject.className()) || !object->isWidgetType())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Dialog);
}

} // namespace

VariablePopover::VariablePopover(QWidget* content, QWidget* parent)
    : QFrame(parent, Qt::Popup)
    , m_content(content)
{
    static const bool accessibleAsDialog = (QAccessible::installFactory(popoverAccessible), true);
    Q_UNUSED(accessibleAsDialog);
    setObjectName(QStringLiteral("VariablePopover"));
    setAccessibleName(content->accessibleName());
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
    m_anchor = view ? QRect(view->mapToGlobal(anchor.topLeft()), anchor.size()) : anchor;
    m_screen = view ? view->screen() : QGuiApplication::primaryScreen();
    place();
    orv::bringToFront(this, orv::HiddenWindow::keepPosition);
    m_content->setFocus(Qt::PopupFocusReason);
    // The field the editor opens in has its text selected, so that what the user types
    // replaces it (a new variable's proposed name among others), as a dialog's first field does.
    QWidget* first = m_content->focusProxy() ? m_content->focusProxy() : m_content;
    if (auto* field = qobject_cast<QLineEdit*>(first))
        field->selectAll();
}

void VariablePopover::place()
{
    QPoint position(m_anchor.left(), m_anchor.top() + m_anchor.height());
    if (const QScreen* screen = m_screen ? m_screen.data() : QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        position.setX(
            std::clamp(position.x(), available.left(), std::max(available.left(), available.right() + 1 - width())));
        if (position.y() + height() > available.bottom() + 1) {
            // Above the anchor when there is room there; else as low as the screen lets it be.
            const int above = m_anchor.top() - height();
            position.setY(above >= available.top() ? above : available.bottom() + 1 - height());
        }
        position.setY(std::max(position.y(), available.top()));
    }
    if (pos() != position)
        move(position);
}

void VariablePopover::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    if (isVisible())
        place();
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
