#include "FakeBusServices.h"
#include "front/FakeAccessibility.h"

#include "library/Alert.h"
#include "library/App.h"
#include "library/UserAlerts.h"
#include "library/UserNotifications.h"
#include "library/Websites.h"
#include "platform/SessionBusConnection.h"
#include "platform/Sounds.h"
#include "platform/UserDefaults.h"
#include "shell/AppDelegate.h"
#include "shell/QuilletService.h"
#include "support/TestSupport.h"
#include "text/UserErrorDescriptionType.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QSettings>
#include <QTest>
#include <QThread>
#include <QUrl>

#include <nlohmann/json.hpp>

#include <dbus/dbus.h>

#include <gtest/gtest.h>

namespace quillet {

void PrintTo(const QuilletService::Expansion& expansion, std::ostream* out)
{
    *out << testing::PrintToString(expansion.text) << " caret " << expansion.cursorPosition;
}

namespace {

using test::waitFor;

class RecordingNotifications final : public UserNotifications, public UserAlerts {
public:
    void deliverNotification(const UserErrorDescriptionType& error) override
    {
        delivered.push_back({ toUtf8(error.userErrorTitle()), toUtf8(error.userErrorDescription()) });
    }
    void scheduleBundleImportedNotification(const Bundle&) override { delivered.push_back({ "Imported", "" }); }
    void runModal(const Alert& alert) override { alerts.push_back(toUtf8(alert.messageText)); }
    std::vector<std::pair<std::string, std::string>> delivered;
    std::vector<std::string> alerts;
};

class RecordingPlayer final : public SoundPlayer {
public:
    void play(const QString& name) override { played << name; }
    QStringList played;
};

/// Expand's and ExpandAsJSON's answers to one text, read with libdbus, which leaves the
/// strings as they were sent (Qt's decoder drops a leading U+FEFF).
struct RawAnswers {
    std::optional<QuilletService::Expansion> expansion;
    std::string json;
};

RawAnswers callWithRawStrings(const std::string& text, const std::string& extension)
{
    DBusConnection* connection = dbus_bus_get_private(DBUS_BUS_SESSION, nullptr);
    if (!connection)
        return {};
    const auto call = [&](const char* method) {
        DBusMessage* message = dbus_message_new_method_call(
            QuilletService::serviceName, QuilletService::objectPath, QuilletService::serviceName, method);
        DBusMessageIter arguments, dictionary, entry, variant;
        const char* textValue = text.c_str();
        const char* key = "extension";
        const char* extensionValue = extension.c_str();
        dbus_message_iter_init_append(message, &arguments);
        dbus_message_iter_append_basic(&arguments, DBUS_TYPE_STRING, &textValue);
        dbus_message_iter_open_container(&arguments, DBUS_TYPE_ARRAY, "{sv}", &dictionary);
        dbus_message_iter_open_container(&dictionary, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
        dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key);
        dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, "s", &variant);
        dbus_message_iter_append_basic(&variant, DBUS_TYPE_STRING, &extensionValue);
        dbus_message_iter_close_container(&entry, &variant);
        dbus_message_iter_close_container(&dictionary, &entry);
        dbus_message_iter_close_container(&arguments, &dictionary);
        DBusMessage* reply = dbus_connection_send_with_reply_and_block(connection, message, 5000, nullptr);
        dbus_message_unref(message);
        return reply;
    };
    const auto basicString = [](DBusMessageIter& iterator) {
        const char* value = nullptr;
        dbus_message_iter_get_basic(&iterator, &value);
        return std::string(value);
    };
    RawAnswers answers;
    if (DBusMessage* reply = call("Expand")) {
        DBusMessageIter arguments, entries;
        if (dbus_message_iter_init(reply, &arguments) && dbus_message_has_signature(reply, "a{sv}")) {
            dbus_message_iter_recurse(&arguments, &entries);
            QuilletService::Expansion expansion { .text = "", .cursorPosition = -1 };
            for (; dbus_message_iter_get_arg_type(&entries) == DBUS_TYPE_DICT_ENTRY; dbus_message_iter_next(&entries)) {
                DBusMessageIter entry, value;
                dbus_message_iter_recurse(&entries, &entry);
                const std::string key = basicString(entry);
                dbus_message_iter_next(&entry);
                dbus_message_iter_recurse(&entry, &value);
                if (key == "text" && dbus_message_iter_get_arg_type(&value) == DBUS_TYPE_STRING)
                    expansion.text = basicString(value);
                else if (key == "cursor_position" && dbus_message_iter_get_arg_type(&value) == DBUS_TYPE_INT32)
                    dbus_message_iter_get_basic(&value, &expansion.cursorPosition);
            }
            answers.expansion = expansion;
        }
        dbus_message_unref(reply);
    }
    if (DBusMessage* reply = call("ExpandAsJSON")) {
        DBusMessageIter arguments;
        if (dbus_message_iter_init(reply, &arguments) && dbus_message_has_signature(reply, "s"))
            answers.json = basicString(arguments);
        dbus_message_unref(reply);
    }
    dbus_connection_close(connection);
    dbus_connection_unref(connection);
    return answers;
}

class NoGrabs final : public KeyGrabber {
public:
    bool isAvailable() const override { return false; }
    bool grab(const Shortcut&, bool) override { return false; }
    void ungrab(const Shortcut&) override { }
    void setPressHandler(std::function<void(const Shortcut&, KeyboardHold)>) override { }
    void setLostHandler(std::function<void(const Shortcut&)>) override { }
};

nlohmann::json expander(
    const std::string& pattern, const std::string& output, const std::vector<std::string>& languages)
{
    return { { "name", pattern }, { "description", "" }, { "identifier", "" }, { "pattern", pattern },
        { "output_template", output }, { "is_enabled", true }, { "supported_languages", languages } };
}

std::string bundleText(const std::string& name, const std::vector<nlohmann::json>& expanders)
{
    return nlohmann::json({ { "name", name }, { "description", "" }, { "is_enabled", true },
                              { "supported_languages", { "any" } }, { "expanders", expanders } })
        .dump();
}

/// The application delegate over a library of its own, fake editor, fake sounds and
/// recorded notifications.
class AppDelegateTest : public ::testing::Test {
protected:
    AppDelegateTest()
    {
        const auto library = m_folder.path() / "bundles.qlbundles";
        test::writeFile(library,
            "{\"bundles\":["
                + bundleText("Test",
                    { expander("for ${item:word} in ${items:word}", "for ${item} in ${items} {\n\t#\n}", { "swift" }),
                        expander("for ${item:word} in ${items:word}", "for $item in $items:", { "python" }),
                        expander("broken", "${missing}", { "any" }) })
                + "]}");
        App::Environment environment = App::Environment::headless();
        environment.notifications = m_notifications;
        environment.alerts = m_notifications;
        environment.bundlesFilePath = library;
        App::setShared(std::make_unique<App>(std::move(environment)));

        m_defaults = std::make_shared<UserDefaults>(std::make_unique<QSettings>(
            QString::fromStdString((m_folder.path() / "Quillet.ini").string()), QSettings::IniFormat));
        m_defaults->setValue(UserDefaultsKey::DidOpenIntro, true);
        Settings::setShared(m_defaults);
        Sounds::setShared(&m_sounds);
        AccessibilityBackend::setShared(m_backend);

        AppDelegate::Services services;
        services.defaults = m_defaults;
        services.keyGrabber = std::make_unique<NoGrabs>();
        services.notifications = &m_controller;
        services.statusItem = false;
        m_delegate = std::make_unique<AppDelegate>(std::move(services));
        m_delegate->applicationWillFinishLaunching();
    }
    ~AppDelegateTest() override
    {
        m_delegate.reset();
        AccessibilityBackend::setShared(nullptr);
        Sounds::setShared(nullptr);
        Settings::setShared(std::make_shared<InMemorySettings>());
        App::setShared(nullptr);
    }

