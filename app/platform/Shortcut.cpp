#include "platform/Shortcut.h"

#include "OrvTextView/Shortcut/KeyCodeEntry.h"

#include <QStringList>

#include <algorithm>

namespace quillet {
namespace {

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
    if (!keyOk || !flagsOk || keyCode > 0xffff || flags > 0xffffffffULL || !orv::keyCodeEntry(uint16_t(keyCode)))
        return std::nullopt;
    return Shortcut { uint16_t(keyCode), uint32_t(flags) & modifierMask };
}

std::optional<uint32_t> Shortcut::keysym() const
{
    if (const auto* entry = orv::keyCodeEntry(keyCode))
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
    for (const auto& entry : orv::keyCodeEntries) {
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
    if (const auto* entry = orv::keyCodeEntry(keyCode))
        return entry->qtKey;
    return 0;
}

std::optional<Shortcut> Shortcut::fromQt(int key, int modifiers)
{
    for (const auto& entry : orv::keyCodeEntries) {
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
    const auto* entry = orv::keyCodeEntry(keyCode);
    parts << (entry ? QString::fromUtf8(entry->name) : QStringLiteral("?"));
    return parts.join(QLatin1Char('+'));
}

} // namespace quillet
