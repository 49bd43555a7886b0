#pragma once

#include "languages/FocusedTitleSource.h"

#include <unicode/unistr.h>

#include <optional>

namespace quillet {

/// The title that names the file being edited, read once when the detector is made.
///
/// The focused element's title wins whenever it can be read, even when it is empty; only
/// when that read fails is the window's title used. Every failure of the source (none or an
/// exception) is absorbed: construction never fails, and fileName() is then absent.
/// Made once per expansion, on the caller's thread.
class FileNameDetector {
public:
    /// Reads through FocusedTitleSource::shared().
    FileNameDetector();
    explicit FileNameDetector(FocusedTitleSource& source);

    const std::optional<icu::UnicodeString>& fileName() const noexcept { return m_fileName; }

private:
    std::optional<icu::UnicodeString> m_fileName;
};

/// The file name extension named in a title, or the empty text when it names none.
///
/// Takes the first run of word characters (Unicode letters, digits, underscore) joined by
/// dots that is not a folder of a path, such as "main.swift" in "main.swift — Edited",
/// "jquery.min.js" or "index.php" in "/home/me/site.v2/index.php", and gives the
/// part after its last dot: "js" for "main.test.js", "2" for "draft 1.2 of notes.txt".
/// Without such a run, the path extension of the whole title (after the last dot of the
/// last path component, none for a dot file). An absent title counts as the empty text.
icu::UnicodeString extensionOfFileName(const std::optional<icu::UnicodeString>& fileName);

/// Whether the title's last word is a file name or a path to one: "index.php" and
/// "/home/me/site.v2/index.php" are, a widget's name such as "EditorSourceView" is not.
bool namesAFile(const icu::UnicodeString& title);

} // namespace quillet
