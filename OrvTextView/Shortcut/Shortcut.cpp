#include "OrvTextView/Shortcut/Shortcut.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

#include <unordered_map>

namespace orv {

namespace {

// The shortcut settings' key codes of the toolkit's keys (US layout positions).
const std::unordered_map<int, int>& keyCodes()
{
    static const std::unordered_map<int, int> table {
        { Qt::Key_A, 0 },
        { Qt::Key_S, 1 },
        { Qt::Key_D, 2 },
        { Qt::Key_F, 3 },
        { Qt::Key_H, 4 },
        { Qt::Key_G, 5 },
        { Qt::Key_Z, 6 },
        { Qt::Key_X, 7 },
        { Qt::Key_C, 8 },
        { Qt::Key_V, 9 },
        { Qt::Key_B, 11 },
        { Qt::Key_Q, 12 },
        { Qt::Key_W, 13 },
        { Qt::Key_E, 14 },
        { Qt::Key_R, 15 },
        { Qt::Key_Y, 16 },
        { Qt::Key_T, 17 },
        { Qt::Key_1, 18 },
        { Qt::Key_2, 19 },
        { Qt::Key_3, 20 },
        { Qt::Key_4, 21 },
        { Qt::Key_6, 22 },
        { Qt::Key_5, 23 },
        { Qt::Key_Equal, 24 },
        { Qt::Key_9, 25 },
        { Qt::Key_7, 26 },
        { Qt::Key_Minus, 27 },
        { Qt::Key_8, 28 },
        { Qt::Key_0, 29 },
        { Qt::Key_BracketRight, 30 },
        { Qt::Key_O, 31 },
        { Qt::Key_U, 32 },
        { Qt::Key_BracketLeft, 33 },
        { Qt::Key_I, 34 },
        { Qt::Key_P, 35 },
        { Qt::Key_Return, 36 },
        { Qt::Key_L, 37 },
        { Qt::Key_J, 38 },
        { Qt::Key_Apostrophe, 39 },
        { Qt::Key_K, 40 },
        { Qt::Key_Semicolon, 41 },
        { Qt::Key_Backslash, 42 },
        { Qt::Key_Comma, 43 },
        { Qt::Key_Slash, 44 },
        { Qt::Key_N, 45 },
        { Qt::Key_M, 46 },
        { Qt::Key_Period, 47 },
        { Qt::Key_Tab, 48 },
        { Qt::Key_Space, 49 },
        { Qt::Key_QuoteLeft, 50 },
        { Qt::Key_Backspace, 51 },
        { Qt::Key_Escape, 53 },
        { Qt::Key_Enter, 76 },
        { Qt::Key_F5, 96 },
        { Qt::Key_F6, 97 },
        { Qt::Key_F7, 98 },
        { Qt::Key_F3, 99 },
        { Qt::Key_F8, 100 },
        { Qt::Key_F9, 101 },
        { Qt::Key_F11, 103 },
        { Qt::Key_F10, 109 },
        { Qt::Key_F12, 111 },
        { Qt::Key_Home, 115 },
        { Qt::Key_PageUp, 116 },
        { Qt::Key_Delete, 117 },
        { Qt::Key_F4, 118 },
        { Qt::Key_End, 119 },
        { Qt::Key_F2, 120 },
        { Qt::Key_PageDown, 121 },
        { Qt::Key_F1, 122 },
        { Qt::Key_Left, 123 },
        { Qt::Key_Right, 124 },
        { Qt::Key_Down, 125 },
        { Qt::Key_Up, 126 },
    };
    return table;
}

std::optional<QString> charactersIgnoringModifiers(int key)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QStringLiteral("\r");
    case Qt::Key_Escape:
        return QString(QChar(0x1b));
    case Qt::Key_Tab:
        return QStringLiteral("\t");
    case Qt::Key_Backspace:
        return QString(QChar(0x7f));
    default:
        break;
    }
    if (key >= Qt::Key_Space && key < 0x01000000) {
        const char32_t codePoint = char32_t(key);
        return QString::fromUcs4(&codePoint, 1).toLower();
    }
    return std::nullopt;
}

