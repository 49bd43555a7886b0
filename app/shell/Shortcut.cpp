#include "shell/Shortcut.h"

#include <QStringList>

#include <array>

namespace quillet {
namespace {

struct KeyEntry {
    uint16_t keyCode;
    uint32_t keysym; // X11
    int qtKey; // Qt::Key
    const char* name;
};

// The key codes of the stored form with their X11 keysyms and Qt keys.
constexpr std::array<KeyEntry, 79> keyTable { {
    { 0, 'a', Qt::Key_A, "A" },
    { 1, 's', Qt::Key_S, "S" },
    { 2, 'd', Qt::Key_D, "D" },
    { 3, 'f', Qt::Key_F, "F" },
    { 4, 'h', Qt::Key_H, "H" },
    { 5, 'g', Qt::Key_G, "G" },
    { 6, 'z', Qt::Key_Z, "Z" },
    { 7, 'x', Qt::Key_X, "X" },
    { 8, 'c', Qt::Key_C, "C" },
    { 9, 'v', Qt::Key_V, "V" },
    { 11, 'b', Qt::Key_B, "B" },
    { 12, 'q', Qt::Key_Q, "Q" },
    { 13, 'w', Qt::Key_W, "W" },
    { 14, 'e', Qt::Key_E, "E" },
    { 15, 'r', Qt::Key_R, "R" },
    { 16, 'y', Qt::Key_Y, "Y" },
    { 17, 't', Qt::Key_T, "T" },
    { 18, '1', Qt::Key_1, "1" },
    { 19, '2', Qt::Key_2, "2" },
    { 20, '3', Qt::Key_3, "3" },
    { 21, '4', Qt::Key_4, "4" },
    { 22, '6', Qt::Key_6, "6" },
    { 23, '5', Qt::Key_5, "5" },
    { 24, '=', Qt::Key_Equal, "=" },
    { 25, '9', Qt::Key_9, "9" },
    { 26, '7', Qt::Key_7, "7" },
    { 27, '-', Qt::Key_Minus, "-" },
    { 28, '8', Qt::Key_8, "8" },
    { 29, '0', Qt::Key_0, "0" },
    { 30, ']', Qt::Key_BracketRight, "]" },
    { 31, 'o', Qt::Key_O, "O" },
    { 32, 'u', Qt::Key_U, "U" },
    { 33, '[', Qt::Key_BracketLeft, "[" },
    { 34, 'i', Qt::Key_I, "I" },
    { 35, 'p', Qt::Key_P, "P" },
    { 36, 0xff0d, Qt::Key_Return, "Return" },
    { 37, 'l', Qt::Key_L, "L" },
    { 38, 'j', Qt::Key_J, "J" },
    { 39, '\'', Qt::Key_Apostrophe, "'" },
    { 40, 'k', Qt::Key_K, "K" },
    { 41, ';', Qt::Key_Semicolon, ";" },
    { 42, '\\', Qt::Key_Backslash, "\\" },
    { 43, ',', Qt::Key_Comma, "," },
    { 44, '/', Qt::Key_Slash, "/" },
    { 45, 'n', Qt::Key_N, "N" },
    { 46, 'm', Qt::Key_M, "M" },
    { 47, '.', Qt::Key_Period, "." },
    { 48, 0xff09, Qt::Key_Tab, "Tab" },
    { 49, ' ', Qt::Key_Space, "Space" },
    { 50, '`', Qt::Key_QuoteLeft, "`" },
    { 51, 0xff08, Qt::Key_Backspace, "Backspace" },
    { 53, 0xff1b, Qt::Key_Escape, "Escape" },
    { 96, 0xffc2, Qt::Key_F5, "F5" },
    { 97, 0xffc3, Qt::Key_F6, "F6" },
    { 98, 0xffc4, Qt::Key_F7, "F7" },
    { 99, 0xffc0, Qt::Key_F3, "F3" },
    { 100, 0xffc5, Qt::Key_F8, "F8" },
    { 101, 0xffc6, Qt::Key_F9, "F9" },
    { 103, 0xffc8, Qt::Key_F11, "F11" },
    { 105, 0xffca, Qt::Key_F13, "F13" },
    { 106, 0xffcd, Qt::Key_F16, "F16" },
    { 107, 0xffcb, Qt::Key_F14, "F14" },
    { 109, 0xffc7, Qt::Key_F10, "F10" },
    { 111, 0xffc9, Qt::Key_F12, "F12" },
    { 113, 0xffcc, Qt::Key_F15, "F15" },
    { 114, 0xff63, Qt::Key_Insert, "Insert" },
    { 115, 0xff50, Qt::Key_Home, "Home" },
    { 116, 0xff55, Qt::Key_PageUp, "Page Up" },
    { 117, 0xffff, Qt::Key_Delete, "Delete" },
    { 118, 0xffc1, Qt::Key_F4, "F4" },
    { 119, 0xff57, Qt::Key_End, "End" },
    { 120, 0xffbf, Qt::Key_F2, "F2" },
    { 121, 0xff56, Qt::Key_PageDown, "Page Down" },
    { 122, 0xffbe, Qt::Key_F1, "F1" },
    { 123, 0xff51, Qt::Key_Left, "Left" },
    { 124, 0xff53, Qt::Key_Right, "Right" },
    { 125, 0xff54, Qt::Key_Down, "Down" },
    { 126, 0xff52, Qt::Key_Up, "Up" },
    { 76, 0xff8d, Qt::Key_Enter, "Enter" },
} };

const KeyEntry* entryForKeyCode(uint16_t keyCode)
{
    for (const auto& entry : keyTable)
        if (entry.keyCode == keyCode)
            return &entry;
    return nullptr;
}

// X11 modifier state bits.
constexpr uint16_t xShift = 1 << 0;
constexpr uint16_t xControl = 1 << 2;
constexpr uint16_t xMod1 = 1 << 3; // Alt
constexpr uint16_t xMod4 = 1 << 6; // Super

} // namespace

QString Shortcut::encoded() const
{
    return QStringLiteral("%1:%2").arg(keyCode).arg(modifierFlags);
}

std::optional<Shortcut> Shortcut::decode(const QString& stored)
{
    const QStringList parts = stored.split(QLatin1Char(':'));
    if (parts.size() != 2)
        return std::nullopt;
    const auto isDecimal = [](const QString& text) {
        return !text.isEmpty() && text.size() <= 10
            && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    };
    if (!isDecimal(parts[0]) || !isDecimal(parts[1]))
        return std::nullopt;
    bool keyOk = false, flagsOk = false;
    const uint keyCode = parts[0].toUInt(&keyOk);
    const qulonglong flags = parts[1].toULongLong(&flagsOk);
    if (!keyOk || !flagsOk || keyCode > 0xffff || flags > 0xffffffffULL || !entryForKeyCode(uint16_t(keyCode)))
        return std::nullopt;
    return Shortcut { uint16_t(keyCode), uint32_t(flags) & modifierMask };
}

std::optional<uint32_t> Shortcut::keysym() const
{
    if (const auto* entry = entryForKeyCode(keyCode))
        return entry->keysym;
    return std::nullopt;
}

uint16_t Shortcut::x11Modifiers() const
{
    uint16_t state = 0;
    if (modifierFlags & shiftKeyMask)
        state |= xShift;
    if (modifierFlags & commandKeyMask)
        state |= xControl;
    if (modifierFlags & optionKeyMask)
        state |= xMod1;
    if (modifierFlags & controlKeyMask)
        state |= xMod4;
    return state;
}

std::optional<Shortcut> Shortcut::fromX11(uint32_t keysym, uint16_t state)
{
    // Upper-case letters (Shift held) name the same key as the lower-case ones.
    if (keysym >= 'A' && keysym <= 'Z')
        keysym += 'a' - 'A';
    for (const auto& entry : keyTable) {
        if (entry.keysym != keysym)
            continue;
        uint32_t flags = 0;
        if (state & xShift)
            flags |= shiftKeyMask;
        if (state & xControl)
            flags |= commandKeyMask;
        if (state & xMod1)
            flags |= optionKeyMask;
        if (state & xMod4)
            flags |= controlKeyMask;
        return Shortcut { entry.keyCode, flags };
    }
    return std::nullopt;
}

int Shortcut::qtKey() const
{
    if (const auto* entry = entryForKeyCode(keyCode))
        return entry->qtKey;
    return 0;
}

std::optional<Shortcut> Shortcut::fromQt(int key, int modifiers)
{
    for (const auto& entry : keyTable) {
        if (entry.qtKey != key)
            continue;
        uint32_t flags = 0;
        if (modifiers & Qt::ShiftModifier)
            flags |= shiftKeyMask;
        if (modifiers & Qt::ControlModifier)
            flags |= commandKeyMask;
        if (modifiers & Qt::AltModifier)
            flags |= optionKeyMask;
        if (modifiers & Qt::MetaModifier)
            flags |= controlKeyMask;
        return Shortcut { entry.keyCode, flags };
    }
    return std::nullopt;
}

QKeySequence Shortcut::keySequence() const
{
    Qt::KeyboardModifiers modifiers;
    if (modifierFlags & shiftKeyMask)
        modifiers |= Qt::ShiftModifier;
    if (modifierFlags & commandKeyMask)
        modifiers |= Qt::ControlModifier;
    if (modifierFlags & optionKeyMask)
        modifiers |= Qt::AltModifier;
    if (modifierFlags & controlKeyMask)
        modifiers |= Qt::MetaModifier;
    return QKeySequence(QKeyCombination(modifiers, Qt::Key(qtKey())));
}

QString Shortcut::displayText() const
{
    QStringList parts;
    if (modifierFlags & commandKeyMask)
        parts << QStringLiteral("Ctrl");
    if (modifierFlags & optionKeyMask)
        parts << QStringLiteral("Alt");
    if (modifierFlags & controlKeyMask)
        parts << QStringLiteral("Super");
    if (modifierFlags & shiftKeyMask)
        parts << QStringLiteral("Shift");
    const auto* entry = entryForKeyCode(keyCode);
    parts << (entry ? QString::fromUtf8(entry->name) : QStringLiteral("?"));
    return parts.join(QLatin1Char('+'));
}

} // namespace quillet
