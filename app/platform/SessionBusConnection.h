#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

struct DBusConnection;
struct DBusObjectPathVTable;

namespace quillet {

/// A connection of the application's own to the session bus, through libdbus, served from
/// the Qt event loop on the main thread.
///
/// The application owns its service name and answers on its object here rather than through
/// Qt's D-Bus layer, which decodes every incoming string with a UTF-8 decoder that drops a
/// leading U+FEFF: a text given to expand must reach the expansion byte for byte. Messages
/// wait in the connection until an object is registered, so a call that arrives while the
/// application starts is answered once it can be, never with "no such object".
///
/// The connection takes no file descriptors: a message that carries some is refused with an
/// error, and the messages waiting to be served hold few of them, so that no caller can make
/// the process run out of descriptors and lose the bus.
///
/// Reaching the bus (the socket, the greeting, the names) never holds the event loop: it
/// happens on a thread of its own, each attempt bounded, and its outcome comes back as a
/// signal. Until a bus answers, and again when the bus goes away (it was restarted), the
/// connection tries again every reconnectionIntervalMilliseconds, for reconnectionMilliseconds
/// at most: once a bus answers and the names are this
/// connection's, it says connected() the first time and reconnected() after a loss. When
/// another connection holds one of the names at the first attempt, it says nameTaken(); when
/// no bus answers in time, or another process took a name meanwhile, lost().
class SessionBusConnection final : public QObject {
    Q_OBJECT

public:
    /// How long a bus is waited for, at the start and after it went away.
    static constexpr int reconnectionMilliseconds = 10000;
    /// How often a missing bus is looked for meanwhile.
    static constexpr int reconnectionIntervalMilliseconds = 200;
    /// How long one attempt (the socket, the greeting and the names) may take.
    static constexpr int attemptMilliseconds = 5000;

    /// Starts reaching the bus and taking the well-known names, in order, without queueing
    /// for them; the outcome comes as a signal.
    explicit SessionBusConnection(std::vector<std::string> names = {});
    ~SessionBusConnection() override;
    SessionBusConnection(const SessionBusConnection&) = delete;
    SessionBusConnection& operator=(const SessionBusConnection&) = delete;

    /// Whether the connection is up and holds its names.
    bool isConnected() const { return m_connection != nullptr; }

    /// Serves the object at the path with the handler, now or once connected; false when
    /// the path is taken.
    bool registerObjectPath(const char* path, const DBusObjectPathVTable& handler, void* userData);
    void unregisterObjectPath(const char* path);

    DBusConnection* connection() const { return m_connection; }

    /// Dispatches the messages that wait, on a later turn of the event loop, once an object
    /// is served.
    void scheduleDispatch();

    /// Serves now, one after the other, the messages that have arrived (read without waiting
    /// for more), for `bound` at most: as the application ends, a caller's call that came in
    /// time is answered rather than dropped. The number of messages served.
    int dispatchArrived(std::chrono::milliseconds bound);

Q_SIGNALS:
    /// The first attempt that reached a bus: this connection holds its names.
    void connected();
    /// The first bus reached has another owner of one of the names (another instance runs).
    void nameTaken();
    /// No bus answered in time, or the bus went away and another process took one of the
    /// names meanwhile: this connection serves nothing any more.
    void lost();
    /// The bus went away and came back: this connection holds its names and serves its
    /// objects again.
    void reconnected();

private Q_SLOTS:
    /// The bus said goodbye: wait for it to come back.
    void busDisconnected();

public:
    /// What one attempt found; the connection, when there is one, closes with the last
    /// reference.
    struct Attempt;

private:
    struct Served {
        std::string path;
        const DBusObjectPathVTable* handler;
        void* userData;
    };

    /// Starts one attempt on a thread of its own.
    void startAttempt();
    void attemptEnded(const std::shared_ptr<Attempt>& attempt);
    /// Hands the connection that the attempt opened to the event loop.
    void adopt(DBusConnection* connection);
    /// Drops the connection, its watches and its timeouts.
    void disconnectFromBus();
    void dispatch();
    bool serve(const Served& served);

    DBusConnection* m_connection = nullptr;
    std::vector<std::string> m_names;
    std::vector<Served> m_served;
    /// Where the attempts' threads leave their outcome; they are never waited for.
    struct Mailbox;
    std::shared_ptr<Mailbox> m_mailbox;
    QTimer m_reconnection;
    /// Since when a bus is looked for; invalid while connected.
    QElapsedTimer m_lostFor;
    bool m_everConnected = false;
    /// Whether the log says already that no bus answers.
    bool m_toldNoBus = false;
    bool m_serving = false;
    bool m_dispatchScheduled = false;
    bool m_dispatching = false;
};

} // namespace quillet
