#pragma once

#include <unicode/unistr.h>

#include <cstdint>

namespace quillet {

class AccessibleElement;
class KeyboardPaste;

/// Turns `line`, the text before the caret on its line as last read, into `expansion` through
/// the keyboard, for a text whose application refuses other programs' edits but lets them set
/// its selection: the span that differs is selected, the rest of the expansion pasted over it,
/// the caret put `caret` units into the expansion, and the line read back. The times it gives
/// each step are PasteBounds'.
///
/// Nothing is written into a text of a single line when the expansion has several
/// (SingleLineTextError), when the clipboard cannot be kept (ClipboardNotKeptError, or
/// ClipboardTooLargeError past what is kept to give it back), or when
/// the keyboard's focus is no longer the text's at the paste key (FocusMovedError): the text's
/// focus is asked as its selection shows, and the window's together with the key.
/// The keys typed after the shortcut are set aside until the press ends, or until their hold's
/// bound if that comes first (KeyboardPaste); where they cannot be, they go on first, and when
/// they changed the line nothing is written and this returns false. When their hold let them go
/// before the paste (the press outlasted its bound), they may still be on their way: nothing is
/// written, and this throws EditorTooSlowError.
///
/// Succeeds only when the text holds the expansion and the caret stands where it belongs.
/// Otherwise the text ends as it was: a paste the editor did not take in time is withdrawn, so
/// that it cannot land later (EditorTooSlowError); one it took and dropped leaves the text as
/// it was (ReadOnlyTextError); one that showed but whose caret cannot be put, or that the
/// editor changed as it took it (PasteAlteredError), is taken back by another paste; and where
/// that fails, this throws EditNotPutBackError. When the editor stops answering (or its bus
/// goes) with a paste on its way, a paste it has not taken yet is withdrawn and the error goes
/// on; one it has taken lands once it answers again, and where that leaves the expansion, this
/// throws EditUnfinishedError. The clipboard is given back in every case. Throws AXError.
bool pasteOnLine(AccessibleElement& element, const icu::UnicodeString& line, const icu::UnicodeString& expansion,
    int32_t caret, KeyboardPaste& paste);

} // namespace quillet
