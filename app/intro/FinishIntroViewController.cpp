#include "intro/FinishIntroViewController.h"

namespace quillet {

FinishIntroViewController::FinishIntroViewController(
    const QString& identifier, std::function<void()> didComplete, QWidget* parent)
    : IntroViewController(identifier, parent)
    , m_didComplete(std::move(didComplete))
{
}

void FinishIntroViewController::done()
{
    if (m_didComplete)
        m_didComplete();
    if (delegate())
        delegate()->introViewControllerDidFinish(*this);
}

} // namespace quillet
