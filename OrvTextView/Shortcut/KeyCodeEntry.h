#pragma once

#include <QtCore/qnamespace.h>

#include <array>
#include <cstdint>

namespace orv {

/// One key of the shortcut settings' key-code numbering (US layout positions: 14 is E,
/// 36 Return, 49 Space, 53 Escape) with the X11 keysym and the toolkit key of the same key,
/// and the name a menu shows for it.
struct KeyCodeEntry {
    uint16_t keyCode;
    uint32_t keysym; // X11, lower-case for letters
    int qtKey; // Qt::Key
    const char* name;
};

/// Every key a shortcut can name: the one table that both the text view's shortcuts and the
/// application's global shortcuts read, so a key known to one is known to the other.
inline constexpr std::array<KeyCodeEntry, 79> keyCodeEntries { {
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

/// The entry of a key code; null when the numbering has no such key.
constexpr const KeyCodeEntry* keyCodeEntry(uint16_t keyCode)
{
    for (const auto& entry : keyCodeEntries)
        if (entry.keyCode == keyCode)
            return &entry;
    return nullptr;
}

/// The entry of a toolkit key (Qt::Key); null when the numbering has no such key.
constexpr const KeyCodeEntry* keyCodeEntryForQtKey(int qtKey)
{
    for (const auto& entry : keyCodeEntries)
        if (entry.qtKey == qtKey)
            return &entry;
    return nullptr;
}

} // namespace orv
