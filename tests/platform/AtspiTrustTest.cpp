#include "platform/atspi/AtspiAccessibilityBackend.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <exception>

namespace quillet {
namespace {

bool setAssistiveTechnologies(bool enabled)
{
    QDBusMessage set
        = QDBusMessage::createMethodCall("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set");
    set << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled")
        << QVariant::fromValue(QDBusVariant(enabled));
    return QDBusConnection::sessionBus().call(set, QDBus::Block, 10000).type() == QDBusMessage::ReplyMessage;
}

/// A focus lookup where a press makes it, on the backend's own thread; what it threw.
std::exception_ptr lookUp(AtspiAccessibilityBackend& backend)
{
    std::exception_ptr thrown;
    bool done = false;
    backend.perform(
        [&] {
            try {
                backend.focusedElement();
            } catch (...) {
                thrown = std::current_exception();
            }
        },
        [&] { done = true; });
    const QDeadlineTimer deadline(10000);
    while (!done && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(done) << "the lookup never came back";
    return thrown;
}

// On the private session bus of the test, with the desktop's accessibility bus launcher.
TEST(AtspiTrustTest, AskingForTrustTurnsAssistiveTechnologiesOnAndGoesOn)
{
    if (!setAssistiveTechnologies(false))
        GTEST_SKIP() << "no accessibility bus launcher on this session bus";
    int toldUser = 0;
    AtspiAccessibilityBackend backend([&] { ++toldUser; }, 0);

    EXPECT_FALSE(backend.isTrusted(false));
    EXPECT_FALSE(backend.isTrusted(false)) << "asking without the prompt changes nothing";
    EXPECT_TRUE(backend.isTrusted(true)) << "once the bus answers, the press goes on instead of doing nothing";
    EXPECT_TRUE(backend.isTrusted(false));
    EXPECT_EQ(toldUser, 0);
    // Nothing has the focus on this bus. Right after turning access on, the user hears to
    // press again; a later lookup says no value.
    const auto first = lookUp(backend);
    ASSERT_TRUE(first) << "no element can have the focus here";
    EXPECT_THROW(std::rethrow_exception(first), AccessibilityJustEnabledError);
    // A machine busy with other tests may starve the registry past a call's bound: such a
    // lookup is made again.
    for (int lookups = 1;; ++lookups) {
        const auto later = lookUp(backend);
        ASSERT_TRUE(later) << "no element can have the focus here";
        try {
            std::rethrow_exception(later);
        } catch (const AXError& error) {
            EXPECT_EQ(error.description(), "NoValue");
        } catch (const EditorNotAnsweringError&) {
            if (lookups < 3)
                continue;
            ADD_FAILURE() << "the registry did not answer three lookups";
        } catch (...) {
            ADD_FAILURE() << "a later lookup does not say no value";
        }
        break;
    }

    // The answer is kept and follows the switch when another program turns it.
    for (const bool enabled : { false, true }) {
        ASSERT_TRUE(setAssistiveTechnologies(enabled));
        const QDeadlineTimer followed(10000);
        while (backend.isTrusted(false) != enabled && !followed.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        EXPECT_EQ(backend.isTrusted(false), enabled) << "the backend did not follow the switch";
    }
    setAssistiveTechnologies(false);
}

} // namespace
} // namespace quillet
