#pragma once

#include "docs/views/ExpanderBrowserViewController.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QWidget>

namespace quillet {

/// The expander browser's window: small, frameless, with rounded corners on a transparent
/// background, above the windows of every application, and dragged by pressing anywhere in
/// it (the search field and the list included).
class ExpanderBrowserWindow final : public QWidget {
    Q_OBJECT
public:
    explicit ExpanderBrowserWindow(QWidget* parent = nullptr);

    static constexpr qreal cornerRadius = 7.0;

    /// Lets a drag that starts in the widget move the window.
    void makeMovableFrom(QWidget* widget);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPoint m_pressPosition;
    bool m_pressed = false;
};

/// Owns the browser window and its content. The application makes one on first demand and
/// keeps it; closing only hides the window, and the search text stays for the next showing.
class ExpanderBrowserWindowController final : public QObject {
    Q_OBJECT
public:
    explicit ExpanderBrowserWindowController(
        ExpanderBrowserViewController::ExpanderSource source = {}, QObject* parent = nullptr);
    ~ExpanderBrowserWindowController() override;

    ExpanderBrowserWindow* window() const noexcept { return m_window; }
    ExpanderBrowserViewController* contentViewController() const noexcept { return m_content; }

    /// Shows the browser when it is hidden, hides it when it is visible.
    void toggle();
    /// Shows the browser, in front and active, with the focus in its search field.
    void showWindow();
    void close();

private:
    QPointer<ExpanderBrowserWindow> m_window;
    ExpanderBrowserViewController* m_content = nullptr;
    bool m_placed = false;
};

} // namespace quillet
