#pragma once

#include <QWidget>

class QPushButton;

namespace quillet {

class IntroViewController;
class IntroWindow;

/// Told by a page of the introduction that the user may go on, or that the introduction is
/// complete.
class IntroViewControllerDelegate {
public:
    virtual ~IntroViewControllerDelegate() = default;
    virtual void introViewControllerDidRequestNextPage(IntroViewController& page) = 0;
    virtual void introViewControllerDidFinish(IntroViewController& page) = 0;
};

/// One page of the introduction. Its object name is its identifier in the page order.
///
/// Pages are owned by the page controller that shows them, which is also their delegate,
/// so a page never outlives its delegate; the delegate may still be unset (nothing happens).
class IntroViewController : public QWidget {
    Q_OBJECT
public:
    explicit IntroViewController(const QString& identifier, QWidget* parent = nullptr);

    IntroViewControllerDelegate* delegate() const noexcept { return m_delegate; }
    void setDelegate(IntroViewControllerDelegate* delegate) noexcept { m_delegate = delegate; }

    /// Asks the delegate for the next page.
    void requestNextPage();

    /// The button that goes on ("next", or "done" on the closing page); none on a page without
    /// one.
    QPushButton* forwardButton() const;
    /// Gives the forward button the keyboard, so Return goes on.
    void focusForwardButton();

protected:
    void showEvent(QShowEvent* event) override;

    /// The onboarding window this page is shown in, if any.
    IntroWindow* introWindow() const;

private:
    IntroViewControllerDelegate* m_delegate = nullptr;
};

} // namespace quillet
