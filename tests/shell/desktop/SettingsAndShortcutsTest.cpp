#include "front/SettingsFile.h"
#include "shell/GlobalShortcutBinder.h"
#include "shell/Shortcut.h"
#include "shell/ShortcutRecorder.h"
#include "shell/UserDefaults.h"
#include "support/TestSupport.h"

#include "OrvTextView/Shortcut/Shortcut.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <sys/stat.h>
#include <utility>

namespace quillet {
namespace {

/// Settings over a fresh INI file of the test's own.
class SettingsTest : public ::testing::Test {
protected:
    std::shared_ptr<UserDefaults> makeDefaults()
    {
        return std::make_shared<UserDefaults>(std::make_unique<QSettings>(settingsFile(), QSettings::IniFormat));
    }
    QString settingsFile() const { return QString::fromStdString((m_folder.path() / "Quillet.ini").string()); }

    test::TempDir m_folder;
};

TEST_F(SettingsTest, RegisteredDefaultsAnswerUntilAValueIsStoredAndAreNeverWritten)
{
    auto defaults = makeDefaults();
    defaults->registerApplicationDefaults();

    EXPECT_TRUE(defaults->boolForKey(UserDefaultsKey::IndentWithSpaces));
    EXPECT_TRUE(defaults->boolForKey(UserDefaultsKey::EnableSounds));
    EXPECT_TRUE(defaults->boolForKey(UserDefaultsKey::EnableErrorSound));
    EXPECT_TRUE(defaults->boolForKey(UserDefaultsKey::MainWindowVisibleOnStart));
    EXPECT_FALSE(defaults->boolForKey(UserDefaultsKey::DidOpenIntro));
    EXPECT_FALSE(defaults->boolForKey(UserDefaultsKey::StartApplicationAutomatically));
    EXPECT_FALSE(defaults->value(UserDefaultsKey::StartApplicationAutomatically).isValid());
    EXPECT_EQ(defaults->integerForKey(UserDefaultsKey::IndentSize), 4);
    EXPECT_EQ(defaults->integerForKey(UserDefaultsKey::MaximumCharactersInLine), 80);
    EXPECT_EQ(defaults->shortcut(UserDefaultsKey::ExpandTextShortcut), (Shortcut { 14, 0x180000 }));
    EXPECT_EQ(defaults->shortcut(UserDefaultsKey::ShowExpandersShortcut), (Shortcut { 14, 0x1C0000 }));
    EXPECT_EQ(defaults->shortcut(UserDefaultsKey::ShowExpanderBrowserShortcut), (Shortcut { 49, 0x120000 }));
    EXPECT_TRUE(QSettings(settingsFile(), QSettings::IniFormat).allKeys().isEmpty());

    // A stored value wins, also over the next start's registration.
    defaults->setValue(UserDefaultsKey::IndentSize, 2);
    defaults->setShortcut(UserDefaultsKey::ExpandTextShortcut, Shortcut { 40, Shortcut::commandKeyMask });
    auto nextStart = makeDefaults();
    nextStart->registerApplicationDefaults();
    EXPECT_EQ(nextStart->integerForKey(UserDefaultsKey::IndentSize), 2);
    EXPECT_EQ(nextStart->integerValue("IndentSize"), 2);
    EXPECT_EQ(nextStart->shortcut(UserDefaultsKey::ExpandTextShortcut), (Shortcut { 40, Shortcut::commandKeyMask }));
    // The editor-window shortcut lives under its key with the final s.
    EXPECT_EQ(QSettings(settingsFile(), QSettings::IniFormat).value("ShowExpandersShortcuts"), QVariant());
    nextStart->setShortcut(UserDefaultsKey::ShowExpandersShortcut, Shortcut { 1, 0 });
    EXPECT_TRUE(QSettings(settingsFile(), QSettings::IniFormat).contains("ShowExpandersShortcuts"));
}

TEST_F(SettingsTest, TheCommandLineReadsTheIndentationTheApplicationStored)
{
    auto defaults = makeDefaults();
    defaults->setValue(UserDefaultsKey::IndentWithSpaces, false);
    defaults->setValue(UserDefaultsKey::IndentSize, 3);
    defaults->setShortcut(UserDefaultsKey::ExpandTextShortcut, defaultshortcuts::expandText);

    InMemorySettings commandLine;
    registerPlainDefaults(commandLine);
    settingsfile::apply(settingsFile().toStdString(), commandLine);

    EXPECT_EQ(commandLine.boolValue("IndentWithSpaces"), false);
    EXPECT_EQ(commandLine.integerValue("IndentSize"), 3);
    EXPECT_EQ(commandLine.integerValue("MaximumCharactersInLine"), 80);
}

/// One line of a hand-edited settings file, and the indentation both readers must take from it.
struct StoredValueCase {
    const char* name;
    const char* line;
    bool indentWithSpaces;
    long long indentSize;
};

TEST_F(SettingsTest, TheApplicationAndTheCommandLineReadEveryStoredValueAlike)
{
    const StoredValueCase cases[] = {
        { "plain size", "IndentSize=8", true, 8 },
        { "signed size", "IndentSize=+2", true, 2 },
        { "quoted size", "IndentSize=\"8\"", true, 8 },
        { "letters", "IndentSize=abc", true, 4 },
        { "spaces inside quotes", "IndentSize=\" 8 \"", true, 4 },
        { "trailing letters", "IndentSize=8px", true, 4 },
        { "fraction", "IndentSize=2.5", true, 4 },
        { "zero", "IndentSize=0", true, 4 },
        { "negative", "IndentSize=-3", true, 4 },
        { "above what the preferences offer", "IndentSize=17", true, 4 },
        { "huge", "IndentSize=99999999999999999999", true, 4 },
        { "empty", "IndentSize=", true, 4 },
        { "variant garbage", "IndentSize=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\tgarbage)", true, 4 },
        { "variant bytes", "IndentSize=@ByteArray(8)", true, 4 },
        { "list", "IndentSize=1, 2", true, 4 },
        { "false", "IndentWithSpaces=false", false, 4 },
        { "capital false", "IndentWithSpaces=FALSE", false, 4 },
        { "zero for false", "IndentWithSpaces=0", false, 4 },
        { "maybe", "IndentWithSpaces=maybe", true, 4 },
        { "yes", "IndentWithSpaces=yes", true, 4 },
        { "two", "IndentWithSpaces=2", true, 4 },
        { "variant boolean garbage", "IndentWithSpaces=@Variant(\\0\\0\\0\\x1\\x1)", true, 4 },
        { "quoted spaces", "IndentWithSpaces=\" false \"", true, 4 },
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A file of its own per case: QSettings keeps what it read of a file for a while.
        const auto file = m_folder.path() / ("case" + std::to_string(++index) + ".ini");
        test::writeFile(file, std::string("[General]\n") + c.line + "\n");

        auto application = std::make_shared<UserDefaults>(
            std::make_unique<QSettings>(QString::fromStdString(file.string()), QSettings::IniFormat));
        application->registerApplicationDefaults();
        InMemorySettings commandLine;
        registerPlainDefaults(commandLine);
        settingsfile::apply(file, commandLine);

        for (const Settings* reader :
            { static_cast<const Settings*>(application.get()), static_cast<const Settings*>(&commandLine) }) {
            EXPECT_EQ(reader->boolForKey("IndentWithSpaces"), c.indentWithSpaces);
            EXPECT_EQ(reader->integerForKey("IndentSize"), c.indentSize);
        }
    }
}

TEST_F(SettingsTest, ASettingsFileThatIsNoRegularFileIsNeverReadAndNeverBlocks)
{
    const auto file = m_folder.path() / "Quillet.ini";
    const std::pair<const char*, std::function<void()>> cases[] = {
        { "fifo", [&] { ASSERT_EQ(mkfifo(file.c_str(), 0600), 0); } },
        { "link to an endless device", [&] { std::filesystem::create_symlink("/dev/zero", file); } },
        { "folder", [&] { std::filesystem::create_directory(file); } },
    };
    for (const auto& [name, make] : cases) {
        SCOPED_TRACE(name);
        std::filesystem::remove(file);
        make();
        InMemorySettings commandLine;
        registerPlainDefaults(commandLine);
        settingsfile::apply(file, commandLine);
        EXPECT_EQ(commandLine.integerForKey("IndentSize"), 4);
    }
}

TEST_F(SettingsTest, EveryChangeIsAnnouncedWithItsKey)
{
    auto defaults = makeDefaults();
    QSignalSpy spy(defaults.get(), &UserDefaults::valueChanged);

    defaults->setValue(UserDefaultsKey::EnableSounds, false);
    defaults->setShortcut(UserDefaultsKey::ExpandTextShortcut, std::nullopt);
    defaults->remove(UserDefaultsKey::EnableSounds);

    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy[0][0].value<UserDefaultsKey>(), UserDefaultsKey::EnableSounds);
    EXPECT_EQ(spy[1][0].value<UserDefaultsKey>(), UserDefaultsKey::ExpandTextShortcut);
    EXPECT_EQ(spy[2][0].value<UserDefaultsKey>(), UserDefaultsKey::EnableSounds);
}

TEST_F(SettingsTest, AClearedShortcutStaysClearedButARemovedOneFallsBackToTheDefault)
{
    auto defaults = makeDefaults();
    defaults->registerApplicationDefaults();

    defaults->setShortcut(UserDefaultsKey::ExpandTextShortcut, std::nullopt);
    EXPECT_EQ(defaults->shortcut(UserDefaultsKey::ExpandTextShortcut), std::nullopt);
    defaults->remove(UserDefaultsKey::ExpandTextShortcut);
    EXPECT_EQ(defaults->shortcut(UserDefaultsKey::ExpandTextShortcut), defaultshortcuts::expandText);
}

TEST(ShortcutTest, TheStoredFormDecodesOnlyKnownKeys)
{
    const std::vector<std::pair<QString, std::optional<Shortcut>>> cases {
        { "14:1572864", Shortcut { 14, 0x180000 } },
        { "49:1179648", Shortcut { 49, 0x120000 } },
        { "36:0", Shortcut { 36, 0 } },
        // Modifier bits other than the four are dropped.
        { "14:1572865", Shortcut { 14, 0x180000 } },
        { "10:0", std::nullopt }, // no key has code 10
        { "14", std::nullopt },
        { "14:", std::nullopt },
        { "-14:0", std::nullopt },
        { "14:1:2", std::nullopt },
        { " 14:0", std::nullopt },
        { "14:99999999999", std::nullopt },
        { "", std::nullopt },
        { "@ByteArray(garbage)", std::nullopt },
    };
    for (const auto& [stored, expected] : cases)
        EXPECT_EQ(Shortcut::decode(stored), expected) << stored.toStdString();
    EXPECT_EQ(Shortcut::decode(defaultshortcuts::showExpanders.encoded()), defaultshortcuts::showExpanders);
}

TEST(ShortcutTest, TheDesktopReadsCommandAsCtrlOptionAsAltControlAsSuper)
{
    struct Case {
        Shortcut shortcut;
        const char* text;
        uint32_t keysym;
        uint16_t x11;
    };
    const std::vector<Case> cases {
        { defaultshortcuts::expandText, "Ctrl+Alt+E", 'e', 4 | 8 },
        { defaultshortcuts::showExpanders, "Ctrl+Alt+Super+E", 'e', 4 | 8 | 64 },
        { defaultshortcuts::showExpanderBrowser, "Ctrl+Shift+Space", ' ', 4 | 1 },
        { Shortcut { 36, 0 }, "Return", 0xff0d, 0 },
        { Shortcut { 53, Shortcut::optionKeyMask }, "Alt+Escape", 0xff1b, 8 },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.shortcut.displayText(), QString::fromLatin1(c.text));
        EXPECT_EQ(c.shortcut.keysym(), c.keysym) << c.text;
        EXPECT_EQ(c.shortcut.x11Modifiers(), c.x11) << c.text;
        EXPECT_EQ(Shortcut::fromX11(c.keysym, c.x11), c.shortcut) << c.text;
        EXPECT_EQ(Shortcut::fromQt(c.shortcut.qtKey(),
                      int((c.x11 & 1 ? Qt::ShiftModifier : Qt::NoModifier)
                          | (c.x11 & 4 ? Qt::ControlModifier : Qt::NoModifier)
                          | (c.x11 & 8 ? Qt::AltModifier : Qt::NoModifier)
                          | (c.x11 & 64 ? Qt::MetaModifier : Qt::NoModifier))),
            c.shortcut)
            << c.text;
    }
    EXPECT_EQ(defaultshortcuts::showExpanderBrowser.keySequence(), QKeySequence(QStringLiteral("Ctrl+Shift+Space")));
    EXPECT_EQ(defaultshortcuts::showExpanders.keySequence(), QKeySequence(QStringLiteral("Ctrl+Alt+Meta+E")));
    // Shift gives the capital letter's keysym: still the E key.
    EXPECT_EQ(Shortcut::fromX11('E', 1 | 4), (Shortcut { 14, Shortcut::shiftKeyMask | Shortcut::commandKeyMask }));
}

