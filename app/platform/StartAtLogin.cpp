#include "platform/StartAtLogin.h"

#include "platform/UserDefaults.h"

namespace quillet {

StartAtLogin::StartAtLogin(UserDefaults& defaults, AutostartEntry entry, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_entry(std::move(entry))
{
    connect(&m_defaults, &UserDefaults::valueChanged, this, &StartAtLogin::userDefaultsDidChange);
}

void StartAtLogin::applyStoredValue()
{
    apply(m_defaults.boolForKey(UserDefaultsKey::StartApplicationAutomatically));
}

void StartAtLogin::userDefaultsDidChange(UserDefaultsKey key)
{
    if (key == UserDefaultsKey::StartApplicationAutomatically && !m_reverting)
        apply(m_defaults.boolForKey(key));
}

void StartAtLogin::apply(bool enabled)
{
    const auto error = m_entry.setEnabled(enabled);
    if (!error)
        return;
    m_reverting = true;
    m_defaults.setValue(UserDefaultsKey::StartApplicationAutomatically, m_entry.exists());
    m_reverting = false;
    Q_EMIT failed(*error);
}

} // namespace quillet
