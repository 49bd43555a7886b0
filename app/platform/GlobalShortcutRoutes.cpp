#include "platform/GlobalShortcutRoutes.h"

#include "platform/GlobalShortcutBinder.h"
#include "platform/GlobalShortcutsPortal.h"
#include "platform/UserDefaults.h"

#include "front/GlobalAction.h"

namespace quillet {

QString shortcutActionName(UserDefaultsKey key)
{
    for (const GlobalAction action : allGlobalActions) {
        if (shortcutKey(action) == key) {
            const std::string_view name = globalActionName(action);
            return QString::fromLatin1(name.data(), qsizetype(name.size()));
        }
    }
    return {};
}

QStringList globalActionCommands(const QString& action)
{
    return { QStringLiteral("quillet action %1").arg(action),
        QStringLiteral("gapplication action com.orvanta.Quillet %1").arg(action) };
}

ShortcutGuidance introductionGuidance(const ShortcutReach& reach)
{
    const QString tryIt = QObject::tr("In any editor, type an abbreviation and press %1: the abbreviation becomes "
                                      "code. Press %1 now to go on.");
    switch (reach.route) {
    case ShortcutReach::Route::KeyGrab:
        if (reach.storedKeys.isEmpty())
            return { QObject::tr("No expand shortcut is set. Record one in the preferences, then press it to go on, "
                                 "or click Next."),
                {}, {} };
        if (!reach.grabbed)
            return { QObject::tr("Another program holds %1, so it never reaches Quillet. Choose other keys in the "
                                 "preferences, under Shortcuts, then press them to go on, or click Next.")
                         .arg(reach.storedKeys),
                {}, {} };
        return { tryIt.arg(reach.storedKeys), reach.storedKeys, {} };
    case ShortcutReach::Route::Portal:
        if (reach.assignedKeys.isEmpty())
            return { QObject::tr("Your desktop took Quillet's expand shortcut but gave it no keys yet. Give it keys "
                                 "in the desktop's keyboard settings, then press them to go on, or click Next."),
                {}, globalActionCommands(shortcutActionName(UserDefaultsKey::ExpandTextShortcut)) };
        return { QObject::tr("Your desktop gave Quillet this shortcut.") + QLatin1Char(' ')
                + tryIt.arg(reach.assignedKeys),
            reach.assignedKeys, {} };
    case ShortcutReach::Route::DesktopSettings:
        break;
    }
    const QString keys = reach.storedKeys.isEmpty() ? QObject::tr("a shortcut")
                                                    : QObject::tr("a shortcut (%1, say)").arg(reach.storedKeys);
    return { QObject::tr("This desktop lets no program take keys for itself. In its keyboard settings, add %1 that "
                         "runs one of these commands: in any editor, it then expands the abbreviation before the "
                         "caret. Press it now to go on, or click Next.")
                 .arg(keys),
        {}, globalActionCommands(shortcutActionName(UserDefaultsKey::ExpandTextShortcut)) };
}

ShortcutGuidance preferencesGuidance(UserDefaultsKey key, const ShortcutReach& reach)
{
    switch (reach.route) {
    case ShortcutReach::Route::KeyGrab:
        if (!reach.grabbed && !reach.storedKeys.isEmpty())
            return { QObject::tr("Another program holds these keys: they do not reach Quillet."), {}, {} };
        return { {}, reach.storedKeys, {} };
    case ShortcutReach::Route::Portal:
        if (reach.assignedKeys.isEmpty())
            return { QObject::tr("Your desktop gave it no keys: give it some in the desktop's keyboard settings."), {},
                {} };
        return { QObject::tr("Your desktop runs it with %1.").arg(reach.assignedKeys), reach.assignedKeys, {} };
    case ShortcutReach::Route::DesktopSettings:
        break;
    }
    return { {}, {}, globalActionCommands(shortcutActionName(key)) };
}

QString preferencesNote(ShortcutReach::Route route)
{
    switch (route) {
    case ShortcutReach::Route::KeyGrab:
        return {};
    case ShortcutReach::Route::Portal:
        return QObject::tr("Your desktop binds these shortcuts: recording other keys asks it again, and it may keep "
                           "its own.");
    case ShortcutReach::Route::DesktopSettings:
        break;
    }
    return QObject::tr("This desktop takes no keys for Quillet, so the keys above are not heard. In its keyboard "
                       "settings, bind them to the command under each shortcut.");
}

GlobalShortcutRoutes::GlobalShortcutRoutes(UserDefaults& defaults, const GlobalShortcutBinder* binder,
    GlobalShortcutsPortal* portal, bool keyGrabsReachEveryWindow, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_binder(binder)
    , m_portal(portal)
    , m_keyGrabs(keyGrabsReachEveryWindow && binder)
{
    // The binder took or let go of the keys before this hears of the change.
    connect(&m_defaults, &UserDefaults::valueChanged, this, [this](UserDefaultsKey key) {
        if (!shortcutActionName(key).isEmpty())
            Q_EMIT changed();
    });
    connect(&m_defaults, &UserDefaults::defaultsRegistered, this, &GlobalShortcutRoutes::changed);
    if (m_binder)
        connect(m_binder, &GlobalShortcutBinder::shortcutUnavailable, this, &GlobalShortcutRoutes::changed);
    if (m_portal)
        connect(m_portal, &GlobalShortcutsPortal::changed, this, &GlobalShortcutRoutes::changed);
}

ShortcutReach GlobalShortcutRoutes::reach(UserDefaultsKey key) const
{
    ShortcutReach reach;
    if (const auto stored = m_defaults.shortcut(key))
        reach.storedKeys = stored->displayText();
    if (m_keyGrabs) {
        reach.route = ShortcutReach::Route::KeyGrab;
        reach.grabbed = m_binder->boundShortcut(key).has_value();
    } else if (m_portal && m_portal->isBound(key)) {
        reach.route = ShortcutReach::Route::Portal;
        reach.assignedKeys = m_portal->assignedTrigger(key);
    } else {
        reach.route = ShortcutReach::Route::DesktopSettings;
    }
    return reach;
}

bool GlobalShortcutRoutes::hasKeyRoute() const
{
    return m_keyGrabs || (m_portal && m_portal->status() == GlobalShortcutsPortal::Status::Bound);
}

} // namespace quillet
