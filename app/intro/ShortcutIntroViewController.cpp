#include "intro/ShortcutIntroViewController.h"

#include "library/App.h"

#include <QHideEvent>
#include <QPointer>
#include <QTimer>

namespace quillet {

namespace {

struct IntroShortcutAction {
    QPointer<ShortcutIntroViewController> page;
    std::shared_ptr<const int> token;

    bool operator()() const
    {
        // The holder is still running this action: turning the page now would remove it
        // from under the caller. Turn it once the press has been handled.
        if (page)
            QTimer::singleShot(0, page.data(), &ShortcutIntroViewController::requestNextPage);
        return true;
    }
};

} // namespace

ShortcutIntroViewController::ShortcutIntroViewController(std::function<App&()> app, QWidget* parent)
    : IntroViewController(QStringLiteral("ShortcutIntroViewController"), parent)
    , m_app(std::move(app))
{
}

ShortcutIntroViewController::~ShortcutIntroViewController()
{
    removeAction();
}

bool ShortcutIntroViewController::isActionInstalled() const
{
    if (!m_app || !m_actionToken)
        return false;
    const auto* action = m_app().expandingShortcutCustomAction().target<IntroShortcutAction>();
    return action && action->token == m_actionToken;
}

void ShortcutIntroViewController::showEvent(QShowEvent* event)
{
    IntroViewController::showEvent(event);
    installAction();
}

void ShortcutIntroViewController::hideEvent(QHideEvent* event)
{
    // A minimised window still waits for the press: the user may be binding the shortcut in
    // the desktop's settings meanwhile.
    if (!event->spontaneous())
        removeAction();
    IntroViewController::hideEvent(event);
}

void ShortcutIntroViewController::installAction()
{
    if (!m_app)
        return;
    m_actionToken = std::make_shared<const int>(0);
    m_app().setExpandingShortcutCustomAction(IntroShortcutAction { .page = this, .token = m_actionToken });
}

void ShortcutIntroViewController::removeAction()
{
    if (isActionInstalled())
        m_app().setExpandingShortcutCustomAction({});
    m_actionToken.reset();
}

} // namespace quillet