    void type(const icu::UnicodeString& text)
    {
        m_editor.text = text;
        m_editor.selection = { text.length(), 0 };
    }

    test::TempDir m_folder;
    std::shared_ptr<RecordingNotifications> m_notifications = std::make_shared<RecordingNotifications>();
    std::shared_ptr<RecordingPlayer> m_player = std::make_shared<RecordingPlayer>();
    Sounds m_sounds { m_player };
    test::FakeEditor m_editor;
    std::shared_ptr<test::FakeBackend> m_backend = std::make_shared<test::FakeBackend>(m_editor);
    std::shared_ptr<UserDefaults> m_defaults;
    UserNotificationController m_controller { QDBusConnection::sessionBus() };
    std::unique_ptr<AppDelegate> m_delegate;
};

TEST_F(AppDelegateTest, TheExpandShortcutExpandsAtTheCaretWithItsSoundOrNotification)
{
    struct Case {
        const char* name;
        icu::UnicodeString typed;
        bool trusted;
        bool focused;
        icu::UnicodeString after;
        QStringList sounds;
        std::vector<std::pair<std::string, std::string>> notifications;
    };
    const std::vector<Case> cases {
        { "an expansion", u"for x in xs", true, true, u"for x in xs {\n    \n}", { "expander-done" }, {} },
        { "nothing matches", u"zzqq", true, true, u"zzqq", { "Funk" }, {} },
        { "not trusted", u"for x in xs", false, true, u"for x in xs", { "Funk" }, {} },
        { "a broken expander", u"broken", true, true, u"broken", { "Funk" },
            { { "Expression could not be expanded.", "There is no variable named missing." } } },
        { "no editor", u"for x in xs", true, false, u"for x in xs", { "Funk" },
            { { "Are you using a text editor?",
                "If you are, you probabily need a plugin. Click here for more information." } } },
    };
    for (const auto& c : cases) {
        type(c.typed);
        m_editor.trusted = c.trusted;
        m_editor.focused = c.focused;
        m_player->played.clear();
        m_notifications->delivered.clear();

        m_delegate->expandTextShortcutPressed();

        EXPECT_EQ(m_editor.text, c.after) << c.name;
        EXPECT_EQ(m_player->played, c.sounds) << c.name;
        if (c.notifications.size() == 1 && m_notifications->delivered.size() == 1) {
            EXPECT_EQ(m_notifications->delivered[0].first, c.notifications[0].first) << c.name;
            if (std::string(c.name) == "no editor") {
                EXPECT_EQ(m_notifications->delivered[0].second, c.notifications[0].second);
            }
        } else {
            EXPECT_EQ(m_notifications->delivered.size(), c.notifications.size()) << c.name;
        }
    }
}

TEST_F(AppDelegateTest, TheSwiftTitleChoosesTheSwiftExpander)
{
    type(u"for x in xs");
    m_editor.windowTitle = u"main.py - Editor";
    m_delegate->expandTextShortcutPressed();
    EXPECT_EQ(m_editor.text, u"for $item in $items:");
}

TEST_F(AppDelegateTest, ACustomActionTakesThePressInstead)
{
    int calls = 0;
    bool answer = false;
    App::shared().setExpandingShortcutCustomAction([&] {
        ++calls;
        return answer;
    });
    type(u"for x in xs");

    m_delegate->expandTextShortcutPressed();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(App::shared().expandingShortcutCustomAction()) << "an action that answers false stays";
    answer = true;
    EXPECT_EQ(m_delegate->expand(u"for x in xs", std::nullopt), std::nullopt);
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(App::shared().expandingShortcutCustomAction());
    EXPECT_TRUE(m_player->played.isEmpty());
    EXPECT_FALSE(m_delegate->isStatusIconActive());
    EXPECT_EQ(m_editor.text, u"for x in xs");

    m_delegate->expandTextShortcutPressed();
    EXPECT_EQ(m_editor.text, u"for x in xs {\n    \n}");
}

TEST_F(AppDelegateTest, TheKeysTypedAfterTheExpandShortcutWaitUntilThePressHasEndedHoweverItEnds)
{
    struct Case {
        const char* name;
        icu::UnicodeString typed;
        bool trusted;
        bool focused;
        bool customAction;
        icu::UnicodeString after;
    };
    const std::vector<Case> cases {
        { "an expansion", u"for x in xs", true, true, false, u"for x in xs {\n    \n}" },
        { "nothing matches", u"zzqq", true, true, false, u"zzqq" },
        { "not trusted", u"for x in xs", false, true, false, u"for x in xs" },
        { "a broken expander", u"broken", true, true, false, u"broken" },
        { "no editor", u"for x in xs", true, false, false, u"for x in xs" },
        { "a custom action", u"for x in xs", true, true, true, u"for x in xs" },
    };
    m_backend->deferred = true;
    for (const auto& c : cases) {
        type(c.typed);
        m_editor.trusted = c.trusted;
        m_editor.focused = c.focused;
        if (c.customAction)
            App::shared().setExpandingShortcutCustomAction([] { return true; });
        m_player->played.clear();
        int releases = 0;
        icu::UnicodeString textWhenReleased;
        QStringList soundsWhenReleased;

        m_delegate->expandTextShortcutPressed(KeyboardHold([&] {
            ++releases;
            textWhenReleased = m_editor.text;
            soundsWhenReleased = m_player->played;
        }));
        while (!m_backend->steps.empty()) {
            EXPECT_EQ(releases, 0) << c.name << ": the keys went on while the editor was still being read or written";
            m_backend->runStep();
        }

        EXPECT_EQ(releases, 1) << c.name;
        EXPECT_EQ(textWhenReleased, c.after) << c.name;
        EXPECT_TRUE(soundsWhenReleased.isEmpty()) << c.name << ": the keys wait on no sound";
        EXPECT_FALSE(m_delegate->expandingController().isExpanding()) << c.name;
    }
}

TEST_F(AppDelegateTest, APressDuringAnotherLetsItsOwnKeysGoAndKeepsTheFirstOnesWaiting)
{
    m_backend->deferred = true;
    type(u"for x in xs");
    int firstReleases = 0;
    int secondReleases = 0;

    m_delegate->expandTextShortcutPressed(KeyboardHold([&] { ++firstReleases; }));
    m_delegate->expandTextShortcutPressed(KeyboardHold([&] { ++secondReleases; }));
    EXPECT_EQ(secondReleases, 1);
    EXPECT_EQ(firstReleases, 0);

    while (m_backend->runStep()) { }
    EXPECT_EQ(firstReleases, 1);
    EXPECT_EQ(m_editor.text, u"for x in xs {\n    \n}");
}

TEST_F(AppDelegateTest, TheStatusIconResetsOnceAfterTheLastExpansionEnds)
{
    auto& controller = m_delegate->expandingController();
    m_delegate->expandingControllerDidStartExpanding(controller);
    EXPECT_TRUE(m_delegate->isStatusIconActive());
    m_delegate->expandingControllerDidEndExpanding(controller);
    EXPECT_TRUE(m_delegate->isStatusIconActive()) << "the active icon stays a moment";

    // The next expansion starts before the reset: the reset must not land during it.
    QTest::qWait(AppDelegate::statusIconResetDelayMilliseconds / 2);
    m_delegate->expandingControllerDidStartExpanding(controller);
    QTest::qWait(AppDelegate::statusIconResetDelayMilliseconds * 2);
    EXPECT_TRUE(m_delegate->isStatusIconActive());

    m_delegate->expandingControllerDidEndExpanding(controller);
    EXPECT_TRUE(waitFor([&] { return !m_delegate->isStatusIconActive(); }, 2000));
}

TEST_F(AppDelegateTest, TheDBusMethodsAnswerWithTheWarmLibrary)
{
    QuilletService service(*m_delegate);
    const std::optional<std::string> swift = "swift";
    using Expansion = QuilletService::Expansion;

    EXPECT_EQ(service.expand("for x in xs", swift), (Expansion { "for x in xs {\n    \n}", 18 }));
    EXPECT_EQ(service.expandAsJson("for x in xs", swift), R"({"text":"for x in xs {\n    \n}","cursorPosition":18})");
    EXPECT_EQ(service.expand("for x in xs", "py"), (Expansion { "for $item in $items:", 20 }));
    // Offsets count UTF-16 units.
    EXPECT_EQ(service.expand("\U0001F600 for x in xs", swift)->cursorPosition, 21);
    // A megabyte of ordinary code before the abbreviation is kept as it is.
    std::string code;
    while (code.size() < (std::size_t(1) << 20))
        code += "let x = items.map { $0 * 2 }; for i in 0..<n { total += i }; ";
    const auto afterCode = service.expand(code + "for x in xs", swift);
    ASSERT_TRUE(afterCode.has_value());
    EXPECT_TRUE(afterCode->text == code + "for x in xs {\n    \n}");
    EXPECT_EQ(afterCode->cursorPosition, int64_t(code.size()) + 18);

    // No value: nothing matches, a line feed, a failing expander.
    EXPECT_EQ(service.expand("zzqq", swift), std::nullopt);
    EXPECT_EQ(service.expandAsJson("zzqq", swift), "");
    EXPECT_EQ(service.expand("for x in\nxs", swift), std::nullopt);
    EXPECT_EQ(service.expandAsJson("broken", std::nullopt), "");
    EXPECT_EQ(m_notifications->delivered.size(), 1u);
    EXPECT_EQ(m_player->played.count("Funk"), 4);
}

TEST_F(AppDelegateTest, TheDBusMethodsAnswerOverTheBusAndOpenFilesImportsAndASecondStartShowsTheEditor)
{
    int editorShown = 0;
    m_delegate->windows().showExpandersWindow = [&editorShown] { ++editorShown; };
    SessionBusConnection bus({ QuilletService::serviceName });
    bool named = false;
    QObject::connect(&bus, &SessionBusConnection::connected, [&named] { named = true; });
    ASSERT_TRUE(waitFor([&] { return named; }, 10000));
    ASSERT_TRUE(bus.isConnected());
    QuilletService service(*m_delegate);
    ASSERT_TRUE(service.exportOn(bus));
    SessionBusConnection secondInstance({ QuilletService::serviceName });
    bool taken = false, secondNamed = false;
    QObject::connect(&secondInstance, &SessionBusConnection::nameTaken, [&taken] { taken = true; });
    QObject::connect(&secondInstance, &SessionBusConnection::connected, [&secondNamed] { secondNamed = true; });
    ASSERT_TRUE(waitFor([&] { return taken || secondNamed; }, 10000));
    EXPECT_TRUE(taken) << "one instance a session";
    EXPECT_FALSE(secondInstance.isConnected());

    const auto first = m_folder.path() / "First.qlbundle";
    const auto unreadable = m_folder.path() / "Broken.qlbundle";
    const auto second = m_folder.path() / "Second.qlbundle";
    test::writeFile(first, bundleText("First", { expander("hi", "hello", { "any" }) }));
    test::writeFile(unreadable, "{ not json");
    test::writeFile(second, bundleText("Second", {}));
    const auto opened = m_folder.path() / "Opened.qlbundle";
    test::writeFile(opened, bundleText("Opened", {}));

    // Texts and extensions that Qt's own D-Bus strings would change: a leading U+FEFF.
    const std::vector<std::pair<std::string, std::string>> rawCalls { { "\xEF\xBB\xBF"
                                                                        "for x in xs",
                                                                          "swift" },
        { "a\xEF\xBB\xBF for x in xs", "swift" }, { "for x in xs", "py" }, { "for x in xs", "\xEF\xBB\xBFpy" } };
    QList<QVariant> expandReply, jsonReply, noValueReply, wronglyTypedReply;
    std::vector<RawAnswers> rawAnswers;
    bool activated = false;
    QDBusMessage openReply;
    std::unique_ptr<QThread> client(QThread::create([&] {
        QDBusConnection connection = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "client");
        const auto call = [&](const char* method, QList<QVariant> arguments) {
            QDBusMessage message = QDBusMessage::createMethodCall(
                QuilletService::serviceName, QuilletService::objectPath, QuilletService::serviceName, method);
            message.setArguments(arguments);
            return connection.call(message, QDBus::Block, 5000).arguments();
        };
        expandReply = call("Expand", { QString("for x in xs"), QVariantMap { { "extension", "swift" } } });
        jsonReply = call("ExpandAsJSON", { QString("for x in xs"), QVariantMap { { "extension", "swift" } } });
        noValueReply = call("Expand", { QString("zzqq"), QVariantMap() });
        wronglyTypedReply = call("ExpandAsJSON", { QString("for x in xs"), QVariantMap { { "extension", 5 } } });
        for (const auto& [text, extension] : rawCalls)
            rawAnswers.push_back(callWithRawStrings(text, extension));
        call("OpenFiles",
            { QStringList { QString::fromStdString(first.string()), QString::fromStdString(unreadable.string()),
                QString::fromStdString(second.string()) } });
        // A second start, and the desktop's launcher, through the desktop's own interface.
        activated = activateRunningInstance(connection);
        QDBusMessage open = QDBusMessage::createMethodCall(QuilletService::serviceName, QuilletService::objectPath,
            QStringLiteral("org.freedesktop.Application"), QStringLiteral("Open"));
        open << QStringList { QUrl::fromLocalFile(QString::fromStdString(opened.string())).toString() }
             << QVariantMap();
        openReply = connection.call(open, QDBus::Block, 5000);
    }));
    client->start();
    ASSERT_TRUE(waitFor([&] { return client->isFinished(); }, 20000));
    QDBusConnection::disconnectFromBus("client");

