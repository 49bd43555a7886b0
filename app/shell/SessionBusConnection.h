#pragma once

#include <QObject>

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
class SessionBusConnection final : public QObject {
    Q_OBJECT

public:
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

private:
    void dispatch();

    DBusConnection* m_connection = nullptr;
    bool m_serving = false;
    bool m_dispatchScheduled = false;
    bool m_dispatching = false;
};

} // namespace quillet
