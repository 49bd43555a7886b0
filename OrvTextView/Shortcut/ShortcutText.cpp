#include "OrvTextView/Shortcut/ShortcutText.h"

#include "OrvTextView/Shortcut/KeyCodeEntry.h"

#include <QAction>
#include <QStringList>

namespace orv {

namespace {

QString keyText(QKeyCombination combination)
{
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    QStringList parts;
    if (modifiers & Qt::ControlModifier)
        parts << QStringLiteral("Ctrl");
    if (modifiers & Qt::AltModifier)
        parts << QStringLiteral("Alt");
    if (modifiers & Qt::MetaModifier)
        parts << QStringLiteral("Super");
    if (modifiers & Qt::ShiftModifier)
        parts << QStringLiteral("Shift");
    const int key = combination.key();
    if (const KeyCodeEntry* entry = keyCodeEntryForQtKey(key))
        parts << QString::fromUtf8(entry->name);
    else
        parts << QKeySequence(key).toString(QKeySequence::NativeText);
    return parts.join(QLatin1Char('+'));
}

} // namespace

QString shortcutText(const QKeySequence& sequence)
{
    QStringList presses;
    for (int i = 0; i < sequence.count(); ++i)
        presses << keyText(sequence[i]);
    return presses.join(QStringLiteral(", "));
}

void showShortcutText(QAction* action, const QKeySequence& sequence)
{
    QString title = action->text().section(QLatin1Char('\t'), 0, 0);
    if (!sequence.isEmpty())
        title += QLatin1Char('\t') + shortcutText(sequence);
    action->setText(title);
}

void showShortcutText(QAction* action)
{
    showShortcutText(action, action->shortcut());
}

} // namespace orv
