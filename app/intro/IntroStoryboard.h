#pragma once

#include "intro/IntroEnvironment.h"

#include <QString>

namespace quillet {

class IntroViewController;

/// The introduction's pages as the user sees them: their texts, pictures and buttons, and
/// which page class serves each identifier.
class IntroStoryboard {
public:
    explicit IntroStoryboard(IntroEnvironment environment);

    /// A new page for one of IntroPageController::pageIdentifiers(); nullptr for any other.
    IntroViewController* instantiatePage(const QString& identifier) const;

private:
    IntroEnvironment m_environment;
};

} // namespace quillet