    ASSERT_EQ(expandReply.size(), 1);
    const QVariantMap expanded = qdbus_cast<QVariantMap>(expandReply[0]);
    EXPECT_EQ(expanded.value("text").toString(), QStringLiteral("for x in xs {\n    \n}"));
    EXPECT_EQ(expanded.value("cursor_position").toInt(), 18);
    ASSERT_EQ(jsonReply.size(), 1);
    EXPECT_EQ(jsonReply[0].toString(), QStringLiteral("{\"text\":\"for x in xs {\\n    \\n}\",\"cursorPosition\":18}"));
    ASSERT_EQ(noValueReply.size(), 1);
    EXPECT_TRUE(qdbus_cast<QVariantMap>(noValueReply[0]).isEmpty());
    ASSERT_EQ(wronglyTypedReply.size(), 1);
    EXPECT_EQ(wronglyTypedReply[0].toString().toStdString(), service.expandAsJson("for x in xs", std::nullopt))
        << "an extension that is not a string is absent";
    // The texts reach the expansion byte for byte, a U+FEFF first or inside included, and so
    // do the answers: the same as expanding in the process.
    ASSERT_EQ(rawAnswers.size(), rawCalls.size());
    for (std::size_t i = 0; i < rawCalls.size(); ++i) {
        const auto& [text, extension] = rawCalls[i];
        const auto expected = service.expand(text, extension);
        ASSERT_TRUE(expected) << text;
        EXPECT_EQ(rawAnswers[i].expansion, expected) << text;
        EXPECT_EQ(rawAnswers[i].json, service.expandAsJson(text, extension)) << text;
    }
    EXPECT_EQ(rawAnswers[0].expansion,
        (QuilletService::Expansion { "\xEF\xBB\xBF"
                                     "for x in xs {\n    \n}",
            19 }));
    EXPECT_EQ(rawAnswers[1].expansion->cursorPosition, 21);
    EXPECT_NE(rawAnswers[2].expansion, rawAnswers[3].expansion) << "a U+FEFF before the extension is kept";

