#pragma once

#include <QKeySequence>
#include <QString>

#include <cstdint>
#include <optional>

namespace quillet {

/// One global shortcut: a key code and a modifier mask in the numbering that the settings
/// store (the classic desktop key codes: 14 is E, 49 Space, 36 Return, 53 Escape; the
/// modifier bits Shift 0x20000, Control 0x40000, Option 0x80000, Command 0x100000).
///
/// On this desktop Command is Ctrl, Option is Alt, Control is Super and Shift is Shift,
/// so the stored default 14 with Command and Option reads Ctrl+Alt+E.
///
/// Stored form (shared by the registered defaults, the binder, the recorder and the
/// menus): the text "<keyCode>:<modifierFlags>" in decimal, e.g. "14:1572864". Anything
/// that does not decode to a known key is no shortcut.
struct Shortcut {
    static constexpr uint32_t shiftKeyMask = 0x20000;
    static constexpr uint32_t controlKeyMask = 0x40000; // Super on this desktop
    static constexpr uint32_t optionKeyMask = 0x80000; // Alt
    static constexpr uint32_t commandKeyMask = 0x100000; // Ctrl
    static constexpr uint32_t modifierMask = shiftKeyMask | controlKeyMask | optionKeyMask | commandKeyMask;

    uint16_t keyCode = 0;
    uint32_t modifierFlags = 0;

    friend bool operator==(const Shortcut&, const Shortcut&) = default;

    /// The stored form.
    QString encoded() const;
    /// The shortcut of a stored value; none for anything else. Modifier bits other than
    /// the four are dropped.
    static std::optional<Shortcut> decode(const QString& stored);

    /// The X11 keysym of the key (lower-case for letters); none for an unknown key code.
    std::optional<uint32_t> keysym() const;
    /// The X11 modifier state: ShiftMask, ControlMask, Mod1 (Alt) and Mod4 (Super).
    uint16_t x11Modifiers() const;
    /// The shortcut of an X11 keysym and modifier state (other state bits are ignored);
    /// none for a key without a key code.
    static std::optional<Shortcut> fromX11(uint32_t keysym, uint16_t state);

    /// The Qt key (Qt::Key) of the key code; 0 when unknown.
    int qtKey() const;
    /// The shortcut of a Qt key and Qt keyboard modifiers (Qt::KeyboardModifiers as an
    /// int); none for a key without a key code.
    static std::optional<Shortcut> fromQt(int qtKey, int qtModifiers);

    /// The key sequence of a menu item that shows this shortcut.
    QKeySequence keySequence() const;

    /// The text shown to the user, e.g. "Ctrl+Alt+E", "Ctrl+Shift+Space".
    QString displayText() const;
};

/// The three default shortcuts.
namespace defaultshortcuts {
constexpr Shortcut expandText { 14, Shortcut::commandKeyMask | Shortcut::optionKeyMask };
constexpr Shortcut showExpanders { 14, Shortcut::controlKeyMask | Shortcut::optionKeyMask | Shortcut::commandKeyMask };
constexpr Shortcut showExpanderBrowser { 49, Shortcut::commandKeyMask | Shortcut::shiftKeyMask };
} // namespace defaultshortcuts

} // namespace quillet
