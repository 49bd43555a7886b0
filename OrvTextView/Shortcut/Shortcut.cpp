#include "OrvTextView/Shortcut/Shortcut.h"

#include "OrvTextView/Shortcut/KeyCodeEntry.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

namespace orv {

namespace {

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
    if (const KeyCodeEntry* entry = keyCodeEntryForQtKey(qtKey))
        return entry->keyCode;
    return std::nullopt;
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
    // A child of the application object rather than a static, so it goes with the application.
    QCoreApplication* application = QCoreApplication::instance();
    Q_ASSERT(application);
    const QString name = QStringLiteral("orv-shortcut-monitor");
    if (auto* monitor = application->findChild<ShortcutMonitor*>(name, Qt::FindDirectChildrenOnly))
        return *monitor;
    auto* monitor = new ShortcutMonitor(application);
    monitor->setObjectName(name);
    return *monitor;
}

ShortcutMonitor::ShortcutMonitor(QObject* parent)
    : QObject(parent)
{
}

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
