#include "intro/IntroViewController.h"

#include "intro/IntroWindow.h"

#include <QPushButton>

namespace quillet {

IntroViewController::IntroViewController(const QString& identifier, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(identifier);
}

void IntroViewController::requestNextPage()
{
    if (m_delegate)
        m_delegate->introViewControllerDidRequestNextPage(*this);
}

QPushButton* IntroViewController::forwardButton() const
{
    for (const char* name : { "next", "done" })
        if (auto* button = findChild<QPushButton*>(QString::fromLatin1(name)))
            return button;
    return nullptr;
}

void IntroViewController::focusForwardButton()
{
    if (QPushButton* button = forwardButton())
        button->setFocus(Qt::OtherFocusReason);
}

void IntroViewController::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    focusForwardButton();
}

IntroWindow* IntroViewController::introWindow() const
{
    return qobject_cast<IntroWindow*>(window());
}

} // namespace quillet
