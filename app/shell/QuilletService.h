#pragma once

#include <QDBusConnection>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillet {

class AppDelegate;
class SessionBusConnection;

/// The application's D-Bus interface on the session bus: service and interface
/// "com.orvanta.Quillet", object "/com/orvanta/Quillet".
///
/// Expand and ExpandAsJSON expand a given text with the running application's library, as
/// the expand shortcut would but without touching any editor; OpenFiles imports bundle
/// files, and refuses at once, with an InvalidArgs error and importing none, a call with a
/// path longer than the system allows. Expand answers {"text": s, "cursor_position": i} and ExpandAsJSON the compact
/// JSON {"text":…,"cursorPosition":…}; both answer "no value" (an empty dictionary, the
/// empty text) and never a D-Bus error. Caret offsets count UTF-16 code units.
///
/// The same object answers the desktop's "org.freedesktop.Application" interface, through
/// which the application menu and a second start reach the running application: Activate
/// shows the editor window (with or without a tray, Quillet stays reachable), Open imports
/// the bundle files it is given.
///
/// It is served on the application's own libdbus connection, which reads the texts as they
/// were sent: a leading U+FEFF is part of the text expanded.
class QuilletService final {
public:
    static constexpr const char* serviceName = "com.orvanta.Quillet";
    static constexpr const char* objectPath = "/com/orvanta/Quillet";

    /// Expand's answer; the text in UTF-8 as the bus carries it.
    struct Expansion {
        std::string text;
        int32_t cursorPosition = 0;
        friend bool operator==(const Expansion&, const Expansion&) = default;
    };

    explicit QuilletService(AppDelegate& delegate);
    ~QuilletService();
    QuilletService(const QuilletService&) = delete;
    QuilletService& operator=(const QuilletService&) = delete;

    /// Serves the object and its "org.freedesktop.Application" interface on the connection;
    /// false when that fails.
    bool exportOn(SessionBusConnection& connection);

    // The methods, with the texts in UTF-8; an extension of another type than a string is
    // absent (std::nullopt).
    std::optional<Expansion> expand(std::string_view text, const std::optional<std::string>& extension);
    std::string expandAsJson(std::string_view text, const std::optional<std::string>& extension);
    /// Imports the files after answering; false, importing none, when a path is longer than
    /// the system allows.
    bool openFiles(const QStringList& paths);
    void activate();
    /// The local files among the addresses, as openFiles().
    bool open(const QStringList& uris);

    /// Whether the path is shorter than the system's limit for a path.
    static bool fitsAPath(const QString& path);

private:
    AppDelegate& m_delegate;
    SessionBusConnection* m_connection = nullptr;
};

/// Hands the files to the application that owns the service (OpenFiles); false when none
/// answers.
bool handFilesToRunningInstance(QDBusConnection connection, const QStringList& paths);
/// Asks the application that owns the service to show its editor window (Activate); false
/// when none answers.
bool activateRunningInstance(QDBusConnection connection);

} // namespace quillet
