#pragma once

#include "intro/IntroViewController.h"

namespace quillet {

/// The page of examples, with a link to the list of supported editors.
class ExampleIntroViewController final : public IntroViewController {
    Q_OBJECT
public:
    explicit ExampleIntroViewController(const QString& identifier, QWidget* parent = nullptr);

public Q_SLOTS:
    void next();
    /// Opens the supported editors' page in the browser.
    void openLink();
};

} // namespace quillet
