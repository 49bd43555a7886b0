#pragma once

#include <unicode/unistr.h>

#include <chrono>
#include <cstdint>

namespace quillet {

class AccessibleElement;
class KeyboardPaste;

/// How long a paste may take to show in the text before it counts as refused.
constexpr std::chrono::milliseconds pasteArrivalBound { 700 };

/// Turns `line`, the text before the caret on its line as last read, into `expansion` through
/// the keyboard, for a text whose application refuses other programs' edits but lets them set
/// its selection: the span that differs is selected, the rest of the expansion pasted over it,
/// the caret put `caret` units into the expansion, and the line read back.
///
/// The keys typed after the shortcut are set aside until the press ends (KeyboardPaste); where
/// they cannot be, they go on first, and when they changed the line nothing is written and
/// this returns false. When their hold let them go before (the press outlasted its bound),
/// they may still be on their way: nothing is written, and this throws EditorTooSlowError.
///
/// Succeeds only when the text holds the expansion and the caret stands where it belongs;
/// otherwise the paste is taken back (the text as it was) and this throws ReadOnlyTextError,
/// or EditNotPutBackError when the text keeps the paste. When the editor stops answering (or
/// its bus goes) with a paste on its way, a paste it has not taken yet is withdrawn and the
/// error goes on; one it has taken lands once it answers again, and where that leaves the
/// expansion, this throws EditUnfinishedError. The clipboard is given back in every case.
/// Throws AXError.
bool pasteOnLine(AccessibleElement& element, const icu::UnicodeString& line, const icu::UnicodeString& expansion,
    int32_t caret, KeyboardPaste& paste);

} // namespace quillet
