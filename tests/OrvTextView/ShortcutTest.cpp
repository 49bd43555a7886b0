#include "OrvTextView/Shortcut/Shortcut.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>

using namespace orv;

namespace {

QKeyEvent press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {})
{
    return QKeyEvent(QEvent::KeyPress, key, modifiers, text);
}

} // namespace

class ShortcutTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void shortcutsMatchTheirKeyAndExactlyTheirModifiers_data()
    {
        QTest::addColumn<bool>("byCharacter");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("matches");
        const int none = Qt::NoModifier;
        QTest::newRow("Return alone") << false << int(Qt::Key_Return) << none << true;
        QTest::newRow("Return with the keypad flag") << false << int(Qt::Key_Return) << int(Qt::KeypadModifier) << true;
        QTest::newRow("Shift-Return") << false << int(Qt::Key_Return) << int(Qt::ShiftModifier) << false;
        QTest::newRow("Command-Return") << false << int(Qt::Key_Return) << int(Qt::ControlModifier) << false;
        // A key-code shortcut matches only its own key, also keys without characters.
        QTest::newRow("another key without characters") << false << int(Qt::Key_F13) << none << false;
        QTest::newRow("another key") << false << int(Qt::Key_Escape) << none << false;
        QTest::newRow("character with Command") << true << int(Qt::Key_E) << int(Qt::ControlModifier) << true;
        QTest::newRow("character with Command and Shift")
            << true << int(Qt::Key_E) << int(Qt::ControlModifier | Qt::ShiftModifier) << false;
        QTest::newRow("character, other letter") << true << int(Qt::Key_R) << int(Qt::ControlModifier) << false;
    }
    void shortcutsMatchTheirKeyAndExactlyTheirModifiers()
    {
        QFETCH(bool, byCharacter);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, matches);
        const Shortcut shortcut = byCharacter ? Shortcut(QStringLiteral("e"), true) : Shortcut(36);
        const QKeyEvent event = press(key, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(shortcut.validateEvent(event), matches);
    }

    void keysWithoutCharactersHaveTheSettingsKeyCodes_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("keyCode");
        QTest::newRow("F1") << int(Qt::Key_F1) << 122;
        QTest::newRow("F13") << int(Qt::Key_F13) << 105;
        QTest::newRow("F14") << int(Qt::Key_F14) << 107;
        QTest::newRow("F15") << int(Qt::Key_F15) << 113;
        QTest::newRow("F16") << int(Qt::Key_F16) << 106;
        QTest::newRow("Insert") << int(Qt::Key_Insert) << 114;
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << 76;
    }
    void keysWithoutCharactersHaveTheSettingsKeyCodes()
    {
        QFETCH(int, key);
        QFETCH(int, keyCode);
        QCOMPARE(Shortcut::keyCodeForKey(key), std::optional<int>(keyCode));
        QVERIFY(Shortcut(keyCode, true).validateEvent(press(key, Qt::ControlModifier)));
        QVERIFY(!Shortcut(keyCode).validateEvent(press(Qt::Key_F12)));
    }

    void equalityNeedsTheSameKindOfKey()
    {
        QVERIFY(Shortcut(36) == Shortcut(36));
        QVERIFY(!(Shortcut(36) == Shortcut(36, true)));
        QVERIFY(!(Shortcut(QStringLiteral("\r")) == Shortcut(36)));
        QVERIFY(Shortcut(QStringLiteral("a"), false, false, false, true)
            == Shortcut(QStringLiteral("a"), false, false, false, true));
    }

    void localHandlersConsumeOnlyWhenTheyAnswerTrue()
    {
        QLineEdit field;
        field.show();
        QVERIFY(QTest::qWaitForWindowExposed(&field));
        int escapes = 0;
        bool consume = true;
        int returns = 0;
        auto& monitor = ShortcutMonitor::instance();
        monitor.handleLocalShortcut(Shortcut(53), [&] {
            ++escapes;
            return true;
        });
        monitor.handleLocalShortcut(Shortcut(QStringLiteral("x")), [&] {
            ++returns;
            return consume;
        });

        QTest::keyClick(&field, Qt::Key_X);
        QCOMPARE(field.text(), QString());
        consume = false;
        QTest::keyClick(&field, Qt::Key_X);
        QCOMPARE(field.text(), QString("x"));
        QCOMPARE(returns, 2); // once per press, not once per widget it passes through
        QTest::keyClick(&field, Qt::Key_Y);
        QCOMPARE(returns, 2);
        QTest::keyClick(&field, Qt::Key_Escape);
        QCOMPARE(escapes, 1);
    }

    void globalHandlersGroupByShortcut()
    {
        auto& monitor = ShortcutMonitor::instance();
        QStringList calls;
        monitor.handleGlobalShortcut(Shortcut(14, true, false, false, true), [&] { calls << "first"; });
        monitor.handleGlobalShortcut(Shortcut(14, true, false, false, true), [&] { calls << "second"; });
        monitor.handleGlobalShortcut(
            Shortcut(QStringLiteral("e"), true, false, false, true), [&] { calls << "by character"; });
        const QKeyEvent event = press(Qt::Key_E, Qt::ControlModifier | Qt::AltModifier);
        QVERIFY(monitor.deliverGlobalKeyPress(KeyPress::fromEvent(event)));
        // Both groups accept the press; only the one made first runs, all its handlers in order.
        QCOMPARE(calls, QStringList({ "first", "second" }));
        QVERIFY(!monitor.deliverGlobalKeyPress(KeyPress::fromEvent(press(Qt::Key_E))));
    }
};

QTEST_MAIN(ShortcutTest)
#include "ShortcutTest.moc"
