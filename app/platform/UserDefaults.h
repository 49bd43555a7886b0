#pragma once

#include "front/UserDefaultsKey.h"
#include "platform/Shortcut.h"
#include "text/Settings.h"

#include <QObject>
#include <QSettings>
#include <QTemporaryDir>
#include <QVariant>

#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace quillet {

/// The application's settings: a QSettings INI file (organization "orvanta", application
/// "Quillet") beneath defaults registered in memory. Registration never writes the file,
/// so a stored value always wins and the defaults are registered again at every start.
///
/// The keys with a value rule (settingvalues: the indentation, the sounds, the other
/// Booleans) are read from the file itself, at every read, by the reader the command line
/// uses, so both take the same value from the same file and a change another process writes
/// there counts at once; a value that is not valid for its key reads as the registered
/// default. A settings file that is not a regular file is never read (it could block);
/// settings then last one session.
///
/// Every change made through this object is announced by valueChanged(key). Also serves
/// as the core's Settings (indentation), so the expansion engine reads the same values.
/// Written on the main thread; read from any thread (documentation pages expand their
/// examples on a worker thread and read the indentation here).
class UserDefaults final : public QObject, public Settings {
    Q_OBJECT

public:
    /// Over the given store (tests pass a file of their own).
    explicit UserDefaults(std::unique_ptr<QSettings> storage, QObject* parent = nullptr);
    /// Over the user's settings file.
    static std::shared_ptr<UserDefaults> makeStandard();

    /// Registers defaults in memory, replacing earlier ones of the same keys.
    void registerDefaults(const std::map<UserDefaultsKey, QVariant>& defaults);
    /// Registers the application's defaults (the three shortcuts, the indentation, the
    /// sounds, "MainWindowVisibleOnStart" and "DidOpenIntro"; "StartApplicationAutomatically"
    /// has none), then writes pending changes; the result of the write.
    bool registerApplicationDefaults();
    /// Writes pending changes and picks up changes of other processes.
    bool sync();

    /// The stored value, else the registered one, else an invalid value.
    QVariant value(UserDefaultsKey key) const;
    /// False when neither exists (or the value does not read as a Boolean).
    bool boolForKey(UserDefaultsKey key) const;
    /// 0 when neither exists (or the value is not an integer).
    qint64 integerForKey(UserDefaultsKey key) const;
    /// The shortcut stored (or registered) under the key; none for anything that does not decode.
    std::optional<Shortcut> shortcut(UserDefaultsKey key) const;

    void setValue(UserDefaultsKey key, const QVariant& value);
    /// Stores the shortcut; none stores "no shortcut" (the registered default stays hidden).
    void setShortcut(UserDefaultsKey key, const std::optional<Shortcut>& shortcut);
    /// Removes the stored value: the registered default shows again.
    void remove(UserDefaultsKey key);

    QString fileName() const;

    // Settings
    std::optional<bool> boolValue(const std::string& key) const override;
    std::optional<long long> integerValue(const std::string& key) const override;
    void synchronize() override { sync(); }

Q_SIGNALS:
    /// A value was set or removed through this object.
    void valueChanged(quillet::UserDefaultsKey key);
    /// Defaults were registered: a key without a stored value may read differently now.
    void defaultsRegistered();

private:
    QVariant rawLookup(const QString& key) const;

    // One QSettings object may not be used from two threads at once.
    mutable std::mutex m_lock;
    std::unique_ptr<QSettings> m_storage;
    std::map<QString, QVariant> m_registered;
    // Holds the session's settings when the user's file cannot be used.
    std::unique_ptr<QTemporaryDir> m_sessionFolder;
};

} // namespace quillet
