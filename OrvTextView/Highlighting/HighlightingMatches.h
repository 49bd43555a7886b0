#pragma once

#include "OrvTextView/HighlightingPattern.h"
#include "OrvTextView/OrvTextViewExport.h"
#include "OrvTextView/Pattern/StringHelpers.h"

#include <QString>

#include <vector>

namespace orv {

/// The UTF-16 ranges of the whole matches of the pattern's expression in `text`, in text
/// order (case-insensitive, anchors at lines); none for an empty or invalid expression.
ORVTEXTVIEW_EXPORT std::vector<TextRange> extractMatches(const HighlightingPattern& pattern, const QString& text);

} // namespace orv
