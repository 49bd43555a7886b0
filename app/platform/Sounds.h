#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <map>
#include <memory>
#include <optional>

class QSoundEffect;

namespace quillet {

class Settings;

/// Plays a sound by name and returns at once.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void play(const QString& name) = 0;
};

/// Plays WAV sounds through Qt Multimedia: the application's own sounds first (the
/// resources, then share/quillet/sounds), then the desktop's sound theme. A missing sound
/// or a machine without an audio device is logged once, never an error.
class QtSoundPlayer final : public QObject, public SoundPlayer {
    Q_OBJECT

public:
    explicit QtSoundPlayer(QObject* parent = nullptr);
    void play(const QString& name) override;

    /// Where the sound of that name is found; none when nowhere.
    static std::optional<QUrl> soundURL(const QString& name);

private:
    std::map<QString, QSoundEffect*> m_effects;
};

/// The success and the error sound, each when its setting allows it.
class Sounds {
public:
    static constexpr const char* expandedSoundName = "expander-done";
    static constexpr const char* errorSoundName = "Funk";

    /// Reads the settings through Settings::shared() unless given.
    explicit Sounds(std::shared_ptr<SoundPlayer> player, Settings* settings = nullptr);

    /// The sounds installed with setShared(); silence when none is.
    static Sounds& shared();
    /// Installs the sounds that shared() gives (not owned; nullptr for none). Their owner
    /// keeps them for as long as its QApplication exists and uninstalls them before they go:
    /// nothing in static storage holds Qt Multimedia's objects, whose destruction at the
    /// process's end would follow Qt Multimedia's own.
    static void setShared(Sounds* sounds);

    /// "expander-done" when "EnableSounds" is true.
    void playExpandedSound();
    /// "Funk" when "EnableErrorSound" is true.
    void playErrorSound();

private:
    void play(const char* settingsKey, const char* name);

    std::shared_ptr<SoundPlayer> m_player;
    Settings* m_settings;
};

} // namespace quillet
