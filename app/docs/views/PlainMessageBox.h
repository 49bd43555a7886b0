#pragma once

class QMessageBox;

namespace quillet {

/// Makes every text of the box plain text, links included. Message boxes quote file
/// contents and user-chosen names; as rich text a crafted bundle could lay out the dialog
/// or offer a link that opens any file. Call after the texts are set: the box makes its
/// informative label only then.
void showPlainText(QMessageBox& box);

} // namespace quillet
