#include "platform/AutostartEntry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace quillet {

AutostartEntry::AutostartEntry(QString directory, QString program)
    : m_directory(std::move(directory))
    , m_program(std::move(program))
{
}

AutostartEntry AutostartEntry::forRunningApplication()
{
    return AutostartEntry(userAutostartDirectory(), QCoreApplication::applicationFilePath());
}

QString AutostartEntry::userAutostartDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart");
}

QString AutostartEntry::filePath() const
{
    return m_directory + QLatin1Char('/') + QLatin1String(fileName);
}

bool AutostartEntry::exists() const
{
    return QFileInfo(filePath()).isFile();
}

std::optional<QString> AutostartEntry::execArgument(const QString& program)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = false;
    for (const QChar c : program) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return std::nullopt;
        if (reserved.contains(c))
            needsQuotes = true;
    }
    QString argument;
    for (const QChar c : program) {
        if (c == QLatin1Char('\\')) {
            // Escaped for the Exec line, and both backslashes once more for the string rules.
            argument += QStringLiteral("\\\\\\\\");
            continue;
        }
        // Inside quotes these three get a backslash, itself escaped for the string rules.
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$'))
            argument += QStringLiteral("\\\\");
        // A lone "%" would start a field code.
        if (c == QLatin1Char('%'))
            argument += QLatin1Char('%');
        argument += c;
    }
    if (needsQuotes)
        argument = QLatin1Char('"') + argument + QLatin1Char('"');
    return argument;
}

QString AutostartEntry::contents(const QString& program)
{
    const auto exec = execArgument(program);
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Quillet\n"
                          "Comment=Expands abbreviations into code in any editor\n"
                          "Exec=%1\n"
                          "Icon=com.orvanta.Quillet\n"
                          "Terminal=false\n"
                          "NoDisplay=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(exec.value_or(QString()));
}

std::optional<QString> AutostartEntry::setEnabled(bool enabled) const
{
    if (!enabled) {
        QFile file(filePath());
        if (file.exists() && !file.remove())
            return QCoreApplication::translate("AutostartEntry", "%1 could not be removed: %2")
                .arg(filePath(), file.errorString());
        return std::nullopt;
    }
    if (!execArgument(m_program))
        return QCoreApplication::translate("AutostartEntry", "The program's path cannot be started at login: %1")
            .arg(m_program);
    if (!QDir().mkpath(m_directory))
        return QCoreApplication::translate("AutostartEntry", "The folder %1 could not be created.").arg(m_directory);
    QSaveFile file(filePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return QCoreApplication::translate("AutostartEntry", "%1 could not be written: %2")
            .arg(filePath(), file.errorString());
    file.write(contents(m_program).toUtf8());
    if (!file.commit())
        return QCoreApplication::translate("AutostartEntry", "%1 could not be written: %2")
            .arg(filePath(), file.errorString());
    return std::nullopt;
}

} // namespace quillet
