#pragma once

#include "front/GlobalAction.h"

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
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
/// path longer than the system allows or with more paths than largestFileCount. Expand
/// answers {"text": s, "cursor_position": i} and ExpandAsJSON the compact JSON
/// {"text":…,"cursorPosition":…}; both answer "no value" (an empty dictionary, the empty
/// text) for whatever an editor can give them, and never a D-Bus error. Only a text far longer
/// than any editor's line (largestTextBytes) is refused at once, before it is read, with the
/// error textTooLongError: its expansion would hold every other caller for seconds. Caret
/// offsets count UTF-16 code units.
///
/// Served from the moment the library starts loading: while its load fails (the alert that
/// says why is showing) and afterwards, every call of either interface is answered at once
/// with the error libraryNotLoadedError, which names the failure, rather than waiting.
///
/// The same object answers the desktop's "org.freedesktop.Application" interface, through
/// which the application menu and a second start reach the running application: Activate
/// shows the editor window (with or without a tray, Quillet stays reachable), Open imports
/// the bundle files it is given, and ActivateAction runs one of the global shortcuts' actions
/// by its name (GlobalAction), after answering; an unknown name, or an action given a
/// parameter, is refused with InvalidArgs.
///
/// It is served on the application's own libdbus connection, which reads the texts as they
/// were sent: a leading U+FEFF is part of the text expanded.
class QuilletService final {
public:
    static constexpr const char* serviceName = "com.orvanta.Quillet";
    static constexpr const char* objectPath = "/com/orvanta/Quillet";

    /// The error of a call made while the library is not loaded.
    static constexpr const char* libraryNotLoadedError = "com.orvanta.Quillet.Error.LibraryNotLoaded";
    /// The error of an Expand or ExpandAsJSON whose text is longer than largestTextBytes.
    static constexpr const char* textTooLongError = "com.orvanta.Quillet.Error.TextTooLong";
    /// The longest text expanded, in UTF-8 bytes: four times a megabyte line of code, which
    /// expands in a fraction of a second.
    static constexpr std::size_t largestTextBytes = std::size_t(4) << 20;
    /// The most files one OpenFiles or Open imports.
    static constexpr std::size_t largestFileCount = 10000;

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
    /// Imports the files after answering, in the order the calls came; false, importing none,
    /// when a path is longer than the system allows.
    bool openFiles(const QStringList& paths);
    void activate();
    /// Runs the global action after answering.
    void activateAction(GlobalAction action);
    /// The local files among the addresses, as openFiles().
    bool open(const QStringList& uris);

    /// Whether the path is shorter than the system's limit for a path.
    static bool fitsAPath(const QString& path);

    /// Why calls cannot be served now (the library failed to load, or is loading while an alert
    /// shows); none when they can.
    std::optional<std::string> libraryProblem() const;
    /// What the user is being shown while the library loads (an alert's title and text); the
    /// refusal of a call made meanwhile names it.
    void setLoadingProblem(std::function<std::optional<std::string>()> problem)
    {
        m_loadingProblem = std::move(problem);
    }

    /// As the application ends: the calls that have arrived are answered (for a short while at
    /// most), and the files of every OpenFiles answered so far are imported before the library's
    /// last save, their failures written to the log rather than shown.
    void finish();

    /// The longest finish() spends answering the calls that have arrived.
    static constexpr std::chrono::milliseconds finishingCallsBound { 1000 };

private:
    void importAcceptedFiles();

    AppDelegate& m_delegate;
    SessionBusConnection* m_connection = nullptr;
    /// The context of the import waiting for the next turn of the event loop: it goes with
    /// this object.
    QObject m_context;
    std::function<std::optional<std::string>()> m_loadingProblem;
    /// The files of the OpenFiles calls answered and not imported yet, in order.
    QStringList m_acceptedFiles;
    bool m_importScheduled = false;
    bool m_finishing = false;
};

/// How long a second start waits for the running application's answer.
constexpr int handOverMilliseconds = 10000;

/// Hands the files to the application that owns the service (OpenFiles); false when none
/// answers.
bool handFilesToRunningInstance(QDBusConnection connection, const QStringList& paths);
/// Asks the application that owns the service to show its editor window (Activate); false
/// when none answers.
bool activateRunningInstance(QDBusConnection connection);
/// Asks the application that owns the service to run a global action (ActivateAction); false
/// when none answers or it refuses.
bool activateActionOfRunningInstance(QDBusConnection connection, const QString& name);

} // namespace quillet
