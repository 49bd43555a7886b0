#pragma once

#include <QFrame>
#include <QPointer>
#include <QRect>
#include <QScreen>

namespace quillet {

/// A transient popover: a pop-up frame around one editor that closes when the user clicks
/// outside it (or presses Escape) and says so. Assistive technologies meet it as a dialog
/// named as its content, holding the content's controls.
class VariablePopover final : public QFrame {
    Q_OBJECT
public:
    /// `parent`, when given, owns the popover (it still opens as a window of its own).
    explicit VariablePopover(QWidget* content, QWidget* parent = nullptr);

    QWidget* content() const noexcept { return m_content; }
    /// Opens below `anchor`, a rectangle in the coordinates of `view`, kept on the screen.
    void showRelativeTo(const QRect& anchor, QWidget* view);
    /// Whether a variable popover is open anywhere in the application.
    static bool isAnyOpen();

Q_SIGNALS:
    /// The popover has closed.
    void closed();

protected:
    void hideEvent(QHideEvent* event) override;
    /// A popover that grows (an enum's values, an error line) stays whole on the screen.
    void resizeEvent(QResizeEvent* event) override;

private:
    /// Below the anchor when it fits there, else above it, always within the screen.
    void place();

    QWidget* m_content;
    /// The anchor in global coordinates, and the screen it is on.
    QRect m_anchor;
    QPointer<QScreen> m_screen;
};

} // namespace quillet