// Consumes the key presses that one local shortcut's handler takes.
class LocalMonitor final : public QObject {
public:
    LocalMonitor(Shortcut shortcut, std::function<bool()> handler, QObject* parent)
        : QObject(parent)
        , m_shortcut(std::move(shortcut))
        , m_handler(std::move(handler))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event != m_seen)
            m_seen = nullptr;
        if (event->type() != QEvent::KeyPress || !qobject_cast<QWidget*>(watched))
            return false;
        // A key press the widget does not take goes up to its parents; ask once per press.
        if (event == m_seen)
            return false;
        m_seen = event;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!m_shortcut.validateEvent(*key) || !m_handler)
            return false;
        return m_handler();
    }

private:
    Shortcut m_shortcut;
    std::function<bool()> m_handler;
    const QEvent* m_seen = nullptr;
};

} // namespace

KeyPress KeyPress::fromEvent(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    return KeyPress {
        .cmd = modifiers.testFlag(Qt::ControlModifier),
        .fn = false,
        .ctrl = modifiers.testFlag(Qt::MetaModifier),
        .alt = modifiers.testFlag(Qt::AltModifier),
        .shift = modifiers.testFlag(Qt::ShiftModifier),
        .characters = charactersIgnoringModifiers(event.key()),
        .keyCode = Shortcut::keyCodeForKey(event.key()),
    };
}

Shortcut::Shortcut(QString character, bool cmd, bool fn, bool ctrl, bool alt, bool shift)
    : cmd(cmd)
    , fn(fn)
    , ctrl(ctrl)
    , alt(alt)
    , shift(shift)
    , character(std::move(character))
{
}

Shortcut::Shortcut(int keyCode, bool cmd, bool fn, bool ctrl, bool alt, bool shift)
    : cmd(cmd)
    , fn(fn)
    , ctrl(ctrl)
    , alt(alt)
    , shift(shift)
    , keyCode(keyCode)
{
}

bool Shortcut::validateEvent(const KeyPress& press) const
{
    if (press.cmd != cmd || press.fn != fn || press.ctrl != ctrl || press.alt != alt || press.shift != shift)
        return false;
    if (character)
        return press.characters && *press.characters == *character;
    return keyCode && press.keyCode && *press.keyCode == *keyCode;
}

bool Shortcut::validateEvent(const QKeyEvent& event) const
{
    return validateEvent(KeyPress::fromEvent(event));
}

bool operator==(const Shortcut& left, const Shortcut& right)
{
    return left.cmd == right.cmd && left.fn == right.fn && left.ctrl == right.ctrl && left.alt == right.alt
        && left.shift == right.shift && left.character == right.character && left.keyCode == right.keyCode;
}

std::optional<int> Shortcut::keyCodeForKey(int qtKey)
{
    const auto found = keyCodes().find(qtKey);
    if (found == keyCodes().end())
        return std::nullopt;
    return found->second;
}

ShortcutHandlers::ShortcutHandlers(Shortcut shortcut)
    : m_shortcut(std::move(shortcut))
{
}

void ShortcutHandlers::addHandler(std::function<void()> handler)
{
    m_handlers.push_back(std::move(handler));
}

ShortcutMonitor& ShortcutMonitor::instance()
{
    static ShortcutMonitor* monitor = new ShortcutMonitor;
    return *monitor;
}

ShortcutMonitor::ShortcutMonitor() = default;

void ShortcutMonitor::handleLocalShortcut(const Shortcut& shortcut, std::function<bool()> handler)
{
    auto* application = QCoreApplication::instance();
    if (!application)
        return;
    application->installEventFilter(new LocalMonitor(shortcut, std::move(handler), application));
}

void ShortcutMonitor::handleGlobalShortcut(const Shortcut& shortcut, std::function<void()> handler)
{
    for (auto& group : m_globalShortcutHandlers) {
        if (group.shortcut() == shortcut) {
            group.addHandler(std::move(handler));
            return;
        }
    }
    ShortcutHandlers group(shortcut);
    group.addHandler(std::move(handler));
    m_globalShortcutHandlers.push_back(std::move(group));
}

bool ShortcutMonitor::deliverGlobalKeyPress(const KeyPress& press)
{
    for (const auto& group : m_globalShortcutHandlers) {
        if (!group.shortcut().validateEvent(press))
            continue;
        // Handlers may register more shortcuts; run a copy.
        const auto handlers = group.handlers();
        for (const auto& handler : handlers)
            handler();
        return true;
    }
    return false;
}

} // namespace orv
