#include "platform/UserDefaults.h"

#include "text/SettingValues.h"

#include <QLoggingCategory>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <map>
#include <string>
#include <variant>

namespace quillet {
namespace {

QString keyString(UserDefaultsKey key)
{
    return QString::fromStdString(rawValue(key));
}

std::optional<bool> toBool(const QVariant& value)
{
    if (!value.isValid())
        return std::nullopt;
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    // The INI file gives text back; accept what the settings writer writes.
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    bool isNumber = false;
    const qlonglong number = value.toLongLong(&isNumber);
    if (isNumber)
        return number != 0;
    return std::nullopt;
}

std::optional<long long> toInteger(const QVariant& value)
{
    if (!value.isValid())
        return std::nullopt;
    bool ok = false;
    const qlonglong number = value.toString().trimmed().toLongLong(&ok);
    if (ok)
        return number;
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? 1 : 0;
    return std::nullopt;
}

/// A plain value as the settings store holds it: a Boolean or a 64-bit integer.
QVariant asVariant(const settingvalues::Value& value)
{
    return std::visit([](auto plain) { return QVariant::fromValue(plain); }, value);
}

Q_LOGGING_CATEGORY(defaultsLog, "quillet.settings")

} // namespace

UserDefaults::UserDefaults(std::unique_ptr<QSettings> storage, QObject* parent)
    : QObject(parent)
    , m_storage(std::move(storage))
{
}

std::shared_ptr<UserDefaults> UserDefaults::makeStandard()
{
    // The user-scope INI file of organization "orvanta", application "Quillet". Named here
    // rather than by QSettings, which reads the file as it is made: checked first, since a
    // pipe or a device in the file's place would block the application for good.
    const QString file = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/orvanta/Quillet.ini");
    if (settingvalues::isUsableSettingsPath(file.toStdString()))
        return std::make_shared<UserDefaults>(std::make_unique<QSettings>(file, QSettings::IniFormat));
    qCWarning(defaultsLog).noquote() << "The settings file" << file
                                     << "is not a regular file; settings are kept for this session only";
    auto sessionFolder = std::make_unique<QTemporaryDir>();
    auto defaults = std::make_shared<UserDefaults>(
        std::make_unique<QSettings>(sessionFolder->filePath(QStringLiteral("Quillet.ini")), QSettings::IniFormat));
    defaults->m_sessionFolder = std::move(sessionFolder);
    return defaults;
}

void UserDefaults::registerDefaults(const std::map<UserDefaultsKey, QVariant>& defaults)
{
    {
        const std::lock_guard lock(m_lock);
        for (const auto& [key, value] : defaults)
            m_registered[keyString(key)] = value;
    }
    // Outside the lock: the listeners read the values back.
    Q_EMIT defaultsRegistered();
}

bool UserDefaults::registerApplicationDefaults()
{
    std::map<UserDefaultsKey, QVariant> defaults {
        { UserDefaultsKey::ExpandTextShortcut, defaultshortcuts::expandText.encoded() },
        { UserDefaultsKey::ShowExpandersShortcut, defaultshortcuts::showExpanders.encoded() },
        { UserDefaultsKey::ShowExpanderBrowserShortcut, defaultshortcuts::showExpanderBrowser.encoded() },
    };
    for (const auto& [key, value] : plainDefaults())
        defaults.emplace(key, asVariant(value));
    registerDefaults(defaults);
    return sync();
}

QString UserDefaults::fileName() const
{
    const std::lock_guard lock(m_lock);
    return m_storage->fileName();
}

bool UserDefaults::sync()
{
    const std::lock_guard lock(m_lock);
    // Another program may have put something else in the file's place since.
    if (!settingvalues::isUsableSettingsPath(m_storage->fileName().toStdString()))
        return false;
    m_storage->sync();
    return m_storage->status() == QSettings::NoError;
}

QVariant UserDefaults::rawLookup(const QString& key) const
{
    const std::lock_guard lock(m_lock);
    const std::string name = key.toStdString();
    QVariant stored;
    if (settingvalues::hasRule(name)) {
        // Read from the file by the command line's own reader, so that both take the same
        // value from every text a hand or another program may leave there. Every change made
        // here is written at once, so the file holds it too.
        const auto content = settingvalues::readSettingsFile(m_storage->fileName().toStdString());
        const auto values
            = content ? settingvalues::storedValues(*content) : std::map<std::string, settingvalues::Value>();
        if (const auto found = values.find(name); found != values.end())
            stored = asVariant(found->second);
    } else {
        stored = m_storage->value(key);
    }
    if (stored.isValid())
        return stored;
    const auto registered = m_registered.find(key);
    return registered == m_registered.end() ? QVariant() : registered->second;
}

QVariant UserDefaults::value(UserDefaultsKey key) const
{
    return rawLookup(keyString(key));
}

bool UserDefaults::boolForKey(UserDefaultsKey key) const
{
    return toBool(value(key)).value_or(false);
}

qint64 UserDefaults::integerForKey(UserDefaultsKey key) const
{
    return toInteger(value(key)).value_or(0);
}

std::optional<Shortcut> UserDefaults::shortcut(UserDefaultsKey key) const
{
    const QVariant stored = value(key);
    if (!stored.isValid() || (stored.typeId() != QMetaType::QString && stored.typeId() != QMetaType::QByteArray))
        return std::nullopt;
    return Shortcut::decode(stored.toString());
}

void UserDefaults::setValue(UserDefaultsKey key, const QVariant& value)
{
    {
        const std::lock_guard lock(m_lock);
        m_storage->setValue(keyString(key), value);
        m_storage->sync();
    }
    Q_EMIT valueChanged(key);
}

void UserDefaults::setShortcut(UserDefaultsKey key, const std::optional<Shortcut>& shortcut)
{
    // A cleared shortcut is stored as a value that decodes to none, so that the registered
    // default does not come back in its place.
    setValue(key, shortcut ? shortcut->encoded() : QString(QLatin1String("")));
}

void UserDefaults::remove(UserDefaultsKey key)
{
    {
        const std::lock_guard lock(m_lock);
        m_storage->remove(keyString(key));
        m_storage->sync();
    }
    Q_EMIT valueChanged(key);
}

std::optional<bool> UserDefaults::boolValue(const std::string& key) const
{
    return toBool(rawLookup(QString::fromStdString(key)));
}

std::optional<long long> UserDefaults::integerValue(const std::string& key) const
{
    return toInteger(rawLookup(QString::fromStdString(key)));
}

} // namespace quillet
