#include "intro/IntroViewController.h"

#include "intro/IntroWindow.h"

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

IntroWindow* IntroViewController::introWindow() const
{
    return qobject_cast<IntroWindow*>(window());
}

} // namespace quillet
