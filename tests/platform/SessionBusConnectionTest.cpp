#include "platform/SessionBusConnection.h"
#include "FakeBusServices.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingReply>

#include <dbus/dbus.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace quillet {
namespace {

// The bus of these tests starts this name's service as a stand-in that only waits (its
// service file in the tests' service folder), so that a call to the name waits in the bus
// until this process takes the name.
constexpr const char* startedName = "com.orvanta.QuilletStartedByACall";
constexpr const char* standInArgument = "17.25";

/// The stand-in's process, 0 while the bus has not started it.
pid_t standIn()
{
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream file(entry.path() / "cmdline", std::ios::binary);
        const std::string command { std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>() };
        if (command.find("sleep") != std::string::npos
            && command.find(std::string(1, '\0') + standInArgument) != std::string::npos)
            return pid_t(std::stoi(entry.path().filename().string()));
    }
    return 0;
}

/// Ends the stand-in, which would otherwise hold the bus's output open for its whole wait.
struct StandInEnder {
    ~StandInEnder()
    {
        if (const pid_t process = standIn())
            kill(process, SIGTERM);
    }
};

DBusHandlerResult answerPing(DBusConnection* connection, DBusMessage* call, void*)
{
    if (!dbus_message_is_method_call(call, "com.orvanta.Test", "Ping"))
        return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    DBusMessage* reply = dbus_message_new_method_return(call);
    const char* pong = "pong";
    dbus_message_append_args(reply, DBUS_TYPE_STRING, &pong, DBUS_TYPE_INVALID);
    dbus_connection_send(connection, reply, nullptr);
    dbus_message_unref(reply);
    return DBUS_HANDLER_RESULT_HANDLED;
}

// The call that had the bus start the application reaches the application's object once it
// is served, however soon after the name the bus hands the call over: never a refusal of a
// method that "doesn't exist".
TEST(SessionBusConnectionTest, TheCallThatStartedTheServiceReachesItsObject)
{
    const StandInEnder ender;
    QDBusConnection client = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "starter");
    ASSERT_TRUE(client.isConnected());
    QDBusPendingCall pending
        = client.asyncCall(QDBusMessage::createMethodCall(startedName, "/test", "com.orvanta.Test", "Ping"), 20000);
    ASSERT_TRUE(test::waitFor([] { return standIn() != 0; }, 10000)) << "the bus did not start the stand-in";

    SessionBusConnection bus({ startedName });
    bool named = false;
    QObject::connect(&bus, &SessionBusConnection::connected, [&named] { named = true; });
    ASSERT_TRUE(test::waitFor([&named] { return named; }, 10000));
    static const DBusObjectPathVTable handler = [] {
        DBusObjectPathVTable table {};
        table.message_function = answerPing;
        return table;
    }();
    ASSERT_TRUE(bus.registerObjectPath("/test", handler, nullptr));

    EXPECT_TRUE(test::waitFor([&pending] { return pending.isFinished(); }, 10000));
    const QDBusPendingReply<QString> reply(pending);
    EXPECT_FALSE(reply.isError()) << reply.error().name().toStdString() << ": "
                                  << reply.error().message().toStdString();
    EXPECT_EQ(reply.argumentAt<0>(), QStringLiteral("pong"));
}

} // namespace
} // namespace quillet