TEST(ShortcutTest, EveryStoredKeyRoundTripsAndTheTextViewKnowsItByTheSameCode)
{
    int known = 0;
    for (uint16_t keyCode = 0; keyCode < 128; ++keyCode) {
        const auto shortcut = Shortcut::decode(QStringLiteral("%1:0").arg(keyCode));
        if (!shortcut)
            continue;
        ++known;
        ASSERT_TRUE(shortcut->keysym()) << keyCode;
        EXPECT_EQ(Shortcut::fromX11(*shortcut->keysym(), 0), shortcut) << keyCode;
        EXPECT_EQ(Shortcut::fromQt(shortcut->qtKey(), 0), shortcut) << keyCode;
        // Local shortcuts in the editor and global ones here must name a key alike.
        EXPECT_EQ(orv::Shortcut::keyCodeForKey(shortcut->qtKey()), std::optional<int>(keyCode)) << keyCode;
    }
    EXPECT_EQ(known, 79);
    const std::pair<uint16_t, const char*> namedKeys[]
        = { { 105, "F13" }, { 107, "F14" }, { 113, "F15" }, { 106, "F16" }, { 114, "Insert" } };
    for (const auto& [keyCode, text] : namedKeys) {
        const Shortcut shortcut { keyCode, 0 };
        EXPECT_EQ(shortcut.displayText(), QString::fromLatin1(text));
    }
}

