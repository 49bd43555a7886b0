#pragma once

#include "OrvTextView/Attachments/TextAttachment.h"

#include <QString>
#include <QTextCharFormat>
#include <QTextCursor>

#include <map>
#include <optional>

class QTextDocument;

namespace orv::detail {

// A document splits text into paragraphs at "\n", "\r\n", a lone "\r", U+2029 and its frame
// marks, and gives all of them back as one kind of break. So that a view gives back exactly
// the characters it was given, only "\n" becomes a paragraph; every other such break is kept
// as one line separator (U+2028, which the document leaves alone) whose character format
// carries the original characters. A U+2028 without that property is the user's own.

/// The character that stands in the document for a break that is not "\n".
constexpr char16_t lineBreakStandIn = u'\u2028';
/// The property under which a stand-in's format carries the characters it replaces.
constexpr int lineBreakProperty = QTextFormat::UserProperty + 0x4F53;

/// The length of the break at `position` that a document would turn into a paragraph
/// although it is not "\n" (2 for "\r\n", 1 for the others), or 0.
int foreignLineBreakLength(const QString& text, int position);

/// The characters a document character stands for: its break for a stand-in with one.
std::optional<QString> lineBreakOf(const QTextFormat& format);

/// `format` carrying `lineBreak` for a stand-in character.
QTextCharFormat lineBreakFormat(QTextCharFormat format, const QString& lineBreak);

/// The text a document shows for `text`: every foreign break replaced by a stand-in, so
/// positions in the result are document positions. `breaks` receives the stand-ins'
/// document positions with the characters each replaces.
QString documentTextFor(const QString& text, std::map<int, QString>* breaks = nullptr);

/// Inserts `text` at the cursor exactly: "\n" makes a paragraph, every other break a
/// stand-in carrying its characters; the rest takes `format`.
void insertExactText(QTextCursor& cursor, const QString& text, const QTextCharFormat& format);

/// The attachments of a document by document position.
std::map<int, TextAttachmentPtr> documentAttachments(const QTextDocument& document);

} // namespace orv::detail
