#pragma once

#include "intro/IntroEnvironment.h"

#include <QPointer>

namespace quillet {

class IntroPageController;
class IntroWindow;

/// Makes the onboarding window: a new window with its page controller at the first page,
/// floating above other windows, without a title, movable by its background. Each opening
/// of the introduction makes a new window; closing it deletes it.
class IntroWindowController {
public:
    /// The size of the window's content, in device-independent pixels.
    static constexpr int width = 620;
    static constexpr int height = 480;

    explicit IntroWindowController(IntroEnvironment environment);

    /// A new window (not shown yet), deleted when it closes.
    IntroWindow* makeWindow() const;

private:
    IntroEnvironment m_environment;
};

} // namespace quillet
