#include "platform/Sounds.h"

#include "front/UserDefaultsKey.h"
#include "platform/DesktopResources.h"
#include "text/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QSoundEffect>
#include <QStandardPaths>

namespace quillet {
namespace {

Q_LOGGING_CATEGORY(soundsLog, "quillet.sounds")

Sounds* installedSounds = nullptr;

} // namespace

QtSoundPlayer::QtSoundPlayer(QObject* parent)
    : QObject(parent)
{
}

std::optional<QUrl> QtSoundPlayer::soundURL(const QString& name)
{
    ensureDesktopResources();
    const QString fileName = name + QStringLiteral(".wav");
    const QString resource = QStringLiteral(":/quillet/sounds/") + fileName;
    if (QFile::exists(resource))
        return QUrl(QStringLiteral("qrc") + resource);
    QStringList folders { QCoreApplication::applicationDirPath() + QStringLiteral("/../share/quillet/sounds") };
    for (const QString& data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        folders << data + QStringLiteral("/quillet/sounds");
        folders << data + QStringLiteral("/sounds/freedesktop/stereo");
    }
    for (const QString& folder : folders) {
        const QString path = QDir(folder).filePath(fileName);
        if (QFile::exists(path))
            return QUrl::fromLocalFile(path);
    }
    return std::nullopt;
}

void QtSoundPlayer::play(const QString& name)
{
    auto found = m_effects.find(name);
    if (found == m_effects.end()) {
        QSoundEffect* effect = nullptr;
        if (const auto url = soundURL(name)) {
            effect = new QSoundEffect(this);
            effect->setSource(*url);
        } else {
            qCWarning(soundsLog) << "No sound named" << name;
        }
        found = m_effects.emplace(name, effect).first;
    }
    if (QSoundEffect* effect = found->second) {
        // Without an audio device the effect fails quietly; that is no error.
        effect->stop();
        effect->play();
    }
}

Sounds::Sounds(std::shared_ptr<SoundPlayer> player, Settings* settings)
    : m_player(std::move(player))
    , m_settings(settings)
{
}

namespace {

class SilentPlayer final : public SoundPlayer {
public:
    void play(const QString&) override { }
};

} // namespace

Sounds& Sounds::shared()
{
    if (installedSounds)
        return *installedSounds;
    // Holds no Qt object, so it may be destroyed whenever the process ends.
    static Sounds silence(std::make_shared<SilentPlayer>());
    return silence;
}

void Sounds::setShared(Sounds* sounds)
{
    installedSounds = sounds;
}

void Sounds::playExpandedSound()
{
    play(rawValue(UserDefaultsKey::EnableSounds).c_str(), expandedSoundName);
}

void Sounds::playErrorSound()
{
    play(rawValue(UserDefaultsKey::EnableErrorSound).c_str(), errorSoundName);
}

void Sounds::play(const char* settingsKey, const char* name)
{
    Settings& settings = m_settings ? *m_settings : Settings::shared();
    if (!settings.boolForKey(settingsKey))
        return;
    m_player->play(QString::fromLatin1(name));
}

} // namespace quillet
