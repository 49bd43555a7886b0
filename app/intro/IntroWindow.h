#pragma once

#include <QPoint>
#include <QWidget>

#include <optional>

class QToolButton;

namespace quillet {

/// The onboarding window: no title bar of its own (the desktop's frame is left off), a
/// close button in its corner, and a background that moves the window when dragged.
/// It floats above other windows unless a page lowers it.
class IntroWindow final : public QWidget {
    Q_OBJECT
public:
    explicit IntroWindow(QWidget* parent = nullptr);

    /// The content, shown under the close button.
    void setContent(QWidget* content);
    QWidget* content() const noexcept { return m_content; }

    bool isFloating() const noexcept;
    /// Keeps the window above other windows, or lets other windows (the desktop's
    /// permission dialogs) come in front of it. A shown window stays shown where it is
    /// and is neither raised nor given the keyboard.
    void setFloating(bool floating);

    /// Starts moving the window with the pointer; pages call it for drags on their images.
    void beginMove(QMouseEvent* event);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* m_content = nullptr;
    QToolButton* m_closeButton = nullptr;
    // Where the pointer grabbed the window, when the window system leaves the move to us.
    std::optional<QPoint> m_dragOffset;
};

} // namespace quillet
