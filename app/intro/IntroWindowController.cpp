#include "intro/IntroWindowController.h"

#include "intro/IntroPageController.h"
#include "intro/IntroResources.h"
#include "intro/IntroStoryboard.h"
#include "intro/IntroViewController.h"
#include "intro/IntroWindow.h"

#include <QLabel>

namespace quillet {

IntroWindowController::IntroWindowController(IntroEnvironment environment)
    : m_environment(std::move(environment))
{
}

IntroWindow* IntroWindowController::makeWindow() const
{
    initIntroResources();
    auto* window = new IntroWindow;
    const IntroStoryboard storyboard(m_environment);
    auto* pages = new IntroPageController(
        [storyboard](const QString& identifier) {
            IntroViewController* page = storyboard.instantiatePage(identifier);
            // Every identifier of the page order has a page; an unknown one is a bug.
            Q_ASSERT(page);
            return page ? page : new IntroViewController(identifier);
        },
        window);
    window->setContent(pages);
    window->resize(width, height);
    return window;
}

} // namespace quillet
