#pragma once

#include "intro/ImageOnlyIntroViewController.h"

namespace quillet {

/// The page on the status menu. The desktop's permission dialogs are behind the user by
/// now, so the window floats above other windows again.
class MenuIntroViewController final : public ImageOnlyIntroViewController {
    Q_OBJECT
public:
    explicit MenuIntroViewController(QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace quillet
