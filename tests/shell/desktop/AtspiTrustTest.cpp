#include "shell/AtspiAccessibility.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

#include <gtest/gtest.h>

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
    EXPECT_THROW(backend.focusedElement(), AccessibilityJustEnabledError);
    try {
        backend.focusedElement();
        FAIL() << "no element can have the focus here";
    } catch (const AXError& error) {
        EXPECT_EQ(error.description(), "NoValue");
    }
    setAssistiveTechnologies(false);
}

} // namespace
} // namespace quillet