    // Both readable files are imported in order; the unreadable one shows its alert.
    ASSERT_TRUE(waitFor([&] { return App::shared().bundleStore().bundles().size() == 4; }));
    EXPECT_EQ(toUtf8(App::shared().bundleStore().bundles()[1]->name()), "First");
    EXPECT_EQ(toUtf8(App::shared().bundleStore().bundles()[2]->name()), "Second");
    EXPECT_EQ(toUtf8(App::shared().bundleStore().bundles()[3]->name()), "Opened");
    EXPECT_EQ(m_notifications->alerts, std::vector<std::string> { "File could not be read" });

    EXPECT_TRUE(activated);
    EXPECT_EQ(openReply.type(), QDBusMessage::ReplyMessage) << openReply.errorMessage().toStdString();
    EXPECT_TRUE(waitFor([&] { return editorShown == 1; })) << "activating shows the editor window";
}

TEST_F(AppDelegateTest, ActivateActionRunsTheShortcutsActionsAfterAnsweringAndRefusesUnknownOnes)
{
    QStringList ran;
    m_delegate->windows().showExpandersWindow = [&ran] { ran << "editor"; };
    m_delegate->windows().showOrHideExpanderBrowser = [&ran] { ran << "browser"; };
    SessionBusConnection bus({ QuilletService::serviceName });
    bool named = false;
    QObject::connect(&bus, &SessionBusConnection::connected, [&named] { named = true; });
    ASSERT_TRUE(waitFor([&] { return named; }, 10000));
    QuilletService service(*m_delegate);
    ASSERT_TRUE(service.exportOn(bus));

    struct Case {
        QString action;
        QVariantList parameter;
        QString error; // none: answered
        QStringList ran;
        icu::UnicodeString text;
        QStringList sounds;
    };
    const QString invalid = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
    const std::vector<Case> cases {
        { "expand", {}, {}, {}, u"for x in xs {\n    \n}", { "expander-done" } },
        { "show-editor", {}, {}, { "editor" }, u"for x in xs", {} },
        { "toggle-browser", {}, {}, { "browser" }, u"for x in xs", {} },
        { "paste", {}, invalid, {}, u"for x in xs", {} },
        { "", {}, invalid, {}, u"for x in xs", {} },
        { "expand", { QVariant::fromValue(QDBusVariant(QString("now"))) }, invalid, {}, u"for x in xs", {} },
    };
    // The editor answers only when the test lets it: a caller held by the press would wait for ever.
    m_backend->deferred = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action.toStdString());
        type(u"for x in xs");
        ran.clear();
        m_player->played.clear();
        QDBusMessage reply;
        std::unique_ptr<QThread> client(QThread::create([&] {
            QDBusConnection connection = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "actions");
            QDBusMessage call = QDBusMessage::createMethodCall(QuilletService::serviceName, QuilletService::objectPath,
                QStringLiteral("org.freedesktop.Application"), QStringLiteral("ActivateAction"));
            call << c.action << c.parameter << QVariantMap();
            reply = connection.call(call, QDBus::Block, 5000);
        }));
        client->start();
        ASSERT_TRUE(waitFor([&] { return client->isFinished(); }, 10000));
        QDBusConnection::disconnectFromBus("actions");
        EXPECT_EQ(m_editor.text, u"for x in xs") << "answered before the press";
        if (c.error.isEmpty())
            EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        else
            EXPECT_EQ(reply.errorName(), c.error);

        // Whatever was to run runs now, with what the press brings.
        EXPECT_TRUE(waitFor(
            [&] {
                while (m_backend->runStep()) { }
                return ran == c.ran && m_player->played == c.sounds;
            },
            2000))
            << ran.join(',').toStdString() << " / " << m_player->played.join(',').toStdString();
        EXPECT_EQ(m_editor.text, c.text);
    }
}

