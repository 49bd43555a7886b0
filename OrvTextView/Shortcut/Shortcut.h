#pragma once

#include "OrvTextView/OrvTextViewExport.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QKeyEvent;

namespace orv {

/// One key press as shortcuts compare it: the five modifier flags, the characters of the
/// key ignoring modifiers, and the key's code in the shortcuts' key-code numbering.
struct ORVTEXTVIEW_EXPORT KeyPress {
    bool cmd = false;
    bool fn = false;
    bool ctrl = false;
    bool alt = false;
    bool shift = false;
    std::optional<QString> characters;
    std::optional<int> keyCode;

    /// The key press of a toolkit key event. On this desktop Command is the Ctrl key,
    /// Option the Alt key and Control the Super key; there is no Function flag.
    static KeyPress fromEvent(const QKeyEvent& event);
};

/// A key with an exact set of modifiers, named either by its characters or by its key code
/// (the shortcut settings' numbering: 36 Return, 53 Escape, 49 Space, 14 E, ...). Every
/// modifier must be as stated: true down, false up; Caps Lock and the keypad do not count.
class ORVTEXTVIEW_EXPORT Shortcut {
public:
    explicit Shortcut(
        QString character, bool cmd = false, bool fn = false, bool ctrl = false, bool alt = false, bool shift = false);
    explicit Shortcut(
        int keyCode, bool cmd = false, bool fn = false, bool ctrl = false, bool alt = false, bool shift = false);

    bool cmd = false;
    bool fn = false;
    bool ctrl = false;
    bool alt = false;
    bool shift = false;
    std::optional<QString> character;
    std::optional<int> keyCode;

    /// Whether the key press is this shortcut: the same modifiers and the same key. A
    /// shortcut by character compares characters only, one by key code key codes only.
    bool validateEvent(const KeyPress& press) const;
    bool validateEvent(const QKeyEvent& event) const;

    /// The same modifiers and the same kind of key with the same value.
    friend ORVTEXTVIEW_EXPORT bool operator==(const Shortcut& left, const Shortcut& right);

    /// The key code of a toolkit key, when the numbering has one.
    static std::optional<int> keyCodeForKey(int qtKey);
};

/// The global handlers of one shortcut, in the order they were added.
class ORVTEXTVIEW_EXPORT ShortcutHandlers {
public:
    explicit ShortcutHandlers(Shortcut shortcut);

    const Shortcut& shortcut() const { return m_shortcut; }
    const std::vector<std::function<void()>>& handlers() const { return m_handlers; }
    void addHandler(std::function<void()> handler);

private:
    Shortcut m_shortcut;
    std::vector<std::function<void()>> m_handlers;
};

/// The process-wide shortcut monitor.
///
/// Local shortcuts see the key presses sent to this application's widgets, before the
/// widgets do, and may consume them. Global shortcuts observe key presses reported from
/// outside the application: a desktop backend that can see them hands them to
/// deliverGlobalKeyPress(); without one, global handlers are never called.
class ORVTEXTVIEW_EXPORT ShortcutMonitor final : public QObject {
    Q_OBJECT
public:
    /// Made on first use, on the thread that first asks (the GUI thread), as a child of the
    /// application object, which must exist; it goes with the application.
    static ShortcutMonitor& instance();

    /// For every key press that the shortcut accepts, calls `handler`; when it answers
    /// true the key press is consumed, else it goes on as usual. Never removed.
    void handleLocalShortcut(const Shortcut& shortcut, std::function<bool()> handler);

    /// Adds `handler` to the group of an equal shortcut, or to a new group.
    void handleGlobalShortcut(const Shortcut& shortcut, std::function<void()> handler);

    /// Runs all handlers of the first group (in creation order) whose shortcut accepts
    /// the key press; false when none does.
    bool deliverGlobalKeyPress(const KeyPress& press);

private:
    explicit ShortcutMonitor(QObject* parent);

    std::vector<ShortcutHandlers> m_globalShortcutHandlers;
};

} // namespace orv
