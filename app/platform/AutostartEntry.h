#pragma once

#include <QString>

#include <optional>

namespace quillet {

/// The XDG autostart entry that starts the application when the user logs in.
///
/// The entry is a desktop file in the user's autostart folder ($XDG_CONFIG_HOME/autostart)
/// whose Exec line runs the given program. Writing is atomic: a session that starts while
/// the entry changes finds the old entry or the new one, never half of one. Main thread only.
class AutostartEntry {
public:
    /// The name of the entry's file in the autostart folder.
    static constexpr const char* fileName = "com.orvanta.Quillet.desktop";

    /// An entry in the given folder for the given program (an absolute path).
    AutostartEntry(QString directory, QString program);
    /// The entry in the user's autostart folder for the running program.
    static AutostartEntry forRunningApplication();
    static QString userAutostartDirectory();

    QString filePath() const;
    /// True when our entry file exists.
    bool exists() const;

    /// Writes the entry (creating the folder) or removes it. Returns the reason when the
    /// file system refuses; the previous state is then kept.
    std::optional<QString> setEnabled(bool enabled) const;

    /// The desktop file's text for a program.
    static QString contents(const QString& program);
    /// The program as one argument of an Exec line: quoted and escaped as the desktop entry
    /// format requires when it holds a reserved character, with every "%" doubled.
    /// None for a program path that an Exec line cannot carry (one with a control character).
    static std::optional<QString> execArgument(const QString& program);

private:
    QString m_directory;
    QString m_program;
};

} // namespace quillet