class FakeGrabber final : public KeyGrabber {
public:
    explicit FakeGrabber(std::set<QString>* grabbed)
        : m_grabbed(grabbed)
    {
    }
    bool isAvailable() const override { return true; }
    bool grab(const Shortcut& shortcut) override
    {
        if (shortcut == taken)
            return false;
        m_grabbed->insert(shortcut.displayText());
        return true;
    }
    void ungrab(const Shortcut& shortcut) override { m_grabbed->erase(shortcut.displayText()); }
    void setPressHandler(std::function<void(const Shortcut&, KeyboardHold)> handler) override
    {
        press = std::move(handler);
    }

    std::function<void(const Shortcut&, KeyboardHold)> press;
    Shortcut taken { 0, 0 };

private:
    std::set<QString>* m_grabbed;
};

TEST_F(SettingsTest, OnlyAHoldingBindingKeepsTheKeysTypedAfterItsShortcutWaiting)
{
    auto defaults = makeDefaults();
    defaults->registerApplicationDefaults();
    std::set<QString> grabbed;
    auto grabber = std::make_unique<FakeGrabber>(&grabbed);
    FakeGrabber* keys = grabber.get();
    GlobalShortcutBinder binder(*defaults, std::move(grabber));
    int releases = 0;
    auto hold = [&] { return KeyboardHold([&] { ++releases; }); };
    int releasesWhenShown = -1;
    binder.bindShortcut(UserDefaultsKey::ShowExpandersShortcut, [&] { releasesWhenShown = releases; });
    KeyboardHold kept;
    binder.bindShortcutHoldingKeys(
        UserDefaultsKey::ExpandTextShortcut, [&](KeyboardHold held) { kept = std::move(held); });

    keys->press(defaultshortcuts::showExpanders, hold());
    EXPECT_EQ(releasesWhenShown, 1) << "the keys go on before the window opens";

    keys->press(defaultshortcuts::expandText, hold());
    EXPECT_EQ(releases, 1);
    kept.release();
    EXPECT_EQ(releases, 2);

    keys->press(defaultshortcuts::showExpanderBrowser, hold()); // bound to nothing
    EXPECT_EQ(releases, 3);
}