TEST_F(AppDelegateTest, TheStartUpRegistersTheDefaultsAndOpensTheIntroductionOnlyTheFirstTime)
{
    for (const bool didOpen : { false, true }) {
        int introductions = 0;
        m_defaults->setValue(UserDefaultsKey::DidOpenIntro, didOpen);
        AppDelegate::Services services;
        services.defaults = m_defaults;
        services.keyGrabber = std::make_unique<NoGrabs>();
        services.notifications = &m_controller;
        services.statusItem = false;
        AppDelegate delegate(std::move(services));
        delegate.windows().showIntroduction = [&] { ++introductions; };
        delegate.applicationWillFinishLaunching();
        EXPECT_EQ(introductions, didOpen ? 0 : 1);
        EXPECT_EQ(m_controller.delegate(), &delegate);
        EXPECT_EQ(delegate.appearanceController().delegate(), &delegate);
        EXPECT_EQ(delegate.expandingController().delegate(), &delegate);
        EXPECT_EQ(delegate.defaults().shortcut(UserDefaultsKey::ExpandTextShortcut), defaultshortcuts::expandText);
        ASSERT_NE(delegate.statusBarMenu(), nullptr);
        EXPECT_EQ(delegate.statusBarMenu()->actions().size(), 1) << "Quit only";
    }
}

TEST_F(AppDelegateTest, NotificationClicksReachTheWindowHooks)
{
    QStringList calls;
    m_delegate->windows().showExpandersWindow = [&] { calls << "editor"; };
    m_delegate->windows().openURL = [&](const QUrl& url) { calls << url.toString(); };
    m_delegate->windows().selectExpanderInEditor = [&](CustomExpander&) { calls << "select expander"; };

    m_controller.activate({ { "url", QString::fromStdString(Websites::editors()) } });
    m_controller.activate({});
    m_delegate->showExpanderInEditor(m_controller, *App::shared().bundleStore().bundles()[0]);

    EXPECT_EQ(
        calls, (QStringList { QString::fromStdString(Websites::editors()), "editor", "select expander", "editor" }));
}

} // namespace
} // namespace quillet
