#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <optional>

namespace quillet {

class AppDelegate;

/// The application's D-Bus interface on the session bus: service and interface
/// "com.orvanta.Quillet", object "/com/orvanta/Quillet".
///
/// Expand and ExpandAsJSON expand a given text with the running application's library, as
/// the expand shortcut would but without touching any editor; OpenFiles imports bundle
/// files. Expand answers {"text": s, "cursor_position": i} and ExpandAsJSON the compact
/// JSON {"text":…,"cursorPosition":…}; both answer "no value" (an empty dictionary, the
/// empty text) and never a D-Bus error. Caret offsets count UTF-16 code units.
///
/// The same object answers the desktop's "org.freedesktop.Application" interface, through
/// which the application menu and a second start reach the running application: Activate
/// shows the editor window (with or without a tray, Quillet stays reachable), Open imports
/// the bundle files it is given.
class QuilletService final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.orvanta.Quillet")

public:
    static constexpr const char* serviceName = "com.orvanta.Quillet";
    static constexpr const char* objectPath = "/com/orvanta/Quillet";

    explicit QuilletService(AppDelegate& delegate, QObject* parent = nullptr);

    /// Exports the object and its "org.freedesktop.Application" interface on the
    /// connection; false when that fails.
    bool exportOn(QDBusConnection connection);

public Q_SLOTS:
    QVariantMap Expand(const QString& text, const QVariantMap& arguments);
    QString ExpandAsJSON(const QString& text, const QVariantMap& arguments);
    void OpenFiles(const QStringList& paths);

private:
    AppDelegate& m_delegate;
};

/// Hands the files to the application that owns the service (OpenFiles); false when none
/// answers.
bool handFilesToRunningInstance(QDBusConnection connection, const QStringList& paths);
/// Asks the application that owns the service to show its editor window (Activate); false
/// when none answers.
bool activateRunningInstance(QDBusConnection connection);

} // namespace quillet
