#pragma once

#include "front/UserDefaultsKey.h"
#include "platform/Shortcut.h"

#include <QKeySequence>
#include <QObject>
#include <QPointer>

#include <optional>

class QAction;

namespace quillet {

class UserDefaults;

/// Shows the two global shortcuts that open windows as the key equivalents of their menu
/// items, and keeps them current as the user records new ones.
///
/// A cleared shortcut clears its item's key equivalent, so the menu never advertises a
/// shortcut that does nothing. Main thread only.
class MenuController final : public QObject {
    Q_OBJECT
public:
    MenuController(UserDefaults& defaults, QAction* expandersMenuItem, QAction* expanderBrowserMenuItem,
        QObject* parent = nullptr);

    /// Starts following the two shortcut keys, and the registration of defaults, and
    /// mirrors both at once.
    void awakeFromNib();
    void mirrorShortcuts();

    /// The key sequence of a shortcut (Command as Ctrl, Option as Alt, Control as Meta);
    /// empty for none or for a key that has no Qt key.
    static QKeySequence keySequence(const std::optional<Shortcut>& shortcut);

private:
    void userDefaultsDidChange(UserDefaultsKey key);
    void mirror(UserDefaultsKey key, QAction* item);

    UserDefaults& m_defaults;
    QPointer<QAction> m_expandersMenuItem;
    QPointer<QAction> m_expanderBrowserMenuItem;
    bool m_observing = false;
};

} // namespace quillet
