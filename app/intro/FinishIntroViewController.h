#pragma once

#include "intro/IntroViewController.h"

#include <functional>

namespace quillet {

/// The closing page: done() records that the introduction was completed, so later launches
/// do not open it again, and closes the window.
class FinishIntroViewController final : public IntroViewController {
    Q_OBJECT
public:
    FinishIntroViewController(const QString& identifier, std::function<void()> didComplete, QWidget* parent = nullptr);

public Q_SLOTS:
    void done();

private:
    std::function<void()> m_didComplete;
};

} // namespace quillet