TEST_F(SettingsTest, TheBinderFollowsTheStoredShortcutWithoutBindingAgain)
{
    auto defaults = makeDefaults();
    defaults->registerApplicationDefaults();
    std::set<QString> grabbed;
    auto grabber = std::make_unique<FakeGrabber>(&grabbed);
    FakeGrabber* keys = grabber.get();
    keys->taken = Shortcut { 40, Shortcut::commandKeyMask }; // held by another application
    GlobalShortcutBinder binder(*defaults, std::move(grabber));
    int expansions = 0;
    binder.bindShortcut(UserDefaultsKey::ExpandTextShortcut, [&] { ++expansions; });

    EXPECT_EQ(grabbed, (std::set<QString> { "Ctrl+Alt+E" }));
    keys->press(defaultshortcuts::expandText, {});
    EXPECT_EQ(expansions, 1);

    defaults->setShortcut(UserDefaultsKey::ExpandTextShortcut, Shortcut { 2, Shortcut::commandKeyMask });
    EXPECT_EQ(grabbed, (std::set<QString> { "Ctrl+D" }));
    keys->press(defaultshortcuts::expandText, {});
    EXPECT_EQ(expansions, 1) << "the old shortcut must be let go";
    keys->press(Shortcut { 2, Shortcut::commandKeyMask }, {});
    EXPECT_EQ(expansions, 2);

    defaults->setShortcut(UserDefaultsKey::ExpandTextShortcut, std::nullopt);
    EXPECT_TRUE(grabbed.empty());
    EXPECT_EQ(binder.boundShortcut(UserDefaultsKey::ExpandTextShortcut), std::nullopt);

    // A shortcut another application holds is not bound, and said once however often it is
    // tried; the next change binds again.
    QSignalSpy unavailable(&binder, &GlobalShortcutBinder::shortcutUnavailable);
    defaults->setShortcut(UserDefaultsKey::ExpandTextShortcut, keys->taken);
    binder.retryUnavailableShortcuts();
    EXPECT_EQ(binder.boundShortcut(UserDefaultsKey::ExpandTextShortcut), std::nullopt);
    ASSERT_EQ(unavailable.count(), 1);
    EXPECT_EQ(unavailable[0][1].value<Shortcut>(), keys->taken);
    defaults->remove(UserDefaultsKey::ExpandTextShortcut);
    EXPECT_EQ(binder.boundShortcut(UserDefaultsKey::ExpandTextShortcut), defaultshortcuts::expandText);

    // Once the other program lets go, a retry (the preferences opening) takes it.
    defaults->setShortcut(UserDefaultsKey::ExpandTextShortcut, keys->taken);
    const Shortcut heldBefore = keys->taken;
    keys->taken = Shortcut { 0, 0 };
    binder.retryUnavailableShortcuts();
    EXPECT_EQ(binder.boundShortcut(UserDefaultsKey::ExpandTextShortcut), heldBefore);
    EXPECT_EQ(unavailable.count(), 1);
}

