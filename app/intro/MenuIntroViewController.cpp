#include "intro/MenuIntroViewController.h"

#include "intro/IntroWindow.h"

namespace quillet {

MenuIntroViewController::MenuIntroViewController(QWidget* parent)
    : ImageOnlyIntroViewController(QStringLiteral("MenuIntroViewController"), parent)
{
}

void MenuIntroViewController::showEvent(QShowEvent* event)
{
    ImageOnlyIntroViewController::showEvent(event);
    if (IntroWindow* w = introWindow())
        w->setFloating(true);
}

} // namespace quillet
