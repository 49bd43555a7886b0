#pragma once

#include <QFrame>

namespace quillet {

/// A transient popover: a pop-up frame around one editor that closes when the user clicks
/// outside it (or presses Escape) and says so.
class VariablePopover final : public QFrame {
    Q_OBJECT
public:
    explicit VariablePopover(QWidget* content);

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

private:
    QWidget* m_content;
};

} // namespace quillet
