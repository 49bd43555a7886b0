#pragma once

#include "intro/IntroViewController.h"

#include <functional>
#include <memory>

namespace quillet {

class App;

/// The page on which the user tries the expand shortcut. While it is shown, the next press
/// of the shortcut anywhere moves the introduction on and expands nothing: the page installs
/// a one-shot custom action on the library holder.
///
/// The action belongs to the page: when the page is hidden (the introduction moves on, the
/// window closes, but not when it is only minimised) or deleted, it removes the action it installed, so a press after
/// the introduction is gone expands as usual. An action installed by someone else is left alone.
class ShortcutIntroViewController final : public IntroViewController {
    Q_OBJECT
public:
    explicit ShortcutIntroViewController(std::function<App&()> app, QWidget* parent = nullptr);
    ~ShortcutIntroViewController() override;

    /// True while the holder's custom action is the one this page installed.
    bool isActionInstalled() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void installAction();
    void removeAction();

    std::function<App&()> m_app;
    // Tells this page's action apart from any other in the holder.
    std::shared_ptr<const int> m_actionToken;
};

} // namespace quillet
