#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

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
/// When the bus goes away (it was restarted), the connection tries again for a while: once a
/// bus answers, it takes its names again and serves its objects as before. When it cannot,
/// because no bus came back in time or another process took one of its names meanwhile, it
/// says so with lost(); when it can, with reconnected().
class SessionBusConnection final : public QObject {
    Q_OBJECT

public:
    /// How long a lost bus is waited for.
    static constexpr int reconnectionMilliseconds = 10000;

    /// Connects; isConnected() tells whether that worked.
    SessionBusConnection();
    ~SessionBusConnection() override;
    SessionBusConnection(const SessionBusConnection&) = delete;
    SessionBusConnection& operator=(const SessionBusConnection&) = delete;

    bool isConnected() const { return m_connection != nullptr; }

    /// Takes the well-known name unless another connection holds it (no queueing for it):
    /// true when this connection is now its owner.
    bool requestName(const char* name);

    /// Serves the object at the path with the handler; false when the path is taken or the
    /// connection is not there.
    bool registerObjectPath(const char* path, const DBusObjectPathVTable& handler, void* userData);
    void unregisterObjectPath(const char* path);

    DBusConnection* connection() const { return m_connection; }

    /// Dispatches the messages that wait, on a later turn of the event loop, once an object
    /// is served.
    void scheduleDispatch();

Q_SIGNALS:
    /// The bus went away and this connection could not take its place again.
    void lost();
    /// The bus went away and came back: this connection holds its names and serves its
    /// objects again.
    void reconnected();

private Q_SLOTS:
    /// The bus said goodbye: wait for it to come back.
    void busDisconnected();

private:
    struct Served {
        std::string path;
        const DBusObjectPathVTable* handler;
        void* userData;
    };

    /// Opens the connection and hands it to the event loop; false without a bus.
    bool connectToBus();
    /// Drops the connection, its watches and its timeouts.
    void disconnectFromBus();
    void dispatch();
    /// One attempt to reach the bus again and take back the names and objects.
    void reconnect();
    bool takeName(const std::string& name);
    bool serve(const Served& served);

    DBusConnection* m_connection = nullptr;
    std::vector<std::string> m_names;
    std::vector<Served> m_served;
    QTimer m_reconnection;
    QElapsedTimer m_lostFor;
    bool m_serving = false;
    bool m_dispatchScheduled = false;
    bool m_dispatching = false;
};

} // namespace quillet
