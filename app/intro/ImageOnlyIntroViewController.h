#pragma once

#include "intro/IntroViewController.h"

namespace quillet {

/// A page with a picture, a few words and a button that goes on.
class ImageOnlyIntroViewController : public IntroViewController {
    Q_OBJECT
public:
    explicit ImageOnlyIntroViewController(const QString& identifier, QWidget* parent = nullptr);

public Q_SLOTS:
    void next();
};

} // namespace quillet
