#include "intro/AccessibilityIntroViewController.h"

#include "intro/IntroWindow.h"

#include <QLabel>
#include <QShowEvent>

namespace quillet {

AccessibilityIntroViewController::AccessibilityIntroViewController(TrustCheck isTrusted, QWidget* parent)
    : IntroViewController(QStringLiteral("AccessibilityIntroViewController"), parent)
    , m_isTrusted(std::move(isTrusted))
{
}

void AccessibilityIntroViewController::showEvent(QShowEvent* event)
{
    IntroViewController::showEvent(event);
    if (!m_didAppearOnce) {
        if (m_isTrusted)
            m_isTrusted(true);
        m_didAppearOnce = true;
    }
    if (IntroWindow* w = introWindow())
        w->setFloating(false);
}

void AccessibilityIntroViewController::next()
{
    if (m_isTrusted && m_isTrusted(true)) {
        requestNextPage();
        return;
    }
    if (m_helpLabel)
        m_helpLabel->show();
}

} // namespace quillet
