#include "platform/GlobalShortcutBinder.h"

#include "platform/ShortcutsLog.h"
#include "platform/UserDefaults.h"

namespace quillet {

Q_LOGGING_CATEGORY(shortcutsLog, "quillet.shortcuts")

GlobalShortcutBinder::GlobalShortcutBinder(UserDefaults& defaults, std::unique_ptr<KeyGrabber> grabber, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_grabber(std::move(grabber))
{
    // Without an X11 display the desktop binds the shortcuts (its portal, its settings), and
    // the application tells the user how.
    if (!m_grabber->isAvailable())
        qCInfo(shortcutsLog) << "No X11 display: no keys are grabbed";
    m_grabber->setPressHandler(
        [this](const Shortcut& shortcut, KeyboardHold hold) { dispatch(shortcut, std::move(hold)); });
    m_grabber->setLostHandler([this](const Shortcut& shortcut) { lost(shortcut); });
    connect(&m_defaults, &UserDefaults::valueChanged, this, [this](UserDefaultsKey key) {
        if (m_bindings.count(key))
            rebind(key);
    });
}

GlobalShortcutBinder::~GlobalShortcutBinder()
{
    for (auto& [key, binding] : m_bindings)
        if (binding.grabbed)
            m_grabber->ungrab(*binding.grabbed);
}

void GlobalShortcutBinder::bindShortcut(UserDefaultsKey key, std::function<void()> action)
{
    m_bindings[key].action = [action = std::move(action)](KeyboardHold hold) {
        hold.release();
        action();
    };
    m_bindings[key].holdsKeys = false;
    rebind(key);
}

void GlobalShortcutBinder::bindShortcutHoldingKeys(UserDefaultsKey key, std::function<void(KeyboardHold)> action)
{
    m_bindings[key].action = std::move(action);
    m_bindings[key].holdsKeys = true;
    rebind(key);
}

void GlobalShortcutBinder::rebind(UserDefaultsKey key)
{
    Binding& binding = m_bindings[key];
    const auto wanted = m_defaults.shortcut(key);
    if (binding.grabbed == wanted)
        return;
    if (binding.grabbed)
        m_grabber->ungrab(*binding.grabbed);
    binding.grabbed.reset();
    if (!wanted || !m_grabber->isAvailable() || m_suspensions > 0)
        return;
    if (m_grabber->grab(*wanted, binding.holdsKeys)) {
        binding.grabbed = wanted;
        // Should it be lost again, that is told again.
        if (binding.reportedUnavailable == wanted)
            binding.reportedUnavailable.reset();
    } else {
        announceUnavailable(key, binding, *wanted);
    }
}

void GlobalShortcutBinder::announceUnavailable(UserDefaultsKey key, Binding& binding, const Shortcut& shortcut)
{
    if (binding.reportedUnavailable == shortcut)
        return;
    binding.reportedUnavailable = shortcut;
    Q_EMIT shortcutUnavailable(key, shortcut);
}

void GlobalShortcutBinder::lost(const Shortcut& shortcut)
{
    for (auto& [key, binding] : m_bindings) {
        if (binding.grabbed != shortcut)
            continue;
        // As one that another program held when it was bound: not taken, told, tried again.
        binding.grabbed.reset();
        announceUnavailable(key, binding, shortcut);
    }
}

void GlobalShortcutBinder::retryUnavailableShortcuts()
{
    for (auto& [key, binding] : m_bindings)
        if (!binding.grabbed)
            rebind(key);
}

void GlobalShortcutBinder::suspendGrabs()
{
    if (m_suspensions++ > 0)
        return;
    for (auto& [key, binding] : m_bindings) {
        if (binding.grabbed)
            m_grabber->ungrab(*binding.grabbed);
        binding.grabbed.reset();
    }
}

void GlobalShortcutBinder::resumeGrabs()
{
    if (m_suspensions == 0 || --m_suspensions > 0)
        return;
    for (auto& [key, binding] : m_bindings)
        rebind(key);
}

std::optional<Shortcut> GlobalShortcutBinder::boundShortcut(UserDefaultsKey key) const
{
    const auto found = m_bindings.find(key);
    return found == m_bindings.end() ? std::nullopt : found->second.grabbed;
}

bool GlobalShortcutBinder::dispatch(const Shortcut& shortcut, KeyboardHold hold)
{
    for (auto& [key, binding] : m_bindings) {
        if (binding.grabbed == shortcut && binding.action) {
            // The action may change the bindings; run a copy.
            auto action = binding.action;
            action(std::move(hold));
            return true;
        }
    }
    return false;
}

} // namespace quillet
