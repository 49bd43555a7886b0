#include "intro/WelcomeIntroViewController.h"

#include "intro/WelcomeAnimationView.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace quillet {

WelcomeIntroViewController::WelcomeIntroViewController(QWidget* parent)
    : IntroViewController(QStringLiteral("WelcomeIntroViewController"), parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 40, 24, 24);
    m_videoView = new WelcomeAnimationView(this);
    layout->addWidget(m_videoView, 1);
    // The page goes on by itself; its button lets the keyboard go on sooner (Return or Space),
    // as every other page's forward button does, rather than leaving the close button the
    // only place for the focus.
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* next = new QPushButton(tr("Next"), this);
    next->setObjectName(QStringLiteral("next"));
    next->setDefault(true);
    next->setAutoDefault(true);
    connect(next, &QPushButton::clicked, this, &WelcomeIntroViewController::requestNextPage);
    buttons->addWidget(next);
    layout->addLayout(buttons);
    setUpVideo();
    // A timer owned by the page: when the window closes first, nothing is asked of anyone.
    auto* timer = new QTimer(this);
    timer->setObjectName(QStringLiteral("NextPageTimer"));
    timer->setSingleShot(true);
    timer->setInterval(int((movieTime + timeout) * 1000));
    connect(timer, &QTimer::timeout, this, &WelcomeIntroViewController::requestNextPage);
    timer->start();
}

void WelcomeIntroViewController::setUpVideo()
{
    // Shown a moment later, so the first picture is not drawn while the window still opens.
    m_videoView->hide();
    m_videoView->play();
    QTimer::singleShot(300, m_videoView, &QWidget::show);
}

} // namespace quillet
