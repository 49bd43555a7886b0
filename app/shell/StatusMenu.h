#pragma once

#include <QMenu>

class QMenuBar;

namespace quillet {

/// The menu behind the panel icon: its items, titles and order. Each item's object name is
/// the name of the action it triggers ("showAbout", "goToSupport", …), so the application
/// and the tests can find it.
///
/// The items of the editor window and of the expander browser, and the editor's previous
/// and next view items, are hidden until the application says that those windows exist.
class StatusMenu final : public QMenu {
    Q_OBJECT
public:
    explicit StatusMenu(QWidget* parent = nullptr);

    /// The item that shows the editor window; its key equivalent mirrors the shortcut.
    QAction* expandersMenuItem() const noexcept { return m_expanders; }
    /// The item that shows or hides the expander browser; likewise.
    QAction* expanderBrowserMenuItem() const noexcept { return m_expanderBrowser; }
    QAction* previousViewMenuItem() const noexcept { return m_previousView; }
    QAction* nextViewMenuItem() const noexcept { return m_nextView; }

    /// The item that triggers the named action, or nullptr.
    QAction* item(const QString& actionName) const;

    void setEditorWindowAvailable(bool available);
    void setExpanderBrowserAvailable(bool available);

    /// Puts the same items into a window's menu bar, so that a desktop without a tray
    /// still reaches all of them from the editor window. The items are shared, not
    /// copied: their shortcuts, visibility and actions stay one. The item that shows the
    /// editor window is left out, as the bar belongs to that window. The application's menu
    /// goes before the menus the bar holds already, View and Help after them.
    void fillMenuBar(QMenuBar& bar) const;

private:
    QAction* addItem(QMenu* menu, const QString& title, const char* actionName);
    void updateWindowsSeparator();

    QAction* m_expanders = nullptr;
    QAction* m_expanderBrowser = nullptr;
    QAction* m_previousView = nullptr;
    QAction* m_nextView = nullptr;
    QAction* m_windowsSeparator = nullptr;
};

} // namespace quillet
