#include "intro/IntroPageController.h"

#include <QStackedLayout>
#include <QWheelEvent>

namespace quillet {

const QStringList& IntroPageController::pageIdentifiers()
{
    static const QStringList identifiers {
        QStringLiteral("WelcomeIntroViewController"),
        QStringLiteral("AccessibilityIntroViewController"),
        QStringLiteral("ShortcutIntroViewController"),
        QStringLiteral("ExamplesIntroViewController"),
        QStringLiteral("MenuIntroViewController"),
        QStringLiteral("ExpandersIntroViewController"),
        QStringLiteral("BrowserIntroViewController"),
        QStringLiteral("ThankYouIntroViewController"),
    };
    return identifiers;
}

IntroPageController::IntroPageController(PageFactory factory, QWidget* parent)
    : QWidget(parent)
    , m_factory(std::move(factory))
    , m_arrangedObjects(pageIdentifiers())
{
    setObjectName(QStringLiteral("IntroPageController"));
    m_stack = new QStackedLayout(this);
    m_stack->setContentsMargins(0, 0, 0, 0);
    select(0);
}

void IntroPageController::navigateForward()
{
    if (m_selectedIndex + 1 < m_arrangedObjects.size())
        select(m_selectedIndex + 1);
}

void IntroPageController::select(int index)
{
    IntroViewController* page = m_factory(m_arrangedObjects.at(index));
    page->setParent(this);
    page->setDelegate(this);
    QPointer<IntroViewController> previous = m_selectedPage;
    m_selectedIndex = index;
    m_selectedPage = page;
    m_stack->addWidget(page);
    m_stack->setCurrentWidget(page);
    if (previous) {
        m_stack->removeWidget(previous);
        previous->setDelegate(nullptr);
        // The previous page may be the one whose button asked for this page.
        previous->hide();
        previous->deleteLater();
    }
    // The keyboard goes on with the page, never to the close button or a link.
    page->focusForwardButton();
    Q_EMIT selectedPageChanged(index);
}

void IntroPageController::introViewControllerDidRequestNextPage(IntroViewController&)
{
    navigateForward();
}

void IntroPageController::introViewControllerDidFinish(IntroViewController&)
{
    window()->close();
}

void IntroPageController::wheelEvent(QWheelEvent* event)
{
    event->accept();
}

} // namespace quillet
