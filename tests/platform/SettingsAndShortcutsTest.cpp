#include "expansion/TextSettings.h"
#include "front/SettingsFile.h"
#include "platform/GlobalShortcutBinder.h"
#include "platform/Shortcut.h"
#include "platform/UserDefaults.h"
#include "preferences/ShortcutRecorder.h"
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

/// Lines of a hand-edited settings file, and the indentation unit both readers must make of them.
struct StoredValueCase {
    const char* name;
    const char* lines;
    const char16_t* indentUnit;
};

TEST_F(SettingsTest, TheApplicationAndTheCommandLineReadEveryStoredValueAlike)
{
    const StoredValueCase cases[] = {
        { "missing", "", u"    " },
        { "plain size", "IndentSize=8", u"        " },
        { "signed size", "IndentSize=+2", u"  " },
        { "quoted size", "IndentSize=\"8\"", u"        " },
        { "typed int", "IndentSize=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\b)", u"        " },
        { "typed long", "IndentSize=@Variant(\\0\\0\\0\\x4\\0\\0\\0\\0\\0\\0\\0\\x3)", u"   " },
        { "typed negative int", "IndentSize=@Variant(\\0\\0\\0\\x2\\xff\\xff\\xff\\xfd)", u"" },
        { "typed text", "IndentSize=@Variant(\\0\\0\\0\\n\\0\\0\\0\\x2\\0\\x36)", u"      " },
        { "typed Boolean as a size", "IndentSize=@Variant(\\0\\0\\0\\x1\\x1)", u"    " },
        { "typed form spelled out", "IndentSize=@Variant(int 8)", u"    " },
        { "typed bytes", "IndentSize=@ByteArray(8)", u"    " },
        { "variant garbage", "IndentSize=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\tgarbage)", u"    " },
        { "zero: no indentation", "IndentSize=0", u"" },
        { "typed zero", "IndentSize=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\0)", u"" },
        { "negative: no indentation", "IndentSize=-3", u"" },
        { "above what the preferences offer", "IndentSize=17", u"                 " },
        { "letters", "IndentSize=abc", u"    " },
        { "spaces inside quotes", "IndentSize=\" 8 \"", u"    " },
        { "trailing letters", "IndentSize=8px", u"    " },
        { "fraction", "IndentSize=2.5", u"    " },
        { "huge", "IndentSize=99999999999999999999", u"    " },
        { "empty", "IndentSize=", u"    " },
        { "list", "IndentSize=1, 2", u"    " },
        { "the later entry wins", "IndentSize=2\nIndentSize=3", u"   " },
        { "in another section", "[Other]\nIndentSize=2", u"    " },
        { "tabs", "IndentWithSpaces=false\nIndentSize=2", u"\t" },
        { "tabs with size 0", "IndentWithSpaces=false\nIndentSize=0", u"\t" },
        { "capital false", "IndentWithSpaces=FALSE", u"\t" },
        { "zero for false", "IndentWithSpaces=0", u"\t" },
        { "typed false", "IndentWithSpaces=@Variant(\\0\\0\\0\\x1\\0)", u"\t" },
        { "spaces on, size 0", "IndentWithSpaces=true\nIndentSize=0", u"" },
        { "maybe", "IndentWithSpaces=maybe", u"    " },
        { "yes", "IndentWithSpaces=yes", u"    " },
        { "two", "IndentWithSpaces=2", u"    " },
        { "typed int as a Boolean", "IndentWithSpaces=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\0)", u"    " },
        { "quoted spaces", "IndentWithSpaces=\" false \"", u"    " },
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A file of its own per case: QSettings keeps what it read of a file for a while.
        const auto file = m_folder.path() / ("case" + std::to_string(++index) + ".ini");
        test::writeFile(file, std::string("[General]\n") + c.lines + "\n");

        auto application = std::make_shared<UserDefaults>(
            std::make_unique<QSettings>(QString::fromStdString(file.string()), QSettings::IniFormat));
        application->registerApplicationDefaults();
        auto commandLine = std::make_shared<InMemorySettings>();
        registerPlainDefaults(*commandLine);
        settingsfile::apply(file, *commandLine);

        for (const auto& reader : std::initializer_list<std::shared_ptr<Settings>> { application, commandLine }) {
            Settings::setShared(reader);
            EXPECT_EQ(TextSettings::indentString(), icu::UnicodeString(c.indentUnit))
                << (reader == application ? "application" : "command line");
        }
    }
    Settings::setShared(std::make_shared<InMemorySettings>());
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
    bool grab(const Shortcut& shortcut, bool holdKeysAfter) override
    {
        if (shortcut == taken)
            return false;
        m_grabbed->insert(shortcut.displayText());
        if (holdKeysAfter)
            holding.insert(shortcut.displayText());
        return true;
    }
    void ungrab(const Shortcut& shortcut) override { m_grabbed->erase(shortcut.displayText()); }
    void setPressHandler(std::function<void(const Shortcut&, KeyboardHold)> handler) override
    {
        press = std::move(handler);
    }
    void setLostHandler(std::function<void(const Shortcut&)> handler) override { lost = std::move(handler); }
    /// Another client took the shortcut while the process was stopped.
    void takeAway(const Shortcut& shortcut)
    {
        m_grabbed->erase(shortcut.displayText());
        taken = shortcut;
        lost(shortcut);
    }

    std::function<void(const Shortcut&, KeyboardHold)> press;
    std::function<void(const Shortcut&)> lost;
    Shortcut taken { 0, 0 };
    /// The shortcuts grabbed so that the keys after them wait.
    std::set<QString> holding;

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

    // The grabber holds the keys after the expand shortcut alone; a hold that comes with
    // another still goes before the action.
    EXPECT_EQ(keys->holding, (std::set<QString> { "Ctrl+Alt+E" }));
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

TEST_F(SettingsTest, AShortcutAnotherProgramTookWhileThisOneWasStoppedIsToldAndTakenAgainOnARetry)
{
    auto defaults = makeDefaults();
    defaults->registerApplicationDefaults();
    std::set<QString> grabbed;
    auto grabber = std::make_unique<FakeGrabber>(&grabbed);
    FakeGrabber* keys = grabber.get();
    GlobalShortcutBinder binder(*defaults, std::move(grabber));
    int expansions = 0;
    binder.bindShortcut(UserDefaultsKey::ExpandTextShortcut, [&] { ++expansions; });
    binder.bindShortcut(UserDefaultsKey::ShowExpandersShortcut, [] {});
    QSignalSpy unavailable(&binder, &GlobalShortcutBinder::shortcutUnavailable);
    ASSERT_EQ(binder.boundShortcut(UserDefaultsKey::ExpandTextShortcut), defaultshortcuts::expandText);

    // Each time it is lost it is told once, as a shortcut another program holds; the other
    // binding keeps its own.
    for (int round = 1; round <= 2; ++round) {
        keys->takeAway(defaultshortcuts::expandText);
        EXPECT_EQ(binder.boundShortcut(UserDefaultsKey::ExpandTextShortcut), std::nullopt) << round;
        EXPECT_EQ(binder.boundShortcut(UserDefaultsKey::ShowExpandersShortcut), defaultshortcuts::showExpanders);
        ASSERT_EQ(unavailable.count(), round);
        EXPECT_EQ(unavailable.last()[0].value<UserDefaultsKey>(), UserDefaultsKey::ExpandTextShortcut);
        EXPECT_EQ(unavailable.last()[1].value<Shortcut>(), defaultshortcuts::expandText);
        binder.retryUnavailableShortcuts();
        EXPECT_EQ(binder.boundShortcut(UserDefaultsKey::ExpandTextShortcut), std::nullopt) << "still the other's";
        EXPECT_EQ(unavailable.count(), round);

        keys->taken = Shortcut { 0, 0 }; // the other program let it go
        binder.retryUnavailableShortcuts();
        EXPECT_EQ(binder.boundShortcut(UserDefaultsKey::ExpandTextShortcut), defaultshortcuts::expandText) << round;
        keys->press(defaultshortcuts::expandText, {});
        EXPECT_EQ(expansions, round);
    }
}

TEST_F(SettingsTest, TheRecorderTakesAChordTheApplicationHolds)
{
    auto defaults = makeDefaults();
    defaults->registerApplicationDefaults();
    std::set<QString> grabbed;
    GlobalShortcutBinder binder(*defaults, std::make_unique<FakeGrabber>(&grabbed));
    binder.bindShortcutHoldingKeys(UserDefaultsKey::ExpandTextShortcut, [](KeyboardHold) {});
    binder.bindShortcut(UserDefaultsKey::ShowExpanderBrowserShortcut, [] {});
    // As the application wires them: while a recorder records, the desktop's keys reach it.
    ShortcutRecorder::setRecordingObserver([&](bool on) { on ? binder.suspendGrabs() : binder.resumeGrabs(); });
    const std::pair<Qt::Key, std::set<QString>> presses[] = { { Qt::Key_Escape, { "Ctrl+Alt+E", "Ctrl+Shift+Space" } },
        { Qt::Key_E, { "Ctrl+Alt+E" } } }; // Escape keeps the shortcut; the held chord is taken
    for (const auto& [key, grabbedAfter] : presses) {
        ShortcutRecorder recorder;
        recorder.setAssociatedUserDefaultsKey(*defaults, UserDefaultsKey::ShowExpanderBrowserShortcut);
        recorder.setRecording(true);
        EXPECT_TRUE(grabbed.empty()) << "nothing is held while recording";
        QTest::keyClick(&recorder, key, key == Qt::Key_E ? Qt::ControlModifier | Qt::AltModifier : Qt::NoModifier);
        EXPECT_EQ(grabbed, grabbedAfter);
    }
    ShortcutRecorder::setRecordingObserver(nullptr);
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
