#pragma once

#include "front/UserDefaultsKey.h"
#include "platform/AutostartEntry.h"

#include <QObject>

namespace quillet {

class UserDefaults;

/// Keeps the autostart entry in step with "StartApplicationAutomatically": whoever sets the
/// key, the entry is written or removed. When the file system refuses, the key is put back
/// to what the entry really is, and failed() says why. Main thread only.
class StartAtLogin final : public QObject {
    Q_OBJECT
public:
    StartAtLogin(UserDefaults& defaults, AutostartEntry entry, QObject* parent = nullptr);

    /// At start-up: an entry that should exist is written again, so it names the program
    /// as it is installed now; one that should not is removed.
    void applyStoredValue();

    const AutostartEntry& entry() const noexcept { return m_entry; }

Q_SIGNALS:
    void failed(const QString& reason);

private:
    void userDefaultsDidChange(UserDefaultsKey key);
    void apply(bool enabled);

    UserDefaults& m_defaults;
    AutostartEntry m_entry;
    bool m_reverting = false;
};

} // namespace quillet
