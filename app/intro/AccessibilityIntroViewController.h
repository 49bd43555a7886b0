#pragma once

#include "intro/IntroViewController.h"

#include <functional>

class QLabel;

namespace quillet {

/// The page that asks for access to other applications' text. It asks the desktop once,
/// when it first comes into view, and lowers the window so the desktop's own dialogs can
/// come in front of it. The user goes on only once access is granted; until then the page
/// explains how to turn it on by hand.
class AccessibilityIntroViewController final : public IntroViewController {
    Q_OBJECT
public:
    using TrustCheck = std::function<bool(bool prompt)>;

    explicit AccessibilityIntroViewController(TrustCheck isTrusted, QWidget* parent = nullptr);

    bool didAppearOnce() const noexcept { return m_didAppearOnce; }
    /// The explanation of how to enable access by hand; shown after a refused next().
    QLabel* helpLabel() const noexcept { return m_helpLabel; }
    void setHelpLabel(QLabel* label) noexcept { m_helpLabel = label; }

public Q_SLOTS:
    /// Goes on when access is granted (asking the desktop once more first).
    void next();

protected:
    void showEvent(QShowEvent* event) override;

private:
    TrustCheck m_isTrusted;
    bool m_didAppearOnce = false;
    QLabel* m_helpLabel = nullptr;
};

} // namespace quillet
