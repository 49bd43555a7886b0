#pragma once

#include "intro/IntroViewController.h"

namespace quillet {

class WelcomeAnimationView;

/// The first page: the welcome animation, after which the page moves on by itself, with a
/// forward button that goes on at once.
class WelcomeIntroViewController final : public IntroViewController {
    Q_OBJECT
public:
    /// How long the animation runs and how long its last picture stays, in seconds; the
    /// page asks for the next one when both have passed since it was made.
    static constexpr double movieTime = 4.0;
    static constexpr double timeout = 4.0;

    explicit WelcomeIntroViewController(QWidget* parent = nullptr);

    WelcomeAnimationView* videoView() const noexcept { return m_videoView; }

private:
    void setUpVideo();

    WelcomeAnimationView* m_videoView = nullptr;
};

} // namespace quillet
