#pragma once

#include "OrvTextView/OrvTextViewExport.h"

#include <QKeySequence>
#include <QString>

class QAction;

namespace orv {

/// A key sequence as every menu and window of the application writes it: the modifiers in
/// the order Ctrl, Alt, Super, Shift, then the key's name, joined by "+" ("Ctrl+Alt+Super+E",
/// "Ctrl+Page Up"); the keys of a sequence of several presses joined by ", ".
ORVTEXTVIEW_EXPORT QString shortcutText(const QKeySequence& sequence);

/// Shows `sequence` beside the action's title in a menu, written as shortcutText() writes it,
/// in place of the toolkit's own spelling; an empty sequence shows none. The action's own
/// shortcut is not changed.
ORVTEXTVIEW_EXPORT void showShortcutText(QAction* action, const QKeySequence& sequence);

/// The same for the action's own first shortcut.
ORVTEXTVIEW_EXPORT void showShortcutText(QAction* action);

} // namespace orv
