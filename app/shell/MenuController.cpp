#include "shell/MenuController.h"

#include "platform/UserDefaults.h"

#include <QAction>

namespace quillet {

MenuController::MenuController(
    UserDefaults& defaults, QAction* expandersMenuItem, QAction* expanderBrowserMenuItem, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_expandersMenuItem(expandersMenuItem)
    , m_expanderBrowserMenuItem(expanderBrowserMenuItem)
{
}

void MenuController::awakeFromNib()
{
    if (!m_observing) {
        connect(&m_defaults, &UserDefaults::valueChanged, this, &MenuController::userDefaultsDidChange);
        // The defaults are registered after the menu is made: without this, a first launch
        // would show no shortcuts until the user records one.
        connect(&m_defaults, &UserDefaults::defaultsRegistered, this, &MenuController::mirrorShortcuts);
        m_observing = true;
    }
    mirrorShortcuts();
}

void MenuController::mirrorShortcuts()
{
    mirror(UserDefaultsKey::ShowExpandersShortcut, m_expandersMenuItem);
    mirror(UserDefaultsKey::ShowExpanderBrowserShortcut, m_expanderBrowserMenuItem);
}

void MenuController::userDefaultsDidChange(UserDefaultsKey key)
{
    if (key == UserDefaultsKey::ShowExpandersShortcut)
        mirror(key, m_expandersMenuItem);
    else if (key == UserDefaultsKey::ShowExpanderBrowserShortcut)
        mirror(key, m_expanderBrowserMenuItem);
}

void MenuController::mirror(UserDefaultsKey key, QAction* item)
{
    if (!item)
        return;
    // The global binder owns the keys; the item only shows them, so a press with the menu
    // open must not run the action a second time.
    item->setShortcutContext(Qt::WidgetShortcut);
    const auto shortcut = m_defaults.shortcut(key);
    item->setShortcut(keySequence(shortcut));
    // A menu writes the key sequence's own name for the Super key ("Meta"); the text after
    // a tab takes its place, so the menu names the keys as the preferences and the
    // introduction do.
    QString title = item->text().section(QLatin1Char('\t'), 0, 0);
    if (!item->shortcut().isEmpty())
        title += QLatin1Char('\t') + shortcut->displayText();
    item->setText(title);
}

QKeySequence MenuController::keySequence(const std::optional<Shortcut>& shortcut)
{
    if (!shortcut || shortcut->qtKey() == 0)
        return {};
    int modifiers = 0;
    if (shortcut->modifierFlags & Shortcut::commandKeyMask)
        modifiers |= Qt::ControlModifier;
    if (shortcut->modifierFlags & Shortcut::optionKeyMask)
        modifiers |= Qt::AltModifier;
    if (shortcut->modifierFlags & Shortcut::controlKeyMask)
        modifiers |= Qt::MetaModifier;
    if (shortcut->modifierFlags & Shortcut::shiftKeyMask)
        modifiers |= Qt::ShiftModifier;
    return QKeySequence(QKeyCombination::fromCombined(shortcut->qtKey() | modifiers));
}

} // namespace quillet