TEST_F(SettingsTest, TheRecorderStoresWhatIsTypedAndClearsOnBackspace)
{
    auto defaults = makeDefaults();
    defaults->registerApplicationDefaults();
    ShortcutRecorder recorder;
    recorder.setAssociatedUserDefaultsKey(*defaults, UserDefaultsKey::ShowExpanderBrowserShortcut);
    EXPECT_EQ(recorder.text(), QStringLiteral("Ctrl+Shift+Space"));

    struct Step {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::optional<Shortcut> stored;
        bool stillRecording;
    };
    const std::vector<Step> steps {
        { Qt::Key_Shift, Qt::ShiftModifier, defaultshortcuts::showExpanderBrowser, true },
        { Qt::Key_K, Qt::NoModifier, defaultshortcuts::showExpanderBrowser, true }, // needs a modifier
        { Qt::Key_K, Qt::ControlModifier | Qt::AltModifier, Shortcut { 40, 0x180000 }, false },
        { Qt::Key_F5, Qt::NoModifier, Shortcut { 96, 0 }, false },
        { Qt::Key_Escape, Qt::NoModifier, Shortcut { 96, 0 }, false },
        { Qt::Key_Backspace, Qt::NoModifier, std::nullopt, false },
    };
    for (const auto& step : steps) {
        recorder.setRecording(true);
        QTest::keyClick(&recorder, step.key, step.modifiers);
        EXPECT_EQ(defaults->shortcut(UserDefaultsKey::ShowExpanderBrowserShortcut), step.stored) << step.key;
        EXPECT_EQ(recorder.isRecording(), step.stillRecording) << step.key;
    }
    EXPECT_EQ(recorder.text(), QStringLiteral("Record Shortcut"));

    // A change made elsewhere shows at once.
    defaults->setShortcut(UserDefaultsKey::ShowExpanderBrowserShortcut, Shortcut { 1, Shortcut::controlKeyMask });
    EXPECT_EQ(recorder.text(), QStringLiteral("Super+S"));
}

} // namespace
} // namespace quillet
