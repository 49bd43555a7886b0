#pragma once

#include <QMenu>
#include <QPointer>
#include <QToolButton>

namespace quillet {

/// A button that, after its click has run its action, pops up a menu under itself when it
/// may (canShowMenu) and has one.
class MenuButton final : public QToolButton {
    Q_OBJECT
public:
    explicit MenuButton(QWidget* parent = nullptr);

    QMenu* popupMenu() const { return m_popupMenu; }
    void setPopupMenu(QMenu* menu) { m_popupMenu = menu; }
    bool canShowMenu() const noexcept { return m_canShowMenu; }
    void setCanShowMenu(bool canShowMenu) noexcept { m_canShowMenu = canShowMenu; }

Q_SIGNALS:
    /// The menu is about to pop up (tests and assistive tools follow it).
    void aboutToPopUpMenu(QMenu* menu);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    QPointer<QMenu> m_popupMenu;
    bool m_canShowMenu = true;
};

} // namespace quillet
